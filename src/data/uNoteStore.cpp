#include "data/uNoteStore.h"

#include "uSchema.h"

#include <QDateTime>

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
        // The fields changed here and not yet confirmed by the server. What a row
        // waiting from before this column existed changed is not known: all of it
        // goes up, except that a never-written empty note stays unsent.
        {"select unsent from notes limit 1",
         {"ALTER TABLE notes add COLUMN unsent int default 0",
          "update notes set unsent=2047 | (case when coalesce(mynote,'')='' then 32768 else 0 end) "
          "where commited=0 or commited is null"}},
        // The account a row belongs to; empty: made while nobody was signed in.
        {"select account from notes limit 1",
         {"ALTER TABLE notes add COLUMN account varchar(20) default ''"}},
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

std::unique_ptr<TDbConnection> Open(const QString& path) {
    std::unique_ptr<TDbConnection> conn = TDbConnection::Open(path);
    if (conn->Select(QStringLiteral("select name from sqlite_master")).rowCount() == 0) {
        TTransaction tr(*conn);
        conn->ExecScript(zuvo::kBaseSchemaSql);
        tr.Commit();
    }
    return conn;
}

void CreateFromSchema(const QString& path) {
    TDbConnection::Create(path, zuvo::kBaseSchemaSql);
}

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

void InsertFromShell(TDbConnection& db, const QString& id, qint32 x, qint32 y, const QString& account) {
    insertColumns(db, {{"id", id},           {"account", account},
                       {"notetype", 0},      {"form_w", 220},
                       {"form_h", 100},      {"form_x", x},
                       {"form_y", y},        {"form_trans", 160},
                       {"fontcolor", 0},     {"fontname", QStringLiteral("Tahoma")},
                       {"fontsize", 9},      {"fontbold", 0},
                       {"shownote", 1},      {"alerttype", 0},
                       {"istopmost", 0},     {"autoheight", 0},
                       {"showaslist", 0},    {"bgcolorindex", 0},
                       {"ctime", NowText()}, {"unsent", kUnsentNewNote}});
}

void InsertFromNote(TDbConnection& db, const TNoteItem& look, qint32 x, qint32 y, const QString& account) {
    insertColumns(db, {{"id", look.NoteID},
                       {"account", account},
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
                       {"commited", 0},
                       {"unsent", kUnsentNewNote}});
}

void InsertFromServer(TDbConnection& db, const TNoteItem& item, const QString& account) {
    insertColumns(db, {{"id", item.NoteID},
                       {"account", account},
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
