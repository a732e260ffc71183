#pragma once
// An SQLite 3 connection for one thread: statements with bound values, rows
// read back as a TRowSet, and write transactions that wait for other writers.

#include "shared/uRowSet.h"

#include <QList>
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
    // that. Throws TSqlError with the reason when the file cannot be used.
    [[nodiscard]] static std::unique_ptr<TDbConnection> Open(const QString& path);
    // Creates a new database file and runs schemaSql (one or more statements)
    // in it, in one transaction. Throws when the file exists or cannot be written.
    static void Create(const QString& path, const char* schemaSql);
    // Runs one or more statements without parameters; throws TSqlError naming them.
    void ExecScript(const char* sql);

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
