#include "shared/uDbConnection.h"

#include <QFileInfo>
#include <sqlite3.h>

namespace {

struct TStmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtFinalizer>;

constexpr int kBusyTimeoutMs = 8000;

QString errorText(sqlite3* db, const QString& what) {
    return what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db));
}

TStmt prepare(sqlite3* db, const QString& sql) {
    sqlite3_stmt* raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &raw, nullptr) != SQLITE_OK)
        throw TSqlError(errorText(db, sql));
    return TStmt(raw);
}

void bind(sqlite3* db, sqlite3_stmt* s, const TSqlParams& params) {
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params[i];
        int rc = SQLITE_OK;
        const int at = i + 1;
        if (!v.isValid() || v.isNull()) {
            rc = sqlite3_bind_null(s, at);
        } else {
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Bool:
            case QMetaType::Short:
            case QMetaType::UShort:
                rc = sqlite3_bind_int64(s, at, v.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(s, at, v.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                rc = sqlite3_bind_blob(s, at, b.constData(), int(b.size()), SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QString t = v.toString();
                rc = sqlite3_bind_text16(s, at, t.utf16(), int(t.size() * 2), SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (rc != SQLITE_OK)
            throw TSqlError(errorText(db, QStringLiteral("bind")));
    }
}

QVariant columnValue(sqlite3_stmt* s, int c) {
    switch (sqlite3_column_type(s, c)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(s, c)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(s, c));
    case SQLITE_TEXT:
        return QVariant(QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(s, c)),
                                sqlite3_column_bytes16(s, c) / 2));
    case SQLITE_BLOB:
        return QVariant(
            QByteArray(static_cast<const char*>(sqlite3_column_blob(s, c)), sqlite3_column_bytes(s, c)));
    default:
        return QVariant();
    }
}

void execPlain(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        throw TSqlError(QString::fromUtf8(sql) + QStringLiteral(": ") + msg);
    }
}

} // namespace

struct TDbStatement::TImpl {
    sqlite3* Db;
    QString Sql;
    TStmt Stmt;
};

TDbStatement::TDbStatement(TDbConnection& db, const QString& sql)
    : FImpl(std::make_unique<TImpl>(TImpl{db.handle(), sql, prepare(db.handle(), sql)})) {}

TDbStatement::~TDbStatement() = default;

int TDbStatement::Exec(const TSqlParams& params) {
    sqlite3_stmt* s = FImpl->Stmt.get();
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    bind(FImpl->Db, s, params);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw TSqlError(errorText(FImpl->Db, FImpl->Sql));
    return sqlite3_changes(FImpl->Db);
}

void TDbConnection::TCloser::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

TDbConnection::TDbConnection(QString path, std::unique_ptr<sqlite3, TCloser> db)
    : FPath(std::move(path)), FDb(std::move(db)) {}

TDbConnection::~TDbConnection() = default;

std::unique_ptr<TDbConnection> TDbConnection::Open(const QString& path) {
    if (!QFileInfo(path).isFile())
        throw TSqlError(QStringLiteral("the file does not exist"));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    std::unique_ptr<sqlite3, TCloser> db(raw);
    if (rc != SQLITE_OK)
        throw TSqlError(raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory"));
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);

    // Reading the catalogue is the first touch of the file: a file that is not a
    // database fails here, before anything could be written to it.
    std::unique_ptr<TDbConnection> conn(new TDbConnection(path, std::move(db)));
    (void)conn->Select(QStringLiteral("select name from sqlite_master"));
    if (sqlite3_db_readonly(raw, "main") == 1)
        throw TSqlError(QStringLiteral("the file is read-only"));

    const TRowSet mode = conn->Select(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (mode.rowCount() != 1 ||
        mode.asText(0, QStringLiteral("journal_mode")).toLower() != QLatin1String("wal"))
        throw TSqlError(QStringLiteral("cannot use a write-ahead journal beside the file"));
    conn->Exec(QStringLiteral("PRAGMA synchronous=FULL"));
    return conn;
}

void TDbConnection::Create(const QString& path, const char* schemaSql) {
    if (QFileInfo::exists(path))
        throw TSqlError(QStringLiteral("the file already exists"));
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, TCloser> db(raw);
    if (rc != SQLITE_OK)
        throw TSqlError(raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory"));
    execPlain(raw, "BEGIN");
    execPlain(raw, schemaSql);
    execPlain(raw, "COMMIT");
}

void TDbConnection::ExecScript(const char* sql) {
    execPlain(FDb.get(), sql);
}

int TDbConnection::Exec(const QString& sql, const TSqlParams& params) {
    sqlite3* db = FDb.get();
    TStmt s = prepare(db, sql);
    bind(db, s.get(), params);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw TSqlError(errorText(db, sql));
    return sqlite3_changes(db);
}

TRowSet TDbConnection::Select(const QString& sql, const TSqlParams& params) {
    sqlite3* db = FDb.get();
    TStmt s = prepare(db, sql);
    bind(db, s.get(), params);
    TRowSet rows;
    const int n = sqlite3_column_count(s.get());
    rows.Columns.reserve(n);
    for (int c = 0; c < n; ++c)
        rows.Columns.append(QString::fromUtf8(sqlite3_column_name(s.get(), c)));
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        QVector<QVariant> row(n);
        for (int c = 0; c < n; ++c)
            row[c] = columnValue(s.get(), c);
        rows.Rows.append(std::move(row));
    }
    if (rc != SQLITE_DONE)
        throw TSqlError(errorText(db, sql));
    rows.Open = true;
    return rows;
}

TTransaction::TTransaction(TDbConnection& db) : FDb(db) {
    execPlain(db.handle(), "BEGIN IMMEDIATE");
}

TTransaction::~TTransaction() {
    if (!FDone)
        sqlite3_exec(FDb.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTransaction::Commit() {
    execPlain(FDb.handle(), "COMMIT");
    FDone = true;
}
