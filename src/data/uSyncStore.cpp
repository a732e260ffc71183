#include "data/uSyncStore.h"

#include "data/uNoteStore.h"
#include "shared/uMd5.h"

#include <QFile>
#include <QSet>

namespace SyncStore {

namespace {

bool isPending(const QVariant& committed) {
    return !committed.isValid() || committed.isNull() || committed.toLongLong() == 0;
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
        "create table if not exists sync_deletes (id varchar(36) primary key, queued datetime)"));
}

void QueueDelete(TDbConnection& db, const QString& noteId) {
    EnsureTables(db);
    db.Exec(QStringLiteral("insert or ignore into sync_deletes (id, queued) values (?, ?)"),
            {noteId, NoteStore::NowText()});
}

void UnqueueDelete(TDbConnection& db, const QString& noteId) {
    db.Exec(QStringLiteral("delete from sync_deletes where id=?"), {noteId});
}

QStringList QueuedDeletes(TDbConnection& db) {
    const TRowSet r = db.Select(QStringLiteral("select id from sync_deletes order by queued, id"));
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
                                   const QString& audioFolder) {
    TAppliedDownload out;
    TTransaction tr(db);
    // Every row's commit flag (null kept as invalid) and the queued deletions, read once.
    QHash<QString, QVariant> rows;
    {
        const TRowSet r = db.Select(QStringLiteral("select id, commited from notes"));
        rows.reserve(r.rowCount());
        for (const QVector<QVariant>& row : r.Rows)
            rows.insert(row.value(0).toString(), row.value(1));
    }
    TCommittedUpdate update(db);
    TDbStatement remove(db, QStringLiteral("delete from notes where id=? and commited<>0"));
    QSet<QString> queued;
    for (const QString& id : QueuedDeletes(db))
        queued.insert(id);

    for (const TNoteItem& n : items) {
        // A note this computer deleted stays deleted until the server confirms it.
        if (n.NoteID.isEmpty() || queued.contains(n.NoteID))
            continue;
        const auto it = rows.constFind(n.NoteID);
        const bool exists = it != rows.constEnd();
        if (exists && isPending(it.value()))
            continue; // its upload brings the server up to this computer's state
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
        NoteStore::InsertFromServer(db, n);
        rows.insert(n.NoteID, QVariant(1));
        out.NewNotes.append(n);
    }
    tr.Commit();
    return out;
}

bool ApplySingleNote(TDbConnection& db, const TNoteItem& item) {
    if (item.NoteID.isEmpty())
        return false;
    TTransaction tr(db);
    const TRowSet r = db.Select(QStringLiteral("select commited from notes where id=?"), {item.NoteID});
    if (r.rowCount() == 0 || r.isNull(0, QStringLiteral("commited")) ||
        r.asInt(0, QStringLiteral("commited")) == 0)
        return false;
    const bool changed = TCommittedUpdate(db).Apply(item, true);
    tr.Commit();
    return changed;
}

} // namespace SyncStore
