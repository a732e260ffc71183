#pragma once
// Daily copies of the note store in <data folder>/backups/, named by day
// (brisel-YYYY-MM-DD.mdb), the newest seven kept. A copy is made with SQLite's
// online backup API from a connection of its own, so it is a consistent
// snapshot even while the program writes, and it is written under a temporary
// name and renamed: a half-written copy never takes the place of a good one.

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

class TLanguageObject;

namespace StoreBackup {

inline constexpr int kKeepBackups = 7;

[[nodiscard]] QString BackupFolder(const QString& dataFolder);
[[nodiscard]] QString BackupFileName(const QDate& day);
// The backups in the folder, newest first (by the day in the name).
[[nodiscard]] QStringList ListBackups(const QString& folder);
// Full path of the newest backup; empty when there is none.
[[nodiscard]] QString NewestBackup(const QString& folder);
// True when there is no backup yet or the newest one was written a day or more ago.
[[nodiscard]] bool IsBackupDue(const QString& folder, const QDateTime& now);

// Copies the store into the folder as the backup of that day (replacing one of
// the same day) and then removes all but the newest kKeepBackups. Returns the
// path written. Throws TSqlError when the copy fails; nothing is replaced then.
QString MakeBackup(const QString& storePath, const QString& folder, const QDate& day);
void PruneBackups(const QString& folder, int keep = kKeepBackups);

// What the user is told when the store cannot be opened at start-up: the reason
// and, when a backup exists, which one and how to put it back.
[[nodiscard]] QString DamagedStoreMessage(const TLanguageObject& language, const QString& storePath,
                                          const QString& reason, const QString& newestBackup);

} // namespace StoreBackup

// Makes the daily backup on a thread of its own whenever it is due: at once
// when started, then on an hourly look. The user-interface thread never waits
// for it; a copy that fails is tried again at the next look.
class TStoreBackupScheduler : public QObject {
    Q_OBJECT
public:
    TStoreBackupScheduler(QString storePath, QString folder, QObject* parent = nullptr);
    ~TStoreBackupScheduler() override;

    void Start();
    // Starts a backup now when one is due and none is running.
    void CheckNow();
    [[nodiscard]] bool IsRunning() const { return FRunning; }
    // Waits for a running copy (at exit, so the thread never outlives the program).
    void Wait();

signals:
    // path is empty and error says why when the copy failed.
    void BackupFinished(const QString& path, const QString& error);

private:
    QString FStorePath;
    QString FFolder;
    QObject* FTimer = nullptr;
    class QThread* FThread = nullptr;
    bool FRunning = false;
};
