#include "extras/uZuvoAds.h"

#include "net/uEndpoints.h"
#include "net/uServiceRequest.h"
#include "platform/uAsyncCall.h"

#include <QUrl>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <memory>

namespace {

struct TXmlDocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct TXmlCharFree {
    void operator()(xmlChar* c) const { xmlFree(c); }
};

bool named(const xmlNode* n, const char* name) {
    return n->type == XML_ELEMENT_NODE && xmlStrcmp(n->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

QString childText(const xmlNode* parent, const char* name) {
    for (const xmlNode* c = parent->children; c; c = c->next)
        if (named(c, name)) {
            const std::unique_ptr<xmlChar, TXmlCharFree> text(xmlNodeGetContent(c));
            return text ? QString::fromUtf8(reinterpret_cast<const char*>(text.get())) : QString();
        }
    return {};
}

QList<TAdItem>& list() {
    static QList<TAdItem> ads;
    return ads;
}

} // namespace

THttpRequest AdRequest(quint16 languageId, const QString& appFlag, const QString& appVer) {
    THttpRequest r =
        ServiceRequest(TServiceCaller::Adverts, AdServiceRoot() + QStringLiteral("getad.php?clang=") +
                                                    QString::number(languageId) + QStringLiteral("&app=") +
                                                    appFlag + QStringLiteral("&appver=") + appVer);
    r.Referer = (AdServiceRoot() + QStringLiteral("getad.php")).toUtf8();
    return r;
}

QList<TAdItem> ReadAdList(const QByteArray& xml) {
    QList<TAdItem> out;
    if (xml.isEmpty() || xml.size() > kTextReplyLimit)
        return out;
    // Recovering keeps what stood before a fault; nothing is fetched or expanded.
    const std::unique_ptr<xmlDoc, TXmlDocFree> doc(
        xmlReadMemory(xml.constData(), int(xml.size()), nullptr, nullptr,
                      XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc)
        return out;
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root || !named(root, "ads"))
        return out;
    for (const xmlNode* item = root->children; item; item = item->next) {
        if (!named(item, "aditem"))
            continue;
        TAdItem ad{childText(item, "adtext"), childText(item, "adurl")};
        if (!ad.AdText.isEmpty() && !ad.AdUrl.isEmpty())
            out.append(std::move(ad));
    }
    return out;
}

bool IsWebLink(const QString& url) {
    const QUrl u(url, QUrl::StrictMode);
    const QString scheme = u.scheme().toLower();
    return u.isValid() && !u.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

const QList<TAdItem>& AdList() {
    return list();
}

void SetAdList(QList<TAdItem> ads) {
    list() = std::move(ads);
}

void StartAdWorker(QObject* receiver, const THttpRequest& request, std::function<void()> finished) {
    // The parser's global state is set up here, before another thread uses it.
    xmlInitParser();
    RunAsync<QList<TAdItem>>(
        receiver,
        [request] {
            const THttpResponse response = HttpPerform(request);
            return response.Ok ? ReadAdList(response.Body) : QList<TAdItem>();
        },
        [finished = std::move(finished)](QList<TAdItem> ads) {
            SetAdList(std::move(ads));
            if (finished)
                finished();
        });
}
