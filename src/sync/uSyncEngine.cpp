#include "sync/uSyncEngine.h"

#include "data/uFunctions.h"
#include "data/uNoteRepository.h"
#include "data/uNoteStore.h"
#include "data/uSyncStore.h"
#include "shared/uMd5.h"
#include "shared/uNoteId.h"
#include "shared/uUrlEncoding.h"

#include <QDir>
#include <QSaveFile>
#include <QThread>

THttpResponse TSyncContext::send(const THttpRequest& r) const {
    return Send ? Send(r) : HttpPerform(r);
}

TServiceCredentials TSyncContext::credentials() const {
    return Credentials ? Credentials() : TServiceCredentials{};
}

namespace SyncEngine {

std::unique_ptr<TDbConnection> OpenStore(const QString& path) {
    auto db = NoteStore::Open(path);
    SyncStore::EnsureTables(*db);
    return db;
}

int SendQueuedDeletes(TDbConnection& db, const TSyncContext& ctx) {
    int confirmed = 0;
    for (const QString& id : SyncStore::QueuedDeletes(db))
        if (RunDelete(db, ctx, id))
            ++confirmed;
    return confirmed;
}

bool RunDelete(TDbConnection& db, const TSyncContext& ctx, const QString& noteId) {
    const TServiceCredentials c = ctx.credentials();
    if (!c.SignedIn())
        return false;
    const THttpResponse r = ctx.send(NotesService::Delete(ctx.Endpoint, c, noteId));
    if (NotesService::ReadDeleteReply(r) != NotesService::TDeleteReply::Confirmed)
        return false;
    SyncStore::UnqueueDelete(db, noteId);
    return true;
}

namespace {

// Servers cap a request's body (ours at 8 MiB); a long list of pending notes
// goes in parts below that, or it could never be stored at all.
constexpr qsizetype kMaxUploadBody = 4 << 20;

NotePendingRows rowsPart(const NotePendingRows& all, int from, int count) {
    NotePendingRows part;
    part.Rows.Open = all.Rows.Open;
    part.Rows.Columns = all.Rows.Columns;
    part.Rows.Rows = all.Rows.Rows.mid(from, count);
    part.Revs = all.Revs.mid(from, count);
    return part;
}

// Sends one part with up to the attempts allowed; true when stored and marked.
bool uploadPart(NoteRepository& repo, const TSyncContext& ctx, const NotePendingRows& rows,
                TUploadFields fields) {
    const QByteArray xml = NotesToXmlUtf8(rows.Rows);
    for (int attempt = 0; attempt < ctx.UploadAttempts; ++attempt) {
        const TServiceCredentials c = ctx.credentials();
        const THttpResponse r = ctx.send(NotesService::Upload(ctx.Endpoint, c, fields, xml));
        switch (NotesService::ReadUploadReply(r)) {
        case NotesService::TUploadReply::Stored:
            repo.MarkSent(rows);
            return true;
        case NotesService::TUploadReply::CredentialsRejected:
            if (ctx.LoginFailed)
                ctx.LoginFailed();
            break;
        case NotesService::TUploadReply::Failed:
            if (attempt + 1 < ctx.UploadAttempts && ctx.Pause && !ctx.Pause(ctx.UploadRetryPauseMs))
                return false;
            break;
        case NotesService::TUploadReply::NoReply:
            if (ctx.Pause && !ctx.Pause(0))
                return false;
            break;
        }
    }
    return false;
}

} // namespace

int RunUpload(TDbConnection& db, const TSyncContext& ctx, const QString& noteId, TUploadFields fields) {
    if (!ctx.credentials().SignedIn())
        return 0;
    (void)SendQueuedDeletes(db, ctx);
    NoteRepository repo(db);
    const std::optional<NotePendingRows> pending =
        noteId.isEmpty() ? repo.PendingAll() : repo.PendingOne(noteId);
    if (!pending || pending->Rows.rowCount() == 0)
        return 0;
    const NotePendingRows& rows = *pending;
    // The server takes only the marked attributes, yet the sent rows are then
    // committed: a text still waiting from an earlier failed upload would be
    // marked stored without being stored, and the next download would replace
    // it. The text therefore always travels with a partial upload.
    if (!fields.isEmpty())
        fields += utNote;
    // Parts of equal row counts, as many as the size of the whole asks for.
    const int count = rows.Rows.rowCount();
    const qsizetype size = UrlEncodeBytes(NotesToXmlUtf8(rows.Rows)).size();
    const int parts = int(std::min<qsizetype>(count, size / kMaxUploadBody + 1));
    const int per = (count + parts - 1) / parts;
    int stored = 0;
    for (int from = 0; from < count; from += per) {
        const NotePendingRows part = parts == 1 ? rows : rowsPart(rows, from, per);
        if (!uploadPart(repo, ctx, part, fields))
            break;
        stored += part.Rows.rowCount();
    }
    return stored;
}

bool FetchAudio(const TSyncContext& ctx, const TServiceCredentials& c, const QString& noteId,
                const QString& md5) {
    const QString path = NoteFileIn(ctx.AudioFolder, noteId);
    if (path.isEmpty())
        return false;
    const THttpResponse r = ctx.send(NotesService::Audio(ctx.Endpoint, c, noteId));
    if (!r.Ok || r.Status != 200 || Md5Hex(r.Body) != md5)
        return false;
    // Written beside the old recording and renamed over it in one step.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(r.Body) != r.Body.size())
        return false;
    return f.commit();
}

TDownloadOutcome RunFullDownload(TDbConnection& db, const TSyncContext& ctx) {
    TDownloadOutcome out;
    const TServiceCredentials c = ctx.credentials();
    SyncStore::TAppliedDownload applied;
    if (c.SignedIn()) {
        const NotesService::TDownloadReply reply =
            NotesService::ReadFullDownloadReply(ctx.send(NotesService::FullDownload(ctx.Endpoint, c)));
        if (reply.CredentialsRejected && ctx.LoginFailed)
            ctx.LoginFailed();
        if (reply.Answered) {
            applied = SyncStore::ApplyFullDownload(db, reply.Items, ctx.AudioFolder);
            out.Answered = true;
        }
    }
    // The windows hear of the rows only after they are committed, so none of
    // them waits on the store while this thread waits on them.
    for (const TNoteItem& n : applied.NewNotes)
        if (ctx.NewNote)
            ctx.NewNote(n);
    for (int i = 0; i < applied.RemovedRows; ++i)
        if (ctx.NoteRemoved)
            ctx.NoteRemoved();
    if (applied.RowsChanged && ctx.NotesChanged)
        ctx.NotesChanged();
    out.NewNotes = int(applied.NewNotes.size());
    out.RemovedRows = applied.RemovedRows;

    if (!ctx.AudioFolder.isEmpty())
        QDir().mkpath(ctx.AudioFolder);
    for (qsizetype i = applied.AudioQueue.size() - 1; i >= 0; --i) {
        const SyncStore::TAudioFetch& a = applied.AudioQueue[i];
        if (FetchAudio(ctx, c, a.NoteId, a.Md5))
            ++out.AudioFetched;
    }
    return out;
}

void RunSingleNote(TDbConnection& db, const TSyncContext& ctx, const QString& noteId,
                   const std::function<void(const TNoteItem&)>& onItem) {
    const TServiceCredentials c = ctx.credentials();
    if (!c.SignedIn())
        return;
    const QList<TNoteItem> items =
        NotesService::ReadSingleNoteReply(ctx.send(NotesService::SingleNote(ctx.Endpoint, c, noteId)));
    for (const TNoteItem& n : items) {
        (void)SyncStore::ApplySingleNote(db, n);
        if (const QString audio = NoteFileIn(ctx.AudioFolder, n.NoteID);
            n.NoteType == 1 && !audio.isEmpty() && SyncStore::AudioFileStale(audio, n.VoiceMd5)) {
            QDir().mkpath(ctx.AudioFolder);
            (void)FetchAudio(ctx, c, n.NoteID, n.VoiceMd5);
        }
        if (onItem)
            onItem(n);
    }
}

} // namespace SyncEngine
