#pragma once
// One note's stored state: a row of table "notes" as a value.

#include "data/uDataTypes.h"

// Where a docked note's strip sits. Local to this computer, never exchanged.
struct NoteDock {
    bool Docked = false;
    qint32 Edge = 0; // 0 left, 1 top, 2 right
    qint32 StripX = 0;
    qint32 StripY = 0;

    friend bool operator==(const NoteDock&, const NoteDock&) = default;
};

struct NoteRecord {
    TNoteItem Note; // the columns a note shares with the server
    NoteDock Dock;
    QString Created; // ctime as stored
    // A row is pending (to be uploaded) while commited is 0 or null.
    bool Pending = true;
    // Counts the local writes that marked the row pending: an upload marks the row
    // committed only if no write came after the version it sent.
    qint64 Rev = 0;
    // The account the note belongs to; empty while it belongs to none.
    QString Account;

    [[nodiscard]] const QString& id() const { return Note.NoteID; }

    friend bool operator==(const NoteRecord&, const NoteRecord&) = default;
};

// Builds a record from one row of "select * from notes".
[[nodiscard]] NoteRecord NoteRecordFromRow(const TRowSet& rows, int row);
