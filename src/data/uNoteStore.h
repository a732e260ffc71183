#pragma once
// The local note store: the table "notes" in brisel.mdb, an SQLite 3 database.
// Each thread that touches the store opens its own TDbConnection to the same file;
// values always travel as bound parameters, never spliced into the SQL text.

#include "data/uDataTypes.h"
#include "shared/uDbConnection.h"

#include <QString>
#include <memory>

// The schema upgrade: eight probes in order, each repaired only when its probe
// fails. Runs in one transaction, so a failing repair leaves the file as it was.
// Throws TSqlError when a repair statement fails.
void UpgradeSchema(TDbConnection& db);

// The statements of the shell.
namespace NoteStore {

// Column "unsent": the upload fields (TUploadFields bits) changed on this
// computer that the server has not confirmed, plus kUnsentNew while the server
// has never stored the row at all.
inline constexpr int kUnsentAllFields = 0x7FF;
inline constexpr int kUnsentNew = 0x8000;
inline constexpr int kUnsentNewNote = kUnsentAllFields | kUnsentNew;

inline constexpr const char* kSelectShown = "Select * from notes where shownote=1";
inline constexpr const char* kSelectEmptyRow = "select * from notes where 1=2";
inline constexpr const char* kSelectPendingForShutdown =
    "select id,mynote,form_x,form_y,form_w,form_h,form_trans,fontcolor,fontsize,fontname,fontbold,"
    "alerttype,alertvalue1,alertvalue2,alertvalue3, istopmost, autoheight, bgcolorindex, showaslist, "
    "filemd5  from notes where (mynote<>'' or coalesce(unsent,0) between 1 and 32767) and id <>''  and "
    "(commited=0 or commited is null) ";
inline constexpr const char* kSelectPendingAll =
    "select id,mynote,form_x,form_y,form_w,form_h,form_trans,fontcolor,fontsize,fontname,fontbold,"
    "alerttype,alertvalue1,alertvalue2,alertvalue3,istopmost, autoheight, bgcolorindex, showaslist, "
    "filemd5, notetype  from notes where (mynote<>'' or coalesce(unsent,0) between 1 and 32767) and id <>''  "
    "and (commited=0 or commited is null) ";
inline constexpr const char* kSelectPendingOne =
    "select id,mynote,form_x,form_y,form_w,form_h,form_trans,fontcolor,fontsize,fontname,fontbold,"
    "alerttype,alertvalue1,alertvalue2,alertvalue3, istopmost, autoheight, bgcolorindex, showaslist, "
    "filemd5, notetype  from notes where (mynote<>'' or coalesce(unsent,0) between 1 and 32767) and "
    "(commited=0 or commited is null) and id=? ";
inline constexpr const char* kMarkCommittedOne = "update notes set commited=1 where id=? ";

// Opens the store's file like TDbConnection::Open; an empty database (a
// zero-length file) gets the base table, as it holds nothing to lose.
[[nodiscard]] std::unique_ptr<TDbConnection> Open(const QString& path);
// Creates a new database file holding the base table of the template.
// Throws when the file exists or cannot be written.
void CreateFromSchema(const QString& path);

// Local time as stored in ctime.
[[nodiscard]] QString NowText();

// A new note from the shell (tray): the geometry is the free place found for it.
// Each inserter records the account the row belongs to (empty: none yet).
void InsertFromShell(TDbConnection& db, const QString& id, qint32 x, qint32 y, const QString& account = {});
// A new note created from another note: takes the creating window's look.
// mynote is the date text when one is inserted, else empty.
void InsertFromNote(TDbConnection& db, const TNoteItem& look, qint32 x, qint32 y,
                    const QString& account = {});
// A note the download worker found on the server and not in the store.
void InsertFromServer(TDbConnection& db, const TNoteItem& item, const QString& account = {});

// Marks exactly these rows committed, in one transaction.
void MarkCommitted(TDbConnection& db, const QStringList& ids);

} // namespace NoteStore
