#include "sync/uShutdownUpload.h"

#include "data/uFunctions.h"
#include "data/uNoteOptions.h"
#include "data/uNoteRepository.h"
#include "platform/uBlockingCall.h"
#include "shared/uUrlEncoding.h"
#include "sync/uEndpoints.h"
#include "sync/uHttpClient.h"

TShutdownUploadResult ShutdownUpload(NoteRepository& notes, const TNoteOptions& options,
                                     const TShutdownUploadOptions& how) {
    if (options.FconfigUserID.isEmpty())
        return TShutdownUploadResult::NotSignedIn;
    try {
        const std::optional<NotePendingRows> pending = notes.PendingForShutdown();
        if (!pending)
            return TShutdownUploadResult::Failed;
        const TRowSet& rows = pending->Rows;
        if (rows.rowCount() == 0)
            return TShutdownUploadResult::NothingPending;

        THttpRequest req;
        req.Method = "POST";
        req.CarriesSecret = true;
        req.CaFile = ServerCAFile();
        req.Url = how.ApiBase + QStringLiteral("update_note.php?userid=") + options.FconfigUserID +
                  QStringLiteral("&userpass=") + options.FconfigUserPass + QStringLiteral("&pcid=") +
                  options.FconfigPcID;
        req.Body = UrlEncodeBytes(NotesToXmlUtf8(rows));
        req.ContentType = "application/x-www-form-urlencoded";
        req.UserAgent = ShellUserAgent;
        req.Accept = "text/html, */*";
        req.ConnectTimeoutMs = std::min(5000, how.TimeoutMs);
        req.ReadTimeoutMs = how.TimeoutMs;
        req.TotalTimeoutMs = how.TimeoutMs;

        THttpResponse resp;
        const auto call = [&] { resp = HttpPerform(req); };
        if (how.RunBlocking)
            how.RunBlocking(call);
        else
            RunWithEventLoop(call);

        if (!resp.Ok)
            return TShutdownUploadResult::Failed;
        // Only an exact "0" means the server stored every note of the document.
        if (resp.Body != "0")
            return TShutdownUploadResult::Refused;
        notes.MarkSent(*pending);
        return TShutdownUploadResult::Stored;
    } catch (const std::exception&) {
        return TShutdownUploadResult::Failed;
    }
}
