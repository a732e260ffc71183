#pragma once
// The store operations of sync beside the repository's: the queue of deletions the server has not confirmed,
// and the application of what a download brings. A row waiting for upload (commited 0 or null) is the user's
// newest word on that note: nothing here overwrites or removes it.

#include "data/uDataTypes.h"

#include <QHash>
#include <QString>
#include <QStringList>

class TDbConnection;

namespace SyncStore {

// Creates the deletion queue when the store does not have it yet.
void EnsureTables(TDbConnection& db);

void QueueDelete(TDbConnection& db, const QString& noteId);
void UnqueueDelete(TDbConnection& db, const QString& noteId);
[[nodiscard]] QStringList QueuedDeletes(TDbConnection& db);

struct TAudioFetch {
    QString NoteId;
    QString Md5; // the server's digest of the recording
};

struct TAppliedDownload {
    QList<TNoteItem> NewNotes; // rows created, in reply order
    int RemovedRows = 0;
    bool RowsChanged = false;      // an existing row took another text or look
    QList<TAudioFetch> AudioQueue; // in reply order; fetched last to first
};
// Applies a full download's items in one transaction. Position, size, topmost,
// automatic height, visibility and the commit flag stay local. audioFolder ends
// with a separator; an audio note is queued when its file is missing or its
// digest differs from the server's.
[[nodiscard]] TAppliedDownload ApplyFullDownload(TDbConnection& db, const QList<TNoteItem>& items,
                                                 const QString& audioFolder);
// A single-note refresh: updates the existing committed row; never creates one.
// True when the row took the server's values.
bool ApplySingleNote(TDbConnection& db, const TNoteItem& item);

// An audio note's file needs fetching: missing, or its digest is not md5.
[[nodiscard]] bool AudioFileStale(const QString& path, const QString& md5);

} // namespace SyncStore
