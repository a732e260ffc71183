#pragma once
// The local note store: the table "notes" in brisel.mdb, an SQLite 3 database.
// Each thread that touches the store opens its own TDbConnection to the same file;
// values always travel as bound parameters, never spliced into the SQL text.

#include "data/uDataTypes.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <stdexcept>

struct sqlite3;

class TSqlError : public std::runtime_error {
public:
    explicit TSqlError(const QString& message) : std::runtime_error(message.toStdString()) {}
    [[nodiscard]] QString text() const { return QString::fromStdString(what()); }
};

using TSqlParams = QList<QVariant>;

class TDbConnection {
public:
    ~TDbConnection();
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    // Opens an existing database file for reading and writing (WAL journal,
    // synchronous=FULL, busy timeout). Never creates or alters the file beyond
    // that; an empty database gets the base table. Throws TSqlError with the
    // reason when the file cannot be used.
    [[nodiscard]] static std::unique_ptr<TDbConnection> Open(const QString& path);
    // Creates a new database file holding the base table of the template.
    // Throws when the file exists or cannot be written.
    static void CreateFromSchema(const QString& path);

    // Executes one statement; returns the number of rows it changed.
    int Exec(const QString& sql, const TSqlParams& params = {});
    // Runs one select and reads all of its rows.
    [[nodiscard]] TRowSet Select(const QString& sql, const TSqlParams& params = {});

    [[nodiscard]] const QString& path() const { return FPath; }
    [[nodiscard]] sqlite3* handle() const { return FDb.get(); }

private:
    struct TCloser {
        void operator()(sqlite3* db) const;
    };
    TDbConnection(QString path, std::unique_ptr<sqlite3, TCloser> db);

    QString FPath;
    std::unique_ptr<sqlite3, TCloser> FDb;
};

// One statement prepared once and run many times, for bulk work on one
// connection (inside a transaction); each run binds its own values.
class TDbStatement {
public:
    TDbStatement(TDbConnection& db, const QString& sql);
    ~TDbStatement();
    TDbStatement(const TDbStatement&) = delete;
    TDbStatement& operator=(const TDbStatement&) = delete;
    // Runs the statement with these values; returns the number of rows it changed.
    int Exec(const TSqlParams& params);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// A write transaction: BEGIN IMMEDIATE (a deferred BEGIN that later writes fails
// under concurrent writers instead of waiting), rolled back unless committed.
class TTransaction {
public:
    explicit TTransaction(TDbConnection& db);
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;
    void Commit();

private:
    TDbConnection& FDb;
    bool FDone = false;
};

// The schema upgrade: eight probes in order, each repaired only when its probe
// fails. Runs in one transaction, so a failing repair leaves the file as it was.
// Throws TSqlError when a repair statement fails.
void UpgradeSchema(TDbConnection& db);

// The statements of the shell.
namespace NoteStore {

inline constexpr const char* kSelectShown = "Select * from notes where shownote=1";
inline constexpr const char* kSelectEmptyRow = "select * from notes where 1=2";
inline constexpr const char* kSelectPendingForShutdown =
    "select id,mynote,form_x,form_y,form_w,form_h,form_trans,fontcolor,fontsize,fontname,fontbold,"
    "alerttype,alertvalue1,alertvalue2,alertvalue3, istopmost, autoheight, bgcolorindex, showaslist, "
    "filemd5  from notes where mynote<>'' and id <>''  and (commited=0 or commited is null) ";
inline constexpr const char* kSelectPendingAll =
    "select id,mynote,form_x,form_y,form_w,form_h,form_trans,fontcolor,fontsize,fontname,fontbold,"
    "alerttype,alertvalue1,alertvalue2,alertvalue3,istopmost, autoheight, bgcolorindex, showaslist, "
    "filemd5, notetype  from notes where mynote<>'' and id <>''  and (commited=0 or commited is null) ";
inline constexpr const char* kSelectPendingOne =
    "select id,mynote,form_x,form_y,form_w,form_h,form_trans,fontcolor,fontsize,fontname,fontbold,"
    "alerttype,alertvalue1,alertvalue2,alertvalue3, istopmost, autoheight, bgcolorindex, showaslist, "
    "filemd5, notetype  from notes where mynote<>'' and (commited=0 or commited is null) and id=? ";
inline constexpr const char* kMarkCommittedOne = "update notes set commited=1 where id=? ";

// Local time as stored in ctime.
[[nodiscard]] QString NowText();

// A new note from the shell (tray): the geometry is the free place found for it.
void InsertFromShell(TDbConnection& db, const QString& id, qint32 x, qint32 y);
// A new note created from another note: takes the creating window's look.
// mynote is the date text when one is inserted, else empty.
void InsertFromNote(TDbConnection& db, const TNoteItem& look, qint32 x, qint32 y);
// A note the download worker found on the server and not in the store.
void InsertFromServer(TDbConnection& db, const TNoteItem& item);

// Marks exactly these rows committed, in one transaction.
void MarkCommitted(TDbConnection& db, const QStringList& ids);

} // namespace NoteStore
