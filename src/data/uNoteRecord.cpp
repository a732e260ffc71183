#include "data/uNoteRecord.h"

NoteRecord NoteRecordFromRow(const TRowSet& rows, int row) {
    NoteRecord r;
    r.Note = NoteItemFromRow(rows, row);
    r.Dock.Docked = rows.asInt(row, QStringLiteral("ishiddenmode")) == 1;
    r.Dock.Edge = rows.asInt(row, QStringLiteral("hiddenpos"));
    r.Dock.StripX = rows.asInt(row, QStringLiteral("hiddenposx"));
    r.Dock.StripY = rows.asInt(row, QStringLiteral("hiddenposy"));
    r.Created = rows.asText(row, QStringLiteral("ctime"));
    r.Pending = rows.asInt(row, QStringLiteral("commited")) == 0;
    r.Rev = rows.asInt(row, QStringLiteral("rev"));
    r.Account = rows.asText(row, QStringLiteral("account"));
    return r;
}
