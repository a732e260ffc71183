#pragma once
// The sync runs, headless: one upload, delete, full download or single-note
// download on the calling thread, against the store connection it is given.
// The main window runs each on a worker thread of its own; tests and
// benchmarks run many engines side by side.

#include "data/uDataTypes.h"
#include "data/uNoteRepository.h"
#include "sync/uNotesService.h"

#include <QString>
#include <functional>

class TDbConnection;

// What a run needs from its surroundings. Every hook may be left empty.
struct TSyncContext {
    TServiceEndpoint Endpoint;
    // Read at each attempt, so a sign-in during a run takes effect.
    std::function<TServiceCredentials()> Credentials;
    // The data folder's "audio/" folder, ending with a separator.
    QString AudioFolder;
    // The credentials were refused; returns once the user has answered.
    std::function<void()> LoginFailed;
    // A note new to this computer was stored; returns once it has a window.
    std::function<void(const TNoteItem&)> NewNote;
    // A row was removed (once per row).
    std::function<void()> NoteRemoved;
    // Rows took another text or look; the windows reload from the store.
    std::function<void()> NotesChanged;
    // Waits between upload attempts; false ends the run early (exit).
    std::function<bool(int ms)> Pause;
    // Sends one request; HttpPerform unless a test puts something between.
    std::function<THttpResponse(const THttpRequest&)> Send;
    // A row the server refused for its size (413): it stays pending.
    std::function<void(const QString& noteId)> RowTooLarge;
    // The largest body the server takes, as its basic information said; 0 when
    // it is not known.
    qint64 MaxUploadBytes = 0;
    // Rows of no account join the signed-in one before its upload; off for the
    // last upload of an account that is signing out.
    bool ClaimUnowned = true;
    int UploadAttempts = 6;
    int UploadRetryPauseMs = 10000;

    [[nodiscard]] THttpResponse send(const THttpRequest& r) const;
    [[nodiscard]] TServiceCredentials credentials() const;
};

namespace SyncEngine {

// Opens the store for a worker thread: its own connection, the sync tables present.
[[nodiscard]] std::unique_ptr<TDbConnection> OpenStore(const QString& path);

// One request of an upload: rows that changed the same fields, and those fields.
struct TUploadPart {
    NotePendingRows Rows;
    TUploadFields Fields;
};
// Splits pending rows into requests: by their unsent fields (the text blanked
// where it is not among them), then into parts of at most maxPartBytes encoded;
// a row larger than that goes alone.
[[nodiscard]] QList<TUploadPart> PlanUpload(const NotePendingRows& pending, qint64 maxPartBytes);

// Sends the pending rows (one note's, or all with an empty id), each with its
// own unsent fields, and marks what the server stored; first sends the queued
// deletions. A row the server refuses for its size stays pending and the rest
// go on. Returns the rows the server accepted. The field set names what asked
// for the upload; it does not choose what goes.
int RunUpload(TDbConnection& db, const TSyncContext& ctx, const QString& noteId, TUploadFields fields = {});
// Sends one deletion; the id must already be queued (the queue is what makes it
// durable). Confirmed deletions leave the queue. True when confirmed.
bool RunDelete(TDbConnection& db, const TSyncContext& ctx, const QString& noteId);
// Sends every queued deletion once; returns how many the server confirmed.
int SendQueuedDeletes(TDbConnection& db, const TSyncContext& ctx);

struct TDownloadOutcome {
    bool Answered = false; // a notes document arrived and was applied
    int NewNotes = 0;
    int RemovedRows = 0;
    int AudioFetched = 0;
    // The server's store was another or older than before: RowsMarked rows
    // were marked to go up again whole.
    bool ServerChanged = false;
    int RowsMarked = 0;
};
[[nodiscard]] TDownloadOutcome RunFullDownload(TDbConnection& db, const TSyncContext& ctx);
// Refreshes one note before it is edited; calls onItem for each record read.
void RunSingleNote(TDbConnection& db, const TSyncContext& ctx, const QString& noteId,
                   const std::function<void(const TNoteItem&)>& onItem = {});

// Fetches one recording into folder + noteId. The old file is replaced only by a
// complete reply whose digest is md5; otherwise it stays as it was.
bool FetchAudio(const TSyncContext& ctx, const TServiceCredentials& c, const QString& noteId,
                const QString& md5);

} // namespace SyncEngine
