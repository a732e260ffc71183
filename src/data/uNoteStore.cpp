#include "data/uNoteStore.h"

#include "uSchema.h"

#include <QDateTime>
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
    const TRowSet tables = conn->Select(QStringLiteral("select name from sqlite_master"));
    if (sqlite3_db_readonly(raw, "main") == 1)
        throw TSqlError(QStringLiteral("the file is read-only"));

    const TRowSet mode = conn->Select(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (mode.rowCount() != 1 ||
        mode.asText(0, QStringLiteral("journal_mode")).toLower() != QLatin1String("wal"))
        throw TSqlError(QStringLiteral("cannot use a write-ahead journal beside the file"));
    conn->Exec(QStringLiteral("PRAGMA synchronous=FULL"));

    // An empty database (a zero-length file) holds nothing to lose: give it the base table.
    if (tables.rowCount() == 0) {
        TTransaction tr(*conn);
        execPlain(raw, zuvo::kBaseSchemaSql);
        tr.Commit();
    }
    return conn;
}

void TDbConnection::CreateFromSchema(const QString& path) {
    if (QFileInfo::exists(path))
        throw TSqlError(QStringLiteral("the file already exists"));
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, TCloser> db(raw);
    if (rc != SQLITE_OK)
        throw TSqlError(raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory"));
    execPlain(raw, "BEGIN");
    execPlain(raw, zuvo::kBaseSchemaSql);
    execPlain(raw, "COMMIT");
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

void UpgradeSchema(TDbConnection& db) {
    struct TProbe {
        const char* Probe;
        std::initializer_list<const char*> Repairs;
    };
    // SQLite has no "top": a probe is the one-row select of its column.
    static const TProbe probes[] = {
        {"select istopmost from notes limit 1",
         {"ALTER TABLE notes add COLUMN istopmost int default 0", "Update notes set istopmost=0"}},
        {"select bgcolorindex from notes limit 1",
         {"ALTER TABLE notes add COLUMN bgcolorindex int default 0", "Update notes set bgcolorindex=0"}},
        {"select showaslist from notes limit 1",
         {"ALTER TABLE notes add COLUMN showaslist int default 0", "Update notes set showaslist=0"}},
        {"select notetype from notes limit 1",
         {"ALTER TABLE notes add COLUMN notetype int default 0", "Update notes set notetype=0"}},
        {"select filemd5 from notes limit 1", {"ALTER TABLE notes add COLUMN filemd5 varchar(50)"}},
        {"select autoheight from notes limit 1", {"ALTER TABLE notes add COLUMN autoheight int default 0"}},
        // Stands for all four docking columns.
        {"select ishiddenmode from notes limit 1",
         {"ALTER TABLE notes add COLUMN ishiddenmode int default 0",
          "ALTER TABLE notes add COLUMN hiddenpos int default 0",
          "ALTER TABLE notes add COLUMN hiddenposx int default 0",
          "ALTER TABLE notes add COLUMN hiddenposy int default 0"}},
        // The row revision: local only, never exchanged.
        {"select rev from notes limit 1", {"ALTER TABLE notes add COLUMN rev int default 0"}},
    };
    TTransaction tr(db);
    for (const TProbe& p : probes) {
        try {
            (void)db.Select(QString::fromLatin1(p.Probe));
            continue;
        } catch (const TSqlError&) {
            // Any failure of the probe means the column is missing.
        }
        for (const char* repair : p.Repairs)
            db.Exec(QString::fromLatin1(repair));
    }
    tr.Commit();
}

namespace NoteStore {

QString NowText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

namespace {
// Appending a row assigns only the listed columns; the others keep their
// column default or null, exactly as an appended record would.
void insertColumns(TDbConnection& db, const QList<std::pair<const char*, QVariant>>& cols) {
    QString names;
    QString marks;
    TSqlParams params;
    for (const auto& [name, value] : cols) {
        if (!names.isEmpty()) {
            names += QLatin1Char(',');
            marks += QLatin1Char(',');
        }
        names += QLatin1String(name);
        marks += QLatin1Char('?');
        params.append(value);
    }
    db.Exec(QStringLiteral("insert into notes (%1) values (%2)").arg(names, marks), params);
}
} // namespace

void InsertFromShell(TDbConnection& db, const QString& id, qint32 x, qint32 y) {
    insertColumns(db, {{"id", id},
                       {"notetype", 0},
                       {"form_w", 220},
                       {"form_h", 100},
                       {"form_x", x},
                       {"form_y", y},
                       {"form_trans", 160},
                       {"fontcolor", 0},
                       {"fontname", QStringLiteral("Tahoma")},
                       {"fontsize", 9},
                       {"fontbold", 0},
                       {"shownote", 1},
                       {"alerttype", 0},
                       {"istopmost", 0},
                       {"autoheight", 0},
                       {"showaslist", 2},
                       {"bgcolorindex", 0},
                       {"ctime", NowText()}});
}

void InsertFromNote(TDbConnection& db, const TNoteItem& look, qint32 x, qint32 y) {
    insertColumns(db, {{"id", look.NoteID},
                       {"mynote", look.NNote},
                       {"form_w", look.FmW},
                       {"form_h", look.FmH},
                       {"form_x", x},
                       {"form_y", y},
                       {"form_trans", look.FmTrans},
                       {"fontcolor", look.FontColor},
                       {"fontname", look.FontName},
                       {"fontsize", look.FontSize},
                       {"fontbold", look.FontBold},
                       {"shownote", 1},
                       {"alerttype", 0},
                       {"istopmost", look.IsTopMost},
                       {"autoheight", look.AutoHeight},
                       {"showaslist", look.ShowAsList},
                       {"bgcolorindex", look.BGColorIdx},
                       {"ctime", NowText()},
                       {"commited", 0}});
}

void InsertFromServer(TDbConnection& db, const TNoteItem& item) {
    insertColumns(db, {{"id", item.NoteID},
                       {"mynote", item.NNote},
                       {"notetype", item.NoteType},
                       {"form_trans", item.FmTrans},
                       {"fontcolor", item.FontColor},
                       {"fontname", item.FontName},
                       {"fontsize", item.FontSize},
                       {"fontbold", item.FontBold},
                       {"shownote", item.ShowNote},
                       {"alerttype", item.AlertType},
                       {"alertvalue1", item.AlertValue1},
                       {"alertvalue2", item.AlertValue2},
                       {"alertvalue3", item.AlertValue3},
                       {"showaslist", item.ShowAsList},
                       {"bgcolorindex", item.BGColorIdx},
                       {"filemd5", item.VoiceMd5},
                       {"ctime", NowText()},
                       {"commited", 1}});
}

void MarkCommitted(TDbConnection& db, const QStringList& ids) {
    if (ids.isEmpty())
        return;
    TTransaction tr(db);
    for (const QString& id : ids)
        db.Exec(QString::fromLatin1(kMarkCommittedOne), {id});
    tr.Commit();
}

} // namespace NoteStore
