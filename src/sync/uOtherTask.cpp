#include "sync/uOtherTask.h"

#include "platform/uThreadHandOver.h"
#include "sync/uEndpoints.h"
#include "sync/uHttpClient.h"
#include "sync/uNotesService.h"

#include <memory>

QString ParseBasicInfo(const QByteArray& xml) {
    return NotesService::ReadBasicInfo(xml).PushAddress;
}

QString ParseSupportAddress(const QByteArray& xml) {
    return NotesService::ReadBasicInfo(xml).SupportMail;
}

TBasicInfo FetchBasicInfo() {
    THttpRequest req;
    req.Url = NotesSiteRoot() + QStringLiteral("zuvonote.xml");
    req.CaFile = ServerCAFile();
    req.UserAgent = ServiceUserAgent;
    req.Referer = NotesApiBase().toUtf8();
    const THttpResponse reply = HttpPerform(req);
    if (!reply.Ok)
        return TBasicInfo{};
    TBasicInfo info = NotesService::ReadBasicInfo(reply.Body);
    SetSupportMailAddress(info.SupportMail);
    return info;
}

void TOtherTaskThread::Start(QObject* context, bool signedIn, TOnDone onDone) {
    auto found = std::make_shared<TBasicInfo>();
    StartThread(
        context,
        [found, signedIn] {
            if (signedIn)
                *found = FetchBasicInfo();
        },
        [found, onDone = std::move(onDone)] { onDone(*found); });
}
