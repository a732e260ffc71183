#include "sync/uOtherTask.h"

#include "net/uEndpoints.h"
#include "net/uHttpClient.h"
#include "platform/uThreadHandOver.h"
#include "sync/uNotesService.h"

#include <memory>

QString ParseBasicInfo(const QByteArray& xml) {
    return NotesService::ReadBasicInfo(xml).PushAddress;
}

QString ParseSupportAddress(const QByteArray& xml) {
    return NotesService::ReadBasicInfo(xml).SupportMail;
}

TBasicInfo FetchBasicInfo() {
    const THttpResponse reply = HttpPerform(NotesService::BasicInfo(TServiceEndpoint::Configured()));
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
