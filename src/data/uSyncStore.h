#pragma once
// The store operations of sync beside the repository's: the queue of deletions the server has not confirmed,
// and the application of what a download brings. A field waiting for upload (in a row's unsent set) is the
// user's newest word on that note: nothing here overwrites or removes it.

#include "data/uDataTypes.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

class TDbConnection;

namespace SyncStore {

// Creates the deletion queue when the store does not have it yet.
void EnsureTables(TDbConnection& db);

// A deletion is sent only with the credentials of the account it was queued for.
void QueueDelete(TDbConnection& db, const QString& noteId, const QString& account = {});
void UnqueueDelete(TDbConnection& db, const QString& noteId);
// Those of one account (and those queued for none), or all.
[[nodiscard]] QStringList QueuedDeletes(TDbConnection& db,
                                        const std::optional<QString>& account = std::nullopt);

// Who answered a download: the account asked for and the server's store state.
struct TServerOrigin {
    QString Account;
    TServerStoreState State;
};

enum class TServerCheck {
    Same,     // the store this computer synced with before (or none known)
    Replaced, // another store: made anew, or another server
    Behind,   // the same store with fewer changes than seen, or lacking notes
              // it had stored: restored from a copy
};
// Compares the state with the one remembered for the account; with remember,
// the state becomes the remembered one. A reply that says nothing is Same.
[[nodiscard]] TServerCheck CheckServerState(TDbConnection& db, const QString& account,
                                            const TServerStoreState& state, bool remember);
// The account whose notes the desktop shows: the one signed in, or the last
// one while nobody is; empty before anyone signed in.
[[nodiscard]] QString DeskAccount(TDbConnection& db);
void SetDeskAccount(TDbConnection& db, const QString& account);

// Marks every row of the account pending with all its fields, under a new
// revision; returns the rows.
int MarkAllUnsent(TDbConnection& db, const QString& account);

struct TAudioFetch {
    QString NoteId;
    QString Md5; // the server's digest of the recording
};

struct TAppliedDownload {
    QList<TNoteItem> NewNotes; // rows created, in reply order
    int RemovedRows = 0;
    bool RowsChanged = false;      // an existing row took another text or look
    QList<TAudioFetch> AudioQueue; // in reply order; fetched last to first
    TServerCheck Check = TServerCheck::Same;
    int RowsMarked = 0; // rows marked to go up again because the server changed
};
// Applies a full download's items in one transaction. Position, size, topmost,
// automatic height, visibility and the commit flag stay local; a pending row
// keeps the fields it has not sent and takes the others. audioFolder ends
// with a separator; an audio note is queued when its file is missing or its
// digest differs from the server's.
[[nodiscard]] TAppliedDownload ApplyFullDownload(TDbConnection& db, const QList<TNoteItem>& items,
                                                 const QString& audioFolder,
                                                 const TServerOrigin& origin = {});
// A single-note refresh: updates the existing committed row; never creates one.
// True when the row took the server's values.
bool ApplySingleNote(TDbConnection& db, const TNoteItem& item, const TServerOrigin& origin = {});

// An audio note's file needs fetching: missing, or its digest is not md5.
[[nodiscard]] bool AudioFileStale(const QString& path, const QString& md5);

} // namespace SyncStore
