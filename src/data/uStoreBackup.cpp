#include "data/uStoreBackup.h"

#include "data/uNoteStore.h"
#include "lang/uLanguageObject.h"
#include "platform/uThreadHandOver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <sqlite3.h>

namespace {

constexpr int kLookIntervalMs = 60 * 60 * 1000;

const QRegularExpression& backupNamePattern() {
    static const QRegularExpression re(QStringLiteral(R"(^brisel-(\d{4})-(\d{2})-(\d{2})\.mdb$)"));
    return re;
}

struct TSqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TSqlitePtr = std::unique_ptr<sqlite3, TSqliteCloser>;

TSqlitePtr openRaw(const QString& path, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
    TSqlitePtr db(raw);
    if (rc != SQLITE_OK)
        throw TSqlError(raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory"));
    return db;
}

// Fills %s placeholders in order, so a translation keeps the same markers as the English text.
QString fill(QString text, const QStringList& values) {
    for (const QString& v : values) {
        const qsizetype at = text.indexOf(QLatin1String("%s"));
        if (at < 0)
            break;
        text.replace(at, 2, v);
    }
    return text;
}

} // namespace

namespace StoreBackup {

QString BackupFolder(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("backups"));
}

QString BackupFileName(const QDate& day) {
    return QStringLiteral("brisel-") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".mdb");
}

QStringList ListBackups(const QString& folder) {
    QStringList names;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        if (backupNamePattern().match(name).hasMatch())
            names.append(name);
    // ISO dates: the order of the names is the order of the days.
    std::sort(names.begin(), names.end(), std::greater<>());
    return names;
}

QString NewestBackup(const QString& folder) {
    const QStringList names = ListBackups(folder);
    return names.isEmpty() ? QString() : QDir(folder).filePath(names.first());
}

bool IsBackupDue(const QString& folder, const QDateTime& now) {
    const QString newest = NewestBackup(folder);
    if (newest.isEmpty())
        return true;
    return QFileInfo(newest).lastModified().secsTo(now) >= 24 * 60 * 60;
}

QString MakeBackup(const QString& storePath, const QString& folder, const QDate& day) {
    if (!QDir().mkpath(folder))
        throw TSqlError(QStringLiteral("cannot create the folder %1").arg(folder));
    const QString target = QDir(folder).filePath(BackupFileName(day));
    const QString temp = target + QStringLiteral(".tmp");
    QFile::remove(temp); // left over from a copy that was cut short
    {
        TSqlitePtr src = openRaw(storePath, SQLITE_OPEN_READONLY);
        sqlite3_busy_timeout(src.get(), 5000);
        TSqlitePtr dst = openRaw(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        sqlite3_backup* backup = sqlite3_backup_init(dst.get(), "main", src.get(), "main");
        if (!backup)
            throw TSqlError(QString::fromUtf8(sqlite3_errmsg(dst.get())));
        // One step copies the whole file under one read transaction: a consistent snapshot.
        const int rc = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) {
            const QString reason = QString::fromUtf8(sqlite3_errstr(rc));
            dst.reset();
            QFile::remove(temp);
            throw TSqlError(reason);
        }
        // The copy is a self-contained file: no journal beside it.
        sqlite3_exec(dst.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    }
    // rename(2) replaces a backup of the same day in one step.
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temp);
        throw TSqlError(QStringLiteral("cannot rename %1").arg(temp));
    }
    PruneBackups(folder);
    return target;
}

void PruneBackups(const QString& folder, int keep) {
    const QStringList names = ListBackups(folder);
    for (qsizetype i = keep; i < names.size(); ++i)
        QFile::remove(QDir(folder).filePath(names.at(i)));
}

QString DamagedStoreMessage(const TLanguageObject& language, const QString& storePath, const QString& reason,
                            const QString& newestBackup) {
    QString text = fill(language.StoreBackuperrDamagedStore(), {QDir::toNativeSeparators(storePath), reason});
    if (!newestBackup.isEmpty())
        text += QStringLiteral("\n\n") +
                fill(language.StoreBackuphintRestoreBackup(),
                     {QDir::toNativeSeparators(newestBackup), QDir::toNativeSeparators(storePath)});
    return text;
}

} // namespace StoreBackup

TStoreBackupScheduler::TStoreBackupScheduler(QString storePath, QString folder, QObject* parent)
    : QObject(parent), FStorePath(std::move(storePath)), FFolder(std::move(folder)) {}

TStoreBackupScheduler::~TStoreBackupScheduler() {
    if (FThread) {
        WaitForThread(FThread);
        delete FThread;
    }
}

void TStoreBackupScheduler::Start() {
    if (!FTimer) {
        auto* timer = new QTimer(this);
        timer->setInterval(kLookIntervalMs);
        connect(timer, &QTimer::timeout, this, &TStoreBackupScheduler::CheckNow);
        timer->start();
        FTimer = timer;
    }
    CheckNow();
}

void TStoreBackupScheduler::CheckNow() {
    if (FRunning || !StoreBackup::IsBackupDue(FFolder, QDateTime::currentDateTime()))
        return;
    FRunning = true;
    auto result = std::make_shared<std::pair<QString, QString>>();
    const QString store = FStorePath;
    const QString folder = FFolder;
    FThread = CreateThread([result, store, folder] {
        try {
            result->first = StoreBackup::MakeBackup(store, folder, QDate::currentDate());
        } catch (const TSqlError& e) {
            result->second = e.text();
        }
    });
    connect(FThread, &QThread::finished, this, [this, result] {
        ThreadEnded(FThread);
        FThread->deleteLater();
        FThread = nullptr;
        FRunning = false;
        emit BackupFinished(result->first, result->second);
    });
    FThread->start(QThread::LowPriority);
}

void TStoreBackupScheduler::Wait() {
    if (FThread)
        WaitForThread(FThread);
}
