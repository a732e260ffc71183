#include "sync/uOtherTask.h"

#include "sync/uEndpoints.h"
#include "sync/uHttpClient.h"

#include <QThread>
#include <QXmlStreamReader>
#include <memory>

QString ParseBasicInfo(const QByteArray& xml) {
    QXmlStreamReader r(xml);
    QString address;
    int depth = 0;
    bool isBasicInfo = false;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                isBasicInfo = r.name() == QLatin1String("basicinfo");
            } else if (depth == 2 && isBasicInfo && r.name() == QLatin1String("asyncserver")) {
                address = r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                --depth; // readElementText consumed the end element
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
    return r.hasError() ? QString() : address;
}

QString FetchBasicInfo() {
    THttpRequest req;
    req.Url = NotesSiteRoot() + QStringLiteral("zuvonote.xml");
    req.CaFile = ServerCAFile();
    req.UserAgent = ServiceUserAgent;
    req.Referer = NotesApiBase().toUtf8();
    const THttpResponse reply = HttpPerform(req);
    return reply.Ok ? ParseBasicInfo(reply.Body) : QString();
}

void TOtherTaskThread::Start(QObject* context, bool signedIn, TOnDone onDone) {
    auto found = std::make_shared<QString>();
    QThread* t = QThread::create([found, signedIn] {
        if (signedIn)
            *found = FetchBasicInfo();
    });
    // finished is emitted on the worker's thread: both connections are queued.
    QObject::connect(t, &QThread::finished, context, [found, onDone = std::move(onDone)] { onDone(*found); });
    QObject::connect(t, &QThread::finished, t, &QObject::deleteLater);
    t->start();
}
