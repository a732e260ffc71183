#include "data/uSyncStore.h"

#include "data/uDataTypes.h"
#include "data/uNoteStore.h"
#include "shared/uMd5.h"

#include <QFile>
#include <QSet>

namespace SyncStore {

namespace {

bool isPending(const QVariant& committed) {
    return !committed.isValid() || committed.isNull() || committed.toLongLong() == 0;
}

struct TLocalRow {
    QVariant Committed; // null kept as invalid
    int Unsent = 0;
};

// The server's values of the columns of each upload field that are not in
// unsent. A pending row keeps what it changed and takes the rest, so a change
// made elsewhere still arrives while this computer's own waits to go up. A row
// whose changes are not known keeps everything.
bool applyToPendingRow(TDbConnection& db, const TNoteItem& n, int unsent, bool withText) {
    const int fields = unsent & NoteStore::kUnsentAllFields;
    if (fields == 0)
        return false;
    const auto free = [fields](TUploadField f) { return (fields & (1 << f)) == 0; };
    QString set = QStringLiteral("notetype=?,filemd5=?");
    TSqlParams p{n.NoteType, n.VoiceMd5};
    QString differs = QStringLiteral("notetype is not ? or filemd5 is not ?");
    TSqlParams dp{n.NoteType, n.VoiceMd5};
    const auto take = [&](TUploadField f, const char* column, const QVariant& v) {
        if (!free(f))
            return;
        set += QStringLiteral(",%1=?").arg(QLatin1String(column));
        p.append(v);
        differs += QStringLiteral(" or %1 is not ?").arg(QLatin1String(column));
        dp.append(v);
    };
    if (withText)
        take(utNote, "mynote", n.NNote);
    take(utBgcolor, "bgcolorindex", n.BGColorIdx);
    take(utFontName, "fontname", n.FontName);
    take(utFontSize, "fontsize", n.FontSize);
    take(utFontBold, "fontbold", n.FontBold);
    take(utTransparency, "form_trans", n.FmTrans);
    take(utShowAsList, "showaslist", n.ShowAsList);
    take(utAlert, "alerttype", n.AlertType);
    take(utAlert, "alertvalue1", n.AlertValue1);
    take(utAlert, "alertvalue2", n.AlertValue2);
    take(utAlert, "alertvalue3", n.AlertValue3);
    take(utFontColor, "fontcolor", n.FontColor);
    p.append(n.NoteID);
    p.append(dp);
    return db.Exec(QStringLiteral("update notes set %1 where id=? and (%2)").arg(set, differs), p) > 0;
}

// The server's values of the columns both sides keep.
TSqlParams serverValues(const TNoteItem& n) {
    return {n.NoteType,    n.FontColor,   n.FontSize,    n.FontBold,   n.FontName,   n.FmTrans, n.AlertType,
            n.AlertValue1, n.AlertValue2, n.AlertValue3, n.ShowAsList, n.BGColorIdx, n.VoiceMd5};
}

constexpr const char* kServerColumnsSet =
    "notetype=?,fontcolor=?,fontsize=?,fontbold=?,fontname=?,form_trans=?,alerttype=?,alertvalue1=?,"
    "alertvalue2=?,alertvalue3=?,showaslist=?,bgcolorindex=?,filemd5=?";
// The same columns compared null-safely, so an unchanged row is not written.
constexpr const char* kServerColumnsDiffer =
    "not (notetype is ? and fontcolor is ? and fontsize is ? and fontbold is ? and fontname is ? and "
    "form_trans is ? and alerttype is ? and alertvalue1 is ? and alertvalue2 is ? and alertvalue3 is ? and "
    "showaslist is ? and bgcolorindex is ? and filemd5 is ?)";

QString updateSql(bool withText) {
    QString sql = QStringLiteral("update notes set ") + QLatin1String(kServerColumnsSet);
    if (withText)
        sql += QStringLiteral(",mynote=?");
    sql += QStringLiteral(" where id=? and commited<>0 and (") + QLatin1String(kServerColumnsDiffer);
    if (withText)
        sql += QStringLiteral(" or mynote is not ?");
    return sql + QLatin1Char(')');
}

// Writes the server's look (and text) into committed rows where they differ;
// the statements are prepared once for a whole download.
class TCommittedUpdate {
public:
    explicit TCommittedUpdate(TDbConnection& db)
        : FLook(db, updateSql(false)), FLookAndText(db, updateSql(true)) {}
    bool Apply(const TNoteItem& n, bool withText) {
        TSqlParams params = serverValues(n);
        if (withText)
            params.append(n.NNote);
        params.append(n.NoteID);
        params.append(serverValues(n));
        if (withText)
            params.append(n.NNote);
        return (withText ? FLookAndText : FLook).Exec(params) > 0;
    }

private:
    TDbStatement FLook;
    TDbStatement FLookAndText;
};

} // namespace

void EnsureTables(TDbConnection& db) {
    db.Exec(QStringLiteral(
        "create table if not exists sync_deletes (id varchar(36) primary key, queued datetime, "
        "account text not null default '')"));
    try {
        (void)db.Select(QStringLiteral("select account from sync_deletes limit 1"));
    } catch (const TSqlError&) {
        // Queued before deletions carried their account: they go with the next one signed in.
        db.Exec(QStringLiteral("alter table sync_deletes add column account text not null default ''"));
    }
    db.Exec(QStringLiteral(
        "create table if not exists sync_desk (one integer primary key, account text not null)"));
    db.Exec(QStringLiteral("create table if not exists sync_server (account text primary key, store text not "
                           "null, changes integer not null)"));
}

TServerCheck CheckServerState(TDbConnection& db, const QString& account, const TServerStoreState& state,
                              bool remember) {
    if (!state.Known() || account.isEmpty())
        return TServerCheck::Same;
    const TRowSet r =
        db.Select(QStringLiteral("select store, changes from sync_server where account=?"), {account});
    TServerCheck out = TServerCheck::Same;
    if (r.rowCount() > 0) {
        const QString store = r.asText(0, QStringLiteral("store"));
        const qint64 changes = r.Rows[0].value(1).toLongLong();
        if (store != state.StoreId)
            out = TServerCheck::Replaced;
        else if (state.Changes < changes)
            out = TServerCheck::Behind;
    }
    if (remember)
        db.Exec(
            QStringLiteral("insert into sync_server (account, store, changes) values (?, ?, ?) on conflict "
                           "(account) do update set store=excluded.store, changes=excluded.changes"),
            {account, state.StoreId, state.Changes});
    return out;
}

QString DeskAccount(TDbConnection& db) {
    EnsureTables(db);
    const TRowSet r = db.Select(QStringLiteral("select account from sync_desk"));
    return r.rowCount() ? r.asText(0, QStringLiteral("account")) : QString();
}

void SetDeskAccount(TDbConnection& db, const QString& account) {
    EnsureTables(db);
    db.Exec(
        QStringLiteral("insert into sync_desk (one, account) values (1, ?) on conflict (one) do update set "
                       "account=excluded.account"),
        {account});
}

int MarkAllUnsent(TDbConnection& db, const QString& account) {
    // A new revision, so that no upload already on its way confirms the rows.
    // An emptied note goes too: the server may hold an older text of it.
    return db.Exec(
        QStringLiteral("update notes set commited=0, rev=rev+1, unsent=coalesce(unsent,0)|%1 where "
                       "coalesce(account,'')=?")
            .arg(NoteStore::kUnsentAllFields),
        {account});
}

void QueueDelete(TDbConnection& db, const QString& noteId, const QString& account) {
    EnsureTables(db);
    db.Exec(QStringLiteral("insert or ignore into sync_deletes (id, queued, account) values (?, ?, ?)"),
            {noteId, NoteStore::NowText(), account});
}

void UnqueueDelete(TDbConnection& db, const QString& noteId) {
    db.Exec(QStringLiteral("delete from sync_deletes where id=?"), {noteId});
}

QStringList QueuedDeletes(TDbConnection& db, const std::optional<QString>& account) {
    const TRowSet r =
        account ? db.Select(QStringLiteral(
                                "select id from sync_deletes where account in (?, '') order by queued, id"),
                            {*account})
                : db.Select(QStringLiteral("select id from sync_deletes order by queued, id"));
    QStringList out;
    for (int i = 0; i < r.rowCount(); ++i)
        out.append(r.asText(i, QStringLiteral("id")));
    return out;
}

bool AudioFileStale(const QString& path, const QString& md5) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return true;
    return Md5Hex(f.readAll()) != md5;
}

TAppliedDownload ApplyFullDownload(TDbConnection& db, const QList<TNoteItem>& items,
                                   const QString& audioFolder, const TServerOrigin& origin) {
    TAppliedDownload out;
    TTransaction tr(db);
    // A server whose store is another, or older than what this computer saw,
    // has lost changes: every note here goes up again, whole, before anything
    // of that server is taken, so no older text replaces a newer one.
    out.Check = CheckServerState(db, origin.Account, origin.State, true);
    // Notes made while nobody was signed in join the account that syncs now.
    if (!origin.Account.isEmpty())
        db.Exec(QStringLiteral("update notes set account=? where coalesce(account,'')=''"), {origin.Account});
    // The server keeps every note it was given, deleted ones as tombstones: a
    // note this computer holds as stored there that the list lacks means the
    // store lost it, whatever its counts say (a copy put back long ago).
    if (out.Check == TServerCheck::Same && !origin.Account.isEmpty() && origin.State.Known()) {
        QSet<QString> listed;
        listed.reserve(items.size());
        for (const TNoteItem& n : items)
            listed.insert(n.NoteID);
        const TRowSet held =
            db.Select(QStringLiteral("select id from notes where commited<>0 and coalesce(account,'')=?"),
                      {origin.Account});
        for (int i = 0; i < held.rowCount(); ++i)
            if (!listed.contains(held.asText(i, QStringLiteral("id")))) {
                out.Check = TServerCheck::Behind;
                break;
            }
    }
    if (out.Check != TServerCheck::Same)
        out.RowsMarked = MarkAllUnsent(db, origin.Account);
    // Every row's commit flag and unsent fields, and the queued deletions, read
    // once. Another account's rows are not this download's to touch.
    QHash<QString, TLocalRow> rows;
    QSet<QString> others;
    {
        const TRowSet r = db.Select(QStringLiteral("select id, commited, unsent, account from notes"));
        rows.reserve(r.rowCount());
        for (const QVector<QVariant>& row : r.Rows) {
            if (row.value(3).toString() != origin.Account)
                others.insert(row.value(0).toString());
            else
                rows.insert(row.value(0).toString(), TLocalRow{row.value(1), row.value(2).toInt()});
        }
    }
    TCommittedUpdate update(db);
    QSet<QString> queued;
    for (const QString& id : QueuedDeletes(db))
        queued.insert(id);

    for (const TNoteItem& n : items) {
        // A note this computer deleted stays deleted until the server confirms it.
        if (n.NoteID.isEmpty() || queued.contains(n.NoteID) || others.contains(n.NoteID))
            continue;
        const auto it = rows.constFind(n.NoteID);
        const bool exists = it != rows.constEnd();
        if (exists && isPending(it.value().Committed)) {
            // Its upload brings the server up to this computer's changes; the
            // rest it takes now. A deletion elsewhere waits for that upload,
            // which brings the note back.
            if (n.Deleted != 1 && n.ShowNote != 0 &&
                applyToPendingRow(db, n, it.value().Unsent, n.ShowNote == 1))
                out.RowsChanged = true;
            continue;
        }
        if (n.Deleted == 1 || n.ShowNote == 0) {
            if (exists &&
                db.Exec(QStringLiteral("delete from notes where id=? and commited<>0"), {n.NoteID}) > 0) {
                rows.remove(n.NoteID);
                ++out.RemovedRows;
            }
            continue;
        }
        const bool audio = n.NoteType == 1 && AudioFileStale(audioFolder + n.NoteID, n.VoiceMd5);
        if (audio)
            out.AudioQueue.append({n.NoteID, n.VoiceMd5});
        if (exists) {
            if (update.Apply(n, n.ShowNote == 1))
                out.RowsChanged = true;
            continue;
        }
        NoteStore::InsertFromServer(db, n, origin.Account);
        rows.insert(n.NoteID, TLocalRow{QVariant(1), 0});
        out.NewNotes.append(n);
    }
    tr.Commit();
    return out;
}

bool ApplySingleNote(TDbConnection& db, const TNoteItem& item, const TServerOrigin& origin) {
    if (item.NoteID.isEmpty())
        return false;
    TTransaction tr(db);
    // Only the full download acts on a changed server; a single note from one
    // is not taken (the reply may also simply be older than the last download).
    if (CheckServerState(db, origin.Account, origin.State, false) != TServerCheck::Same)
        return false;
    const TRowSet r = db.Select(
        QStringLiteral("select commited, unsent from notes where id=? and coalesce(account,'') in (?, '')"),
        {item.NoteID, origin.Account});
    if (r.rowCount() == 0)
        return false;
    const bool changed = isPending(r.Rows[0].value(0))
                             ? applyToPendingRow(db, item, r.asInt(0, QStringLiteral("unsent")), true)
                             : TCommittedUpdate(db).Apply(item, true);
    tr.Commit();
    return changed;
}

} // namespace SyncStore
