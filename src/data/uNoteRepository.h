#pragma once
// The one path to table "notes" for the code that runs on one connection: the
// windows on the user-interface thread's connection, a sync worker on its own.
// Every write reports itself once through changed(); a write that fails reports
// failed() and returns false, and a read that fails returns nothing, so no store
// error travels as an exception.

#include "data/uNoteRecord.h"
#include "data/uNoteStore.h"

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <memory>
#include <optional>

// Rows of one of the catalogue's pending selects, with the revision and the
// unsent fields each row had when it was read. Rows carries exactly the catalogue's columns, in its order (it
// is the exchange document's element order); the revision never travels.
struct NotePendingRows {
    TRowSet Rows;
    QList<qint64> Revs;
    // The fields each row changed here and the server has not confirmed; empty
    // for a row whose changes are not known (it goes up whole).
    QList<TUploadFields> Unsent;
    [[nodiscard]] QString id(int row) const { return Rows.asText(row, QStringLiteral("id")); }
};

enum class NoteDeleteOutcome { Removed, Emptied };

class NoteRepository : public QObject {
    Q_OBJECT
public:
    explicit NoteRepository(TDbConnection& db, QObject* parent = nullptr);
    ~NoteRepository() override;

    [[nodiscard]] TDbConnection& connection() const { return FDb; }
    // Why the last read that returned nothing failed.
    [[nodiscard]] const QString& LastReadError() const { return FLastReadError; }

    // Whose notes this is about: signedIn is the account signed in now (new
    // rows belong to it, and only its rows go up); desk is the account whose
    // notes are shown (the signed-in one, or the last one while nobody is).
    // Rows of no account are shown with any.
    void SetAccount(const QString& signedIn, const QString& desk);
    [[nodiscard]] const QString& Account() const { return FAccount; }
    [[nodiscard]] const QString& DeskAccount() const { return FDesk; }
    // Rows made while nobody was signed in join this account.
    bool JoinAccount(const QString& account);
    // Only the signed-in account's own rows go up, not those of nobody (the
    // last upload of an account that is signing out).
    void SetOwnRowsOnly(bool own) { FOwnRowsOnly = own; }

    // A write transaction around several operations (one disk flush for all);
    // null when the store is busy, and then each operation commits on its own.
    [[nodiscard]] std::unique_ptr<TTransaction> BeginBatch();

    // ---- reading ----
    [[nodiscard]] std::optional<NoteRecord> Find(const QString& id);
    // The rows shown on this computer, in the order the store returns them.
    [[nodiscard]] std::optional<QList<NoteRecord>> LoadShown();
    // The rows hidden on this computer.
    [[nodiscard]] std::optional<QList<NoteRecord>> LoadHidden();
    // Whether the row exists; nullopt when the store could not say.
    [[nodiscard]] std::optional<bool> Exists(const QString& id);
    // True when the table holds exactly one row and its text is blank: that note
    // cannot be deleted.
    [[nodiscard]] bool OnlyNoteIsBlank();

    // ---- the note window's writes ----
    // Text and look after editing; the place too unless the note is docked.
    // Marks the row pending.
    bool SaveEdit(const NoteRecord& note);
    // The same columns when the session ends; pending only when the text is new.
    bool SaveAtSessionEnd(const NoteRecord& note, bool textChanged);
    // Look and place when the program ends; leaves the pending state alone.
    bool SaveLook(const NoteRecord& note);
    bool SetTransparency(const QString& id, qint32 alpha);
    bool SetFontColor(const QString& id, qint32 color);
    bool SetFont(const QString& id, const QString& name, qint32 size, bool bold);
    bool SetBgColorIndex(const QString& id, qint32 index);
    bool SetShowAsList(const QString& id, qint32 style);
    bool SetTopMost(const QString& id, bool topMost);
    bool SetAutoHeight(const QString& id, bool autoHeight);
    bool SetReminder(const QString& id, qint32 kind, const QString& v1, const QString& v2, const QString& v3);
    // Place and size of an undocked note after a drag.
    bool SetPlace(const QString& id, const QRect& geometry);

    // ---- docking ----
    bool Dock(const QString& id, qint32 edge, QPoint strip);
    bool MoveStrip(const QString& id, QPoint strip);
    // Undocks the row and returns it as it was read just before (its form_* place
    // is where the note goes back to); nullopt on failure, the row then unchanged.
    [[nodiscard]] std::optional<NoteRecord> Undock(const QString& id, QPoint strip);

    // ---- deletion and visibility on this computer ----
    // Removes the row, or empties its text when it is the last one.
    [[nodiscard]] std::optional<NoteDeleteOutcome> Delete(const QString& id);
    bool Hide(const QString& id);
    // Shows a hidden row again, undocked, and gives it in shown (left empty when
    // the row is gone meanwhile). False when the store failed.
    bool ShowAgain(const QString& id, std::optional<NoteRecord>& shown);

    // ---- inserters ----
    // A note from the tray: default look, the free place found for it.
    bool InsertFromShell(const QString& id, QPoint place);
    // A note created from another: takes that note's look; its text is the date
    // text when one is inserted, else empty.
    bool InsertFromNote(const TNoteItem& look, QPoint place);
    // A note the server has and the store has not.
    bool InsertFromServer(const TNoteItem& item);

    // ---- sync ----
    [[nodiscard]] std::optional<NotePendingRows> PendingAll();
    [[nodiscard]] std::optional<NotePendingRows> PendingOne(const QString& id);
    // The shutdown upload's selection (no notetype column).
    [[nodiscard]] std::optional<NotePendingRows> PendingForShutdown();
    // Marks the row committed only if it still holds revision rev; false when a
    // later local write changed it (it stays pending) or the store failed.
    bool MarkCommittedIfUnchanged(const QString& id, qint64 rev);
    // The server stored these rows: each that still holds the revision it was read
    // with is marked committed, all in one transaction when the store allows.
    void MarkSent(const NotePendingRows& sent);
    // After the shutdown upload: every row of the table.
    bool MarkAllCommitted();
    // Applies a server item to an existing row; false when the row does not exist
    // (or the store failed).
    bool UpdateFromServer(const TNoteItem& item);
    // A note the server no longer shows.
    bool RemoveFromServer(const QString& id);
    // Records a deletion for the server before anything is sent, so it survives
    // a failed request or an exit; the delete worker clears it once confirmed.
    // It is sent only with the credentials of the desk's account.
    // False (quietly) when the store could not record it.
    bool QueueServerDeletion(const QString& id);

signals:
    // Once per successful write. fields names what the server keeps and the write
    // changed; empty for writes of local state only (place, docking, visibility,
    // the saves at the end of a session or program, downloads).
    void changed(const QString& id, TUploadFields fields);
    void failed(const QString& id, const QString& message);

private:
    // Runs fn; on a store error reports failed() and returns false.
    template <class Fn> bool guarded(const QString& id, Fn&& fn);
    template <class Fn> bool quietly(Fn&& fn);
    bool write(const QString& id, TUploadFields fields, const QString& sql, const TSqlParams& params);
    // An update of the named columns that marks the row pending with these fields.
    bool writePending(const QString& id, TUploadFields fields, const char* assignments,
                      const TSqlParams& params);
    std::optional<QList<NoteRecord>> loadWhere(const QString& sql);
    std::optional<NotePendingRows> pending(const char* sql, const QString& id);

    TDbConnection& FDb;
    QString FLastReadError;
    QString FAccount;
    QString FDesk;
    bool FOwnRowsOnly = false;
};
