#include "sync/uSyncEngine.h"

#include "data/uNoteRepository.h"
#include "data/uNoteStore.h"
#include "data/uSyncStore.h"
#include "exchange/uNotesXml.h"
#include "shared/uLimits.h"
#include "shared/uMd5.h"
#include "shared/uNoteId.h"
#include "shared/uUrlEncoding.h"

#include <QDir>
#include <QMap>
#include <QSaveFile>
#include <QThread>
#include <numeric>

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
    for (const QString& id : SyncStore::QueuedDeletes(db, ctx.credentials().UserID))
        if (RunDelete(db, ctx, id))
            ++confirmed;
    return confirmed;
}

bool RunDelete(TDbConnection& db, const TSyncContext& ctx, const QString& noteId) {
    const TServiceCredentials c = ctx.credentials();
    if (!c.SignedIn())
        return false;
    // Another account's deletion waits for that account.
    if (!SyncStore::QueuedDeletes(db, c.UserID).contains(noteId))
        return false;
    const THttpResponse r = ctx.send(NotesService::Delete(ctx.Endpoint, c, noteId));
    if (NotesService::ReadDeleteReply(r) != NotesService::TDeleteReply::Confirmed)
        return false;
    SyncStore::UnqueueDelete(db, noteId);
    return true;
}

namespace {

qsizetype encodedSize(const TRowSet& rows) {
    return UrlEncodeBytes(NotesToXmlUtf8(rows)).size();
}

TRowSet rowsAt(const TRowSet& all, const QList<int>& rows) {
    TRowSet out;
    out.Open = all.Open;
    out.Columns = all.Columns;
    out.Rows.reserve(rows.size());
    for (int r : rows)
        out.Rows.append(all.Rows[r]);
    return out;
}

enum class TPartOutcome { Stored, TooLarge, Failed };

// Sends one part with up to the attempts allowed and marks what the server stored.
TPartOutcome sendPart(NoteRepository& repo, const TSyncContext& ctx, const TUploadPart& part) {
    const QByteArray xml = NotesToXmlUtf8(part.Rows.Rows);
    for (int attempt = 0; attempt < ctx.UploadAttempts; ++attempt) {
        const TServiceCredentials c = ctx.credentials();
        const THttpResponse r = ctx.send(NotesService::Upload(ctx.Endpoint, c, part.Fields, xml));
        switch (NotesService::ReadUploadReply(r)) {
        case NotesService::TUploadReply::Stored:
            repo.MarkSent(part.Rows);
            return TPartOutcome::Stored;
        case NotesService::TUploadReply::TooLarge:
            return TPartOutcome::TooLarge;
        case NotesService::TUploadReply::CredentialsRejected:
            if (ctx.LoginFailed)
                ctx.LoginFailed();
            break;
        case NotesService::TUploadReply::Failed:
            if (attempt + 1 < ctx.UploadAttempts && ctx.Pause && !ctx.Pause(ctx.UploadRetryPauseMs))
                return TPartOutcome::Failed;
            break;
        case NotesService::TUploadReply::NoReply:
            if (ctx.Pause && !ctx.Pause(0))
                return TPartOutcome::Failed;
            break;
        }
    }
    return TPartOutcome::Failed;
}

// Sends a part; one the server finds too large is halved until single rows are
// left, and a single row too large is reported and left pending. Returns the
// rows stored, or -1 when the server could not be reached (the run ends).
int sendSplitting(NoteRepository& repo, const TSyncContext& ctx, const TUploadPart& part) {
    switch (sendPart(repo, ctx, part)) {
    case TPartOutcome::Stored:
        return part.Rows.Rows.rowCount();
    case TPartOutcome::Failed:
        return -1;
    case TPartOutcome::TooLarge:
        break;
    }
    const int count = part.Rows.Rows.rowCount();
    if (count == 1) {
        if (ctx.RowTooLarge)
            ctx.RowTooLarge(part.Rows.id(0));
        return 0;
    }
    int stored = 0;
    for (const auto& [from, n] : {std::pair{0, count / 2}, std::pair{count / 2, count - count / 2}}) {
        QList<int> half(n);
        std::iota(half.begin(), half.end(), from);
        TUploadPart p{
            {rowsAt(part.Rows.Rows, half), part.Rows.Revs.mid(from, n), part.Rows.Unsent.mid(from, n)},
            part.Fields};
        const int got = sendSplitting(repo, ctx, p);
        if (got < 0)
            return stored > 0 ? stored : -1;
        stored += got;
    }
    return stored;
}

} // namespace

QList<TUploadPart> PlanUpload(const NotePendingRows& pending, qint64 maxPartBytes) {
    QList<TUploadPart> parts;
    const int count = pending.Rows.rowCount();
    if (count == 0)
        return parts;
    const int textColumn = pending.Rows.columnIndex(QStringLiteral("mynote"));
    // Rows changed in the same fields travel together: one request carries one
    // field string, and the server takes only the fields it names.
    QMap<quint16, QList<int>> groups;
    for (int i = 0; i < count; ++i)
        groups[pending.Unsent.value(i).bits()].append(i);
    for (auto g = groups.cbegin(); g != groups.cend(); ++g) {
        const TUploadFields fields = TUploadFields::fromBits(g.key());
        TRowSet rows = rowsAt(pending.Rows, g.value());
        // A text this computer did not change stays off the wire: the server
        // would not take it, and it may be older than the server's.
        if (!fields.isEmpty() && !fields.contains(utNote) && textColumn >= 0)
            for (QVector<QVariant>& row : rows.Rows)
                row[textColumn] = QString();
        QList<qint64> revs;
        QList<TUploadFields> unsent;
        for (int i : g.value()) {
            revs.append(pending.Revs.value(i));
            unsent.append(pending.Unsent.value(i));
        }
        const NotePendingRows group{std::move(rows), std::move(revs), std::move(unsent)};
        // Parts of equal row counts, as many as the size of the whole asks for;
        // a row that fills a part alone goes alone.
        const qsizetype size = encodedSize(group.Rows);
        const int n = group.Rows.rowCount();
        if (size <= maxPartBytes) {
            parts.append({group, fields});
            continue;
        }
        QList<int> current;
        qsizetype currentSize = 0;
        const auto flush = [&] {
            if (current.isEmpty())
                return;
            NotePendingRows p{rowsAt(group.Rows, current), {}, {}};
            for (int i : current) {
                p.Revs.append(group.Revs[i]);
                p.Unsent.append(group.Unsent[i]);
            }
            parts.append({std::move(p), fields});
            current.clear();
            currentSize = 0;
        };
        for (int i = 0; i < n; ++i) {
            const qsizetype rowSize = encodedSize(rowsAt(group.Rows, {i}));
            if (!current.isEmpty() && currentSize + rowSize > maxPartBytes)
                flush();
            current.append(i);
            currentSize += rowSize;
        }
        flush();
    }
    return parts;
}

int RunUpload(TDbConnection& db, const TSyncContext& ctx, const QString& noteId, TUploadFields) {
    if (!ctx.credentials().SignedIn())
        return 0;
    (void)SendQueuedDeletes(db, ctx);
    NoteRepository repo(db);
    const QString account = ctx.credentials().UserID;
    repo.SetAccount(account, account);
    if (ctx.ClaimUnowned)
        (void)repo.JoinAccount(account);
    repo.SetOwnRowsOnly(!ctx.ClaimUnowned);
    const std::optional<NotePendingRows> pending =
        noteId.isEmpty() ? repo.PendingAll() : repo.PendingOne(noteId);
    if (!pending || pending->Rows.rowCount() == 0)
        return 0;
    // Each row goes up with the fields it changed here and the server has not
    // confirmed, whatever change asked for this upload.
    int stored = 0;
    for (const TUploadPart& part : PlanUpload(*pending, zuvo::UploadPartBytes(ctx.MaxUploadBytes))) {
        const int got = sendSplitting(repo, ctx, part);
        if (got < 0)
            break;
        stored += got;
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
            applied = SyncStore::ApplyFullDownload(db, reply.Items, ctx.AudioFolder, {c.UserID, reply.Store});
            out.Answered = true;
            out.ServerChanged = applied.Check != SyncStore::TServerCheck::Same;
            out.RowsMarked = applied.RowsMarked;
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
    TServerStoreState store;
    const QList<TNoteItem> items = NotesService::ReadSingleNoteReply(
        ctx.send(NotesService::SingleNote(ctx.Endpoint, c, noteId)), &store);
    for (const TNoteItem& n : items) {
        (void)SyncStore::ApplySingleNote(db, n, {c.UserID, store});
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
