#include "data/uNoteRepository.h"

#include "data/uSyncStore.h"

namespace {

// Appended to every statement that marks a row pending: the new revision and
// the changed fields join the row's unsent ones in the same statement, so an
// upload can never confirm a change it did not carry.
QString pendingWrite(TUploadFields fields) {
    return QStringLiteral("commited=0,rev=rev+1,unsent=coalesce(unsent,0)|%1").arg(fields.bits());
}

QString pendingUpdate(const char* assignments, TUploadFields fields) {
    return QStringLiteral("update notes set %1,%2 where id=?")
        .arg(QLatin1String(assignments), pendingWrite(fields));
}

// The place columns are written only while the note is not docked: a docked
// window's geometry is its strip, not the note's place.
void appendPlace(QString& sql, TSqlParams& p, const NoteRecord& n, const char* separatorAfter) {
    if (n.Dock.Docked)
        return;
    sql += QStringLiteral("form_x=?,form_y=?,form_w=?,form_h=?") + QLatin1String(separatorAfter);
    p << n.Note.FmX << n.Note.FmY << n.Note.FmW << n.Note.FmH;
}

// The look the window shows and every save of it writes: transparency, font
// colour, face, size and weight.
void appendLook(QString& sql, TSqlParams& p, const TNoteItem& i) {
    sql += QStringLiteral("form_trans=?,fontcolor=?,fontname=?,fontsize=?,fontbold=?");
    p << i.FmTrans << i.FontColor << i.FontName << i.FontSize << i.FontBold;
}

// What a save of the edited note writes besides its pending mark: text, place,
// look and paper colour.
void appendEdit(QString& sql, TSqlParams& p, const NoteRecord& n) {
    sql += QStringLiteral("mynote=?,");
    p << n.Note.NNote;
    appendPlace(sql, p, n, ",");
    appendLook(sql, p, n.Note);
    sql += QStringLiteral(",bgcolorindex=?");
    p << n.Note.BGColorIdx;
}

} // namespace

NoteRepository::NoteRepository(TDbConnection& db, QObject* parent) : QObject(parent), FDb(db) {}

NoteRepository::~NoteRepository() = default;

template <class Fn> bool NoteRepository::guarded(const QString& id, Fn&& fn) {
    try {
        fn();
        return true;
    } catch (const TSqlError& e) {
        emit failed(id, e.text());
        return false;
    }
}

template <class Fn> bool NoteRepository::quietly(Fn&& fn) {
    try {
        fn();
        return true;
    } catch (const TSqlError& e) {
        FLastReadError = e.text();
        return false;
    }
}

bool NoteRepository::writePending(const QString& id, TUploadFields fields, const char* assignments,
                                  const TSqlParams& params) {
    return write(id, fields, pendingUpdate(assignments, fields), params);
}

bool NoteRepository::write(const QString& id, TUploadFields fields, const QString& sql,
                           const TSqlParams& params) {
    if (!guarded(id, [&] { FDb.Exec(sql, params); }))
        return false;
    emit changed(id, fields);
    return true;
}

std::unique_ptr<TTransaction> NoteRepository::BeginBatch() {
    try {
        return std::make_unique<TTransaction>(FDb);
    } catch (const TSqlError&) {
        return nullptr;
    }
}

// ---- reading ----------------------------------------------------------------

std::optional<NoteRecord> NoteRepository::Find(const QString& id) {
    TRowSet r;
    if (!quietly([&] { r = FDb.Select(QStringLiteral("select * from notes where id=?"), {id}); }) ||
        r.rowCount() == 0)
        return std::nullopt;
    return NoteRecordFromRow(r, 0);
}

void NoteRepository::SetAccount(const QString& signedIn, const QString& desk) {
    FAccount = signedIn;
    FDesk = desk;
}

bool NoteRepository::JoinAccount(const QString& account) {
    if (account.isEmpty())
        return true;
    return guarded({}, [&] {
        FDb.Exec(QStringLiteral("update notes set account=? where coalesce(account,'')=''"), {account});
    });
}

std::optional<QList<NoteRecord>> NoteRepository::loadWhere(const QString& sql) {
    TRowSet r;
    // The desk shows its account's notes and those of none.
    if (!quietly(
            [&] { r = FDb.Select(sql + QStringLiteral(" and coalesce(account,'') in (?, '')"), {FDesk}); }))
        return std::nullopt;
    QList<NoteRecord> out;
    out.reserve(r.rowCount());
    for (int i = 0; i < r.rowCount(); ++i)
        out.append(NoteRecordFromRow(r, i));
    return out;
}

std::optional<QList<NoteRecord>> NoteRepository::LoadShown() {
    return loadWhere(QString::fromLatin1(NoteStore::kSelectShown));
}

std::optional<QList<NoteRecord>> NoteRepository::LoadHidden() {
    return loadWhere(QStringLiteral("select * from notes where shownote=0"));
}

std::optional<bool> NoteRepository::Exists(const QString& id) {
    TRowSet r;
    if (!quietly([&] { r = FDb.Select(QStringLiteral("select * from notes where id=?"), {id}); }))
        return std::nullopt;
    return r.rowCount() > 0;
}

bool NoteRepository::OnlyNoteIsBlank() {
    TRowSet r;
    if (!quietly([&] { r = FDb.Select(QStringLiteral("select mynote from notes")); }))
        return false;
    return r.rowCount() == 1 && r.asText(0, QStringLiteral("mynote")).trimmed().isEmpty();
}

// ---- the note window's writes ---------------------------------------------------

bool NoteRepository::SaveEdit(const NoteRecord& n) {
    QString sql = QStringLiteral("update notes set ");
    TSqlParams p;
    appendEdit(sql, p, n);
    sql += QLatin1Char(',') + pendingWrite({utNote}) + QStringLiteral("  where id=?");
    p << n.Note.NoteID;
    return write(n.Note.NoteID, {utNote}, sql, p);
}

bool NoteRepository::SaveAtSessionEnd(const NoteRecord& n, bool textChanged) {
    QString sql = QStringLiteral("update notes set ");
    TSqlParams p;
    appendEdit(sql, p, n);
    // An edit that was never saved must still go up: it is pending like any other.
    if (textChanged)
        sql += QLatin1Char(',') + pendingWrite({utNote});
    sql += QStringLiteral(" where id=?");
    p << n.Note.NoteID;
    return write(n.Note.NoteID, {}, sql, p);
}

bool NoteRepository::SaveLook(const NoteRecord& n) {
    QString sql = QStringLiteral("Update notes set  ");
    TSqlParams p;
    appendPlace(sql, p, n, ",");
    appendLook(sql, p, n.Note);
    sql += QStringLiteral(" where id=?");
    p << n.Note.NoteID;
    return write(n.Note.NoteID, {}, sql, p);
}

bool NoteRepository::SetTransparency(const QString& id, qint32 alpha) {
    return writePending(id, {utTransparency}, "form_trans=?", {alpha, id});
}

bool NoteRepository::SetFontColor(const QString& id, qint32 color) {
    return writePending(id, {utFontColor}, "fontcolor = ?", {color, id});
}

bool NoteRepository::SetFont(const QString& id, const QString& name, qint32 size, bool bold) {
    return writePending(id, {utFontName, utFontSize, utFontBold}, " fontname=?,fontsize=?,fontbold=?",
                        {name, size, bold ? 1 : 0, id});
}

bool NoteRepository::SetBgColorIndex(const QString& id, qint32 index) {
    return writePending(id, {utBgcolor}, "bgcolorindex = ?", {index, id});
}

bool NoteRepository::SetShowAsList(const QString& id, qint32 style) {
    return writePending(id, {utShowAsList}, "showaslist=?", {style, id});
}

bool NoteRepository::SetTopMost(const QString& id, bool topMost) {
    return writePending(id, {utIsTopMost}, "istopmost = ?", {topMost ? 1 : 0, id});
}

bool NoteRepository::SetAutoHeight(const QString& id, bool autoHeight) {
    return writePending(id, {utAutoHeight}, "autoheight = ?", {autoHeight ? 1 : 0, id});
}

bool NoteRepository::SetReminder(const QString& id, qint32 kind, const QString& v1, const QString& v2,
                                 const QString& v3) {
    return writePending(id, {utAlert}, "alerttype=?, alertvalue1=?, alertvalue2=?, alertvalue3=?",
                        {kind, v1, v2, v3, id});
}

bool NoteRepository::SetPlace(const QString& id, const QRect& g) {
    return write(id, {}, QStringLiteral("update notes set form_x=?,form_y=?,form_w=?,form_h=? where  id=?"),
                 {g.x(), g.y(), g.width(), g.height(), id});
}

// ---- docking ------------------------------------------------------------------

bool NoteRepository::Dock(const QString& id, qint32 edge, QPoint strip) {
    return write(id, {},
                 QStringLiteral("update notes set ishiddenmode=1, hiddenpos=?,hiddenposx=?, hiddenposy=? "
                                "where  id=?"),
                 {edge, strip.x(), strip.y(), id});
}

bool NoteRepository::MoveStrip(const QString& id, QPoint strip) {
    return write(id, {}, QStringLiteral("update notes set hiddenposx=?,hiddenposy=? where  id=?"),
                 {strip.x(), strip.y(), id});
}

std::optional<NoteRecord> NoteRepository::Undock(const QString& id, QPoint strip) {
    // The stored place is read before the row is undocked; the undocking does not
    // touch it.
    TRowSet r;
    const bool ok = guarded(id, [&] {
        r = FDb.Select(QStringLiteral("select * from notes  where  id=?"), {id});
        FDb.Exec(QStringLiteral("update notes set ishiddenmode=0, hiddenpos=0,hiddenposx=?, hiddenposy=? "
                                "where  id=?"),
                 {strip.x(), strip.y(), id});
    });
    if (!ok)
        return std::nullopt;
    emit changed(id, {});
    if (r.rowCount() == 0)
        return NoteRecord{};
    return NoteRecordFromRow(r, 0);
}

// ---- deletion and visibility ------------------------------------------------------

std::optional<NoteDeleteOutcome> NoteRepository::Delete(const QString& id) {
    NoteDeleteOutcome outcome = NoteDeleteOutcome::Removed;
    const bool ok = guarded(id, [&] {
        TTransaction t(FDb);
        const TRowSet r =
            FDb.Select(QStringLiteral("select count(id) as ncount from notes where id <> ?"), {id});
        // The table never becomes empty through the user: the last note is emptied.
        if (r.asInt(0, QStringLiteral("ncount")) > 0) {
            FDb.Exec(QStringLiteral("delete from notes where id=?"), {id});
        } else {
            FDb.Exec(QStringLiteral("update notes set mynote='' where id=?"), {id});
            outcome = NoteDeleteOutcome::Emptied;
        }
        t.Commit();
    });
    if (!ok)
        return std::nullopt;
    emit changed(id, {});
    return outcome;
}

bool NoteRepository::Hide(const QString& id) {
    return write(id, {}, QStringLiteral("update notes set shownote=0 where id=?"), {id});
}

bool NoteRepository::ShowAgain(const QString& id, std::optional<NoteRecord>& shown) {
    shown.reset();
    TRowSet r;
    const bool ok = guarded(id, [&] {
        TTransaction t(FDb);
        FDb.Exec(QStringLiteral("Update notes set shownote=1 where id=?"), {id});
        r = FDb.Select(QStringLiteral("select * from notes where id=?"), {id});
        // The note comes back undocked, and its row says so: a strip at the next
        // start would contradict what the user just saw.
        if (r.rowCount() > 0 && r.asInt(0, QStringLiteral("ishiddenmode")) == 1)
            FDb.Exec(
                QStringLiteral(
                    "update notes set ishiddenmode=0, hiddenpos=0,hiddenposx=?, hiddenposy=? where  id=?"),
                {r.asInt(0, QStringLiteral("hiddenposx")), r.asInt(0, QStringLiteral("hiddenposy")), id});
        t.Commit();
    });
    if (!ok)
        return false;
    if (r.rowCount() == 0)
        return true;
    emit changed(id, {});
    NoteRecord rec = NoteRecordFromRow(r, 0);
    rec.Note.ShowNote = 1;
    rec.Dock = NoteDock{false, 0, rec.Dock.StripX, rec.Dock.StripY};
    shown = std::move(rec);
    return true;
}

// ---- inserters ----------------------------------------------------------------

bool NoteRepository::InsertFromShell(const QString& id, QPoint place) {
    if (!guarded(id, [&] { NoteStore::InsertFromShell(FDb, id, place.x(), place.y(), FAccount); }))
        return false;
    emit changed(id, {});
    return true;
}

bool NoteRepository::InsertFromNote(const TNoteItem& look, QPoint place) {
    if (!guarded(look.NoteID, [&] { NoteStore::InsertFromNote(FDb, look, place.x(), place.y(), FAccount); }))
        return false;
    emit changed(look.NoteID, {});
    return true;
}

bool NoteRepository::InsertFromServer(const TNoteItem& item) {
    if (!guarded(item.NoteID, [&] { NoteStore::InsertFromServer(FDb, item, FAccount); }))
        return false;
    emit changed(item.NoteID, {});
    return true;
}

// ---- sync -----------------------------------------------------------------------

std::optional<NotePendingRows> NoteRepository::pending(const char* catalogueSql, const QString& id) {
    // The revision and the unsent fields ride along as two more columns and are
    // taken off again, so the rows keep the catalogue's columns.
    QString sql = QString::fromLatin1(catalogueSql);
    sql.insert(sql.indexOf(QLatin1String(" from notes")), QLatin1String(", rev, unsent"));
    TRowSet r;
    // Only the signed-in account's rows go up with its credentials, with those
    // of nobody (which join it), unless it is leaving.
    sql += FOwnRowsOnly ? QStringLiteral(" and coalesce(account,'')=?")
                        : QStringLiteral(" and coalesce(account,'') in (?, '')");
    if (!quietly([&] { r = id.isEmpty() ? FDb.Select(sql, {FAccount}) : FDb.Select(sql, {id, FAccount}); }))
        return std::nullopt;
    NotePendingRows out;
    const int revColumn = int(r.Columns.size()) - 2;
    out.Revs.reserve(r.rowCount());
    out.Unsent.reserve(r.rowCount());
    for (int i = 0; i < r.rowCount(); ++i) {
        out.Revs.append(r.asInt(i, QStringLiteral("rev")));
        out.Unsent.append(TUploadFields::fromBits(
            quint16(r.asInt(i, QStringLiteral("unsent")) & NoteStore::kUnsentAllFields)));
        r.Rows[i].resize(revColumn);
    }
    r.Columns.resize(revColumn);
    out.Rows = std::move(r);
    return out;
}

std::optional<NotePendingRows> NoteRepository::PendingAll() {
    return pending(NoteStore::kSelectPendingAll, {});
}

std::optional<NotePendingRows> NoteRepository::PendingOne(const QString& id) {
    return pending(NoteStore::kSelectPendingOne, id);
}

std::optional<NotePendingRows> NoteRepository::PendingForShutdown() {
    return pending(NoteStore::kSelectPendingForShutdown, {});
}

bool NoteRepository::MarkCommittedIfUnchanged(const QString& id, qint64 rev) {
    int rows = 0;
    if (!guarded(id, [&] {
            rows = FDb.Exec(QStringLiteral("update notes set commited=1,unsent=0 where id=? and rev=?"),
                            {id, rev});
        }))
        return false;
    if (rows == 0)
        return false;
    emit changed(id, {});
    return true;
}

void NoteRepository::MarkSent(const NotePendingRows& sent) {
    // A save made while the server was storing a row bumped its revision and
    // keeps it pending.
    const std::unique_ptr<TTransaction> batch = BeginBatch();
    for (int i = 0; i < sent.Rows.rowCount(); ++i)
        (void)MarkCommittedIfUnchanged(sent.id(i), sent.Revs.value(i));
    if (batch)
        batch->Commit();
}

bool NoteRepository::QueueServerDeletion(const QString& id) {
    return quietly([&] { SyncStore::QueueDelete(FDb, id, FDesk); });
}

bool NoteRepository::MarkAllCommitted() {
    return write({}, {}, QStringLiteral("update notes set commited=1 "), {});
}

bool NoteRepository::UpdateFromServer(const TNoteItem& i) {
    int rows = 0;
    if (!guarded(i.NoteID, [&] {
            rows = FDb.Exec(
                QStringLiteral("update notes set mynote=?,notetype=?,fontname=?,fontsize=?,fontbold=?,"
                               "fontcolor=?,form_trans=?,alerttype=?,alertvalue1=?,alertvalue2=?,"
                               "alertvalue3=?,showaslist=?,bgcolorindex=?,filemd5=? where id=?"),
                {i.NNote, i.NoteType, i.FontName, i.FontSize, i.FontBold, i.FontColor, i.FmTrans, i.AlertType,
                 i.AlertValue1, i.AlertValue2, i.AlertValue3, i.ShowAsList, i.BGColorIdx, i.VoiceMd5,
                 i.NoteID});
        }))
        return false;
    if (rows == 0)
        return false;
    emit changed(i.NoteID, {});
    return true;
}

bool NoteRepository::RemoveFromServer(const QString& id) {
    return write(id, {}, QStringLiteral("delete from notes where id=?"), {id});
}
