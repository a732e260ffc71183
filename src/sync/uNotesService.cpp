#include "sync/uNotesService.h"

#include "data/uNoteOptions.h"
#include "exchange/uNotesXml.h"
#include "net/uEndpoints.h"
#include "net/uServiceRequest.h"
#include "shared/uNoteId.h"
#include "shared/uUrlEncoding.h"

#include <QDebug>
#include <QXmlStreamReader>

TServiceCredentials TServiceCredentials::From(const TNoteOptions& options) {
    return {options.FconfigUserID, options.FconfigUserPass, options.FconfigPcID, options.FconfigUserName};
}

TServiceEndpoint TServiceEndpoint::Configured() {
    TServiceEndpoint e;
    e.ApiBase = NotesApiBase();
    e.SiteRoot = NotesSiteRoot();
    e.CaFile = ServerCAFile();
    return e;
}

namespace NotesService {

namespace {

// The endpoint's time-outs: tests and the simulation shorten them.
THttpRequest fromEndpoint(THttpRequest r, const TServiceEndpoint& e) {
    r.Referer = e.ApiBase.toUtf8();
    r.ConnectTimeoutMs = e.ConnectTimeoutMs;
    r.ReadTimeoutMs = e.ReadTimeoutMs;
    return r;
}

// Every request but the basic information names the account with its digest.
THttpRequest base(const TServiceEndpoint& e, const QString& url) {
    return fromEndpoint(ServiceRequest(TServiceCaller::NotesService, url, e.CaFile), e);
}

THttpRequest formPost(const TServiceEndpoint& e, const QString& url, const QByteArray& body) {
    return fromEndpoint(ServiceFormPost(TServiceCaller::NotesService, url, body, e.CaFile), e);
}

// Values go into query strings exactly as stored.
QString credentialQuery(const TServiceCredentials& c) {
    return QStringLiteral("?userid=") + c.UserID + QStringLiteral("&userpass=") + c.UserPass +
           QStringLiteral("&pcid=") + c.PcID;
}

// An id names a row, a window and an audio file here: an item whose id has any
// other shape than a note id's is dropped before anything is written, and the
// log says so once per reply.
QList<TNoteItem> onlyNoteIds(QList<TNoteItem> items) {
    QString first;
    qsizetype skipped = 0;
    items.removeIf([&](const TNoteItem& n) {
        if (IsNoteId(n.NoteID))
            return false;
        if (skipped++ == 0)
            first = n.NoteID.left(kNoteIdLength * 2);
        return true;
    });
    if (skipped > 0)
        qWarning().noquote() << "Skipped" << skipped << "server item(s) whose id is not a note id, the first"
                             << first.toUtf8().toPercentEncoding();
    return items;
}

} // namespace

THttpRequest Upload(const TServiceEndpoint& e, const TServiceCredentials& c, TUploadFields fields,
                    const QByteArray& xmlUtf8) {
    const QString url = e.ApiBase + QStringLiteral("update_note.php") + credentialQuery(c) +
                        QStringLiteral("&uploadfields=") + UploadFieldsToStr(fields) +
                        QStringLiteral("&os=Windows");
    // The encoded document holds no "=", so the form layer passes it unchanged.
    return formPost(e, url, UrlEncodeBytes(xmlUtf8));
}

THttpRequest FullDownload(const TServiceEndpoint& e, const TServiceCredentials& c) {
    return formPost(e, e.ApiBase + QStringLiteral("get_notes.php") + credentialQuery(c),
                    FormBody({QStringLiteral("userid=") + c.UserID, QStringLiteral("userpass=") + c.UserPass,
                              QStringLiteral("pcid=") + c.PcID}));
}

THttpRequest SingleNote(const TServiceEndpoint& e, const TServiceCredentials& c, const QString& noteId) {
    return formPost(e,
                    e.ApiBase + QStringLiteral("get_single_note.php") + credentialQuery(c) +
                        QStringLiteral("&noteid=") + noteId,
                    FormBody({QStringLiteral("userid=") + c.UserID, QStringLiteral("userpass=") + c.UserPass,
                              QStringLiteral("pcid=") + c.PcID, QStringLiteral("noteid=") + noteId}));
}

THttpRequest Delete(const TServiceEndpoint& e, const TServiceCredentials& c, const QString& noteId) {
    return formPost(
        e, e.ApiBase + QStringLiteral("del_note.php"),
        FormBody({QStringLiteral("nid=") + noteId, QStringLiteral("userid=") + c.UserID,
                  QStringLiteral("userpass=") + c.UserPass, QStringLiteral("username=") + c.UserName}));
}

THttpRequest Audio(const TServiceEndpoint& e, const TServiceCredentials& c, const QString& noteId) {
    return base(e, e.ApiBase + QStringLiteral("downloadfiles.php") + credentialQuery(c) +
                       QStringLiteral("&noteid=") + noteId);
}

THttpRequest BasicInfo(const TServiceEndpoint& e) {
    THttpRequest r = base(e, e.SiteRoot + QStringLiteral("zuvonote.xml"));
    r.CarriesSecret = false;
    return r;
}

TUploadReply ReadUploadReply(const THttpResponse& r) {
    if (r.Status == 413)
        return TUploadReply::TooLarge;
    if (!r.Ok)
        return TUploadReply::NoReply;
    if (r.Body == "0")
        return TUploadReply::Stored;
    if (r.Body == "-2")
        return TUploadReply::CredentialsRejected;
    return TUploadReply::Failed;
}

TDeleteReply ReadDeleteReply(const THttpResponse& r) {
    return r.Ok && (r.Body == "0" || r.Body == "-1") ? TDeleteReply::Confirmed : TDeleteReply::Unconfirmed;
}

TDownloadReply ReadFullDownloadReply(const THttpResponse& r) {
    TDownloadReply out;
    if (!r.Ok)
        return out;
    if (r.Body == "-2") {
        out.CredentialsRejected = true;
        return out;
    }
    if (r.Body.trimmed().isEmpty())
        return out;
    out.Items = onlyNoteIds(ReadNotesDocument(r.Body, &out.Store));
    out.Answered = true;
    return out;
}

QList<TNoteItem> ReadSingleNoteReply(const THttpResponse& r, TServerStoreState* store) {
    if (store)
        *store = {};
    return r.Ok ? onlyNoteIds(ReadNotesDocument(r.Body, store)) : QList<TNoteItem>{};
}

TBasicInfo ReadBasicInfo(const QByteArray& text) {
    QXmlStreamReader r(text);
    TBasicInfo info;
    int depth = 0;
    bool isBasicInfo = false;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                isBasicInfo = r.name() == QLatin1String("basicinfo");
            } else if (depth == 2 && isBasicInfo && r.name() == QLatin1String("asyncserver")) {
                info.PushAddress = r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                --depth; // readElementText consumed the end element
            } else if (depth == 2 && isBasicInfo && r.name() == QLatin1String("maxupload")) {
                bool ok = false;
                const qint64 n =
                    r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed().toLongLong(&ok);
                info.MaxUploadBytes = ok && n > 0 ? n : 0;
                --depth;
            } else if (depth == 2 && isBasicInfo && r.name() == QLatin1String("supportmail")) {
                info.SupportMail = r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                --depth;
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    // A document that does not parse to its end names nothing.
    return r.hasError() ? TBasicInfo{} : info;
}

QString ReadBasicInfoReply(const THttpResponse& r) {
    return r.Ok ? ReadBasicInfo(r.Body).PushAddress : QString();
}

} // namespace NotesService
