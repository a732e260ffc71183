// Daily copies of the note store: made with the online backup API under a
// temporary name, rotated to the newest seven, and named to the user when the
// store itself cannot be opened.

#include "app/uFmMain.h"
#include "data/uNoteStore.h"
#include "data/uStoreBackup.h"
#include "lang/uLanguageObject.h"
#include "shared/uIniFile.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

// A store with n notes whose texts say which they are.
QString makeStore(const QString& dir, int n) {
    const QString path = dir + QStringLiteral("/brisel.mdb");
    NoteStore::CreateFromSchema(path);
    auto db = TDbConnection::Open(path);
    UpgradeSchema(*db);
    for (int i = 0; i < n; ++i)
        NoteStore::InsertFromShell(*db, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), i, i);
    return path;
}

int noteCount(const QString& path) {
    auto db = TDbConnection::Open(path);
    return db->Select(QStringLiteral("select count(*) as n from notes")).asInt(0, QStringLiteral("n"));
}

TLanguageObject englishDefaults() {
    TLanguageObject lang;
    const TIniFile none;
    lang.LoadSettings(&none);
    return lang;
}

} // namespace

TEST(StoreBackup, CopiesAreWholeAndOnlyTheNewestSevenStay) {
    const QString dir = testenv::freshDir(QStringLiteral("backup-rotate"));
    const QString store = makeStore(dir, 25);
    const QString folder = StoreBackup::BackupFolder(dir);
    // The store is open for writing while it is copied, as in the running program.
    auto writer = TDbConnection::Open(store);

    const QDate first(2026, 3, 27);
    for (int d = 0; d < 9; ++d) {
        const QString written = StoreBackup::MakeBackup(store, folder, first.addDays(d));
        EXPECT_EQ(QFileInfo(written).fileName(), StoreBackup::BackupFileName(first.addDays(d)));
    }
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    QStringList expected;
    for (int d = 8; d >= 2; --d)
        expected.prepend(StoreBackup::BackupFileName(first.addDays(d)));
    // No temporary file and no journal is left beside the copies.
    EXPECT_EQ(names, expected);
    EXPECT_EQ(StoreBackup::NewestBackup(folder),
              QDir(folder).filePath(QStringLiteral("brisel-2026-04-04.mdb")));
    EXPECT_EQ(noteCount(StoreBackup::NewestBackup(folder)), 25);

    // A second copy on the same day replaces that day's copy with the store as it is now.
    NoteStore::InsertFromShell(*writer, QStringLiteral("LATER"), 0, 0);
    StoreBackup::MakeBackup(store, folder, first.addDays(8));
    EXPECT_EQ(noteCount(StoreBackup::NewestBackup(folder)), 26);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 7);
}

TEST(StoreBackup, AFailedCopyLeavesTheGoodOneAndOtherFilesAlone) {
    const QString dir = testenv::freshDir(QStringLiteral("backup-fail"));
    const QString store = makeStore(dir, 3);
    const QString folder = StoreBackup::BackupFolder(dir);
    const QDate day(2026, 5, 1);
    const QString good = StoreBackup::MakeBackup(store, folder, day);
    const QByteArray before = testenv::readFile(good);
    testenv::writeFile(folder + QStringLiteral("/my notes.txt"), "mine");

    testenv::writeFile(dir + QStringLiteral("/junk.mdb"), QByteArray(4096, 'x'));
    for (const QString& source : {dir + QStringLiteral("/missing.mdb"), dir + QStringLiteral("/junk.mdb")}) {
        SCOPED_TRACE(source.toStdString());
        EXPECT_THROW(StoreBackup::MakeBackup(source, folder, day), TSqlError);
        EXPECT_EQ(testenv::readFile(good), before);
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              QStringList({StoreBackup::BackupFileName(day), QStringLiteral("my notes.txt")}));
}

TEST(StoreBackup, DueWhenNoneOrTheNewestIsADayOld) {
    const QString dir = testenv::freshDir(QStringLiteral("backup-due"));
    const QString store = makeStore(dir, 1);
    const QString folder = StoreBackup::BackupFolder(dir);
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_TRUE(StoreBackup::IsBackupDue(folder, now));

    const QString path = StoreBackup::MakeBackup(store, folder, now.date());
    EXPECT_FALSE(StoreBackup::IsBackupDue(folder, now));
    EXPECT_FALSE(StoreBackup::IsBackupDue(folder, now.addSecs(23 * 3600)));
    EXPECT_TRUE(StoreBackup::IsBackupDue(folder, now.addSecs(24 * 3600 + 60)));

    // The scheduler copies off this thread and only when a copy is due.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(now.addDays(-2), QFileDevice::FileModificationTime));
    f.close();
    TStoreBackupScheduler scheduler(store, folder);
    QSignalSpy finished(&scheduler, &TStoreBackupScheduler::BackupFinished);
    scheduler.Start();
    EXPECT_TRUE(scheduler.IsRunning());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.at(0).at(0).toString(), path);
    EXPECT_EQ(finished.at(0).at(1).toString(), QString());
    scheduler.CheckNow();
    EXPECT_FALSE(scheduler.IsRunning());
}

TEST(StoreBackup, TheDamagedStoreMessageNamesTheNewestBackupAndHowToPutItBack) {
    const TLanguageObject lang = englishDefaults();
    const QString withBackup = StoreBackup::DamagedStoreMessage(
        lang, QStringLiteral("/d/brisel.mdb"), QStringLiteral("file is not a database"),
        QStringLiteral("/d/backups/brisel-2026-01-02.mdb"));
    EXPECT_EQ(
        withBackup.toStdString(),
        "Zuvo Note cannot use its note database /d/brisel.mdb (file is not a database). The file has "
        "been left as it is.\n\nThe newest backup of your notes is /d/backups/brisel-2026-01-02.mdb. To "
        "put it back, end Zuvo Note, copy that file over /d/brisel.mdb and start Zuvo Note again.");
    const QString without = StoreBackup::DamagedStoreMessage(lang, QStringLiteral("/d/brisel.mdb"),
                                                             QStringLiteral("disk I/O error"), QString());
    EXPECT_FALSE(without.contains(QStringLiteral("backup")));
}

TEST(StoreBackup, StartUpWithADamagedStoreNamesTheBackupAndRestoresNothing) {
    const testenv::TProgramSetup s = testenv::MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"), "[config]\nLanguage=English\n");
    // Yesterday's good copy, then the store goes bad.
    const QString store = makeStore(s.DataFolder(), 2);
    const QString backup =
        StoreBackup::MakeBackup(store, StoreBackup::BackupFolder(s.DataFolder()), QDate(2026, 6, 1));
    const QByteArray junk(8192, '\x5a');
    testenv::writeFile(store, junk);

    TFmMain main(s.Env());
    QString error;
    EXPECT_FALSE(main.Startup(&error));
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(backup))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("copy that file over"))) << error.toStdString();
    EXPECT_EQ(testenv::readFile(store), junk);
    EXPECT_EQ(noteCount(backup), 2);
}
