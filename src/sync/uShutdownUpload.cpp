#include "sync/uShutdownUpload.h"

#include "data/uNoteOptions.h"
#include "data/uNoteRepository.h"
#include "exchange/uNotesXml.h"
#include "net/uHttpClient.h"
#include "net/uServiceRequest.h"
#include "platform/uBlockingCall.h"
#include "shared/uLimits.h"
#include "shared/uUrlEncoding.h"
#include "sync/uSyncEngine.h"

#include <QElapsedTimer>

namespace {

THttpRequest exitRequest(const TNoteOptions& options, const TShutdownUploadOptions& how, TUploadFields fields,
                         const TRowSet& rows, int timeoutMs) {
    // The field string names what each row changed, so the server takes
    // nothing this computer did not change.
    THttpRequest req = ServiceFormPost(
        TServiceCaller::ExitUpload,
        how.ApiBase + QStringLiteral("update_note.php?userid=") + options.FconfigUserID +
            QStringLiteral("&userpass=") + options.FconfigUserPass + QStringLiteral("&pcid=") +
            options.FconfigPcID + QStringLiteral("&uploadfields=") + UploadFieldsToStr(fields),
        UrlEncodeBytes(NotesToXmlUtf8(rows)));
    req.Accept = "text/html, */*";
    // What is left of the session's one bound, for the whole request.
    req.ConnectTimeoutMs = std::min(req.ConnectTimeoutMs, timeoutMs);
    req.ReadTimeoutMs = timeoutMs;
    req.TotalTimeoutMs = timeoutMs;
    return req;
}

} // namespace

TShutdownUploadResult ShutdownUpload(NoteRepository& notes, const TNoteOptions& options,
                                     const TShutdownUploadOptions& how) {
    if (options.FconfigUserID.isEmpty())
        return TShutdownUploadResult::NotSignedIn;
    try {
        const std::optional<NotePendingRows> pending = notes.PendingForShutdown();
        if (!pending)
            return TShutdownUploadResult::Failed;
        if (pending->Rows.rowCount() == 0)
            return TShutdownUploadResult::NothingPending;

        // Several requests when the rows ask for it, all within the one bound.
        QElapsedTimer clock;
        clock.start();
        TShutdownUploadResult result = TShutdownUploadResult::Stored;
        for (const SyncEngine::TUploadPart& part :
             SyncEngine::PlanUpload(*pending, zuvo::UploadPartBytes(how.MaxUploadBytes))) {
            const int left = how.TimeoutMs - int(clock.elapsed());
            if (left <= 0)
                return TShutdownUploadResult::Failed;
            const THttpRequest req = exitRequest(options, how, part.Fields, part.Rows.Rows, left);
            THttpResponse resp;
            const auto call = [&] { resp = HttpPerform(req); };
            if (how.RunBlocking)
                how.RunBlocking(call);
            else
                RunWithEventLoop(call);
            // A part too large for the server stays pending; the others go on.
            if (resp.Status == 413) {
                result = TShutdownUploadResult::Refused;
                continue;
            }
            if (!resp.Ok)
                return TShutdownUploadResult::Failed;
            // Only an exact "0" means the server stored every note of the document.
            if (resp.Body != "0")
                return TShutdownUploadResult::Refused;
            notes.MarkSent(part.Rows);
        }
        return result;
    } catch (const std::exception&) {
        return TShutdownUploadResult::Failed;
    }
}
