// The SQLite connection: the files it must refuse without touching them, and
// that it leaves what a file holds to the one who opens it.

#include "shared/uDbConnection.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QString newDb(const QString& name) {
    const QString path = testenv::freshDir(name) + QStringLiteral("/store.db");
    TDbConnection::Create(path, "create table t (x int); insert into t values (1);");
    return path;
}

} // namespace

TEST(DbConnection, RefusesFilesItCannotUseAndLeavesThemUntouched) {
    struct TCase {
        const char* Name;
        QByteArray Bytes;
    };
    const TCase cases[] = {
        {"text file", QByteArray("this is not a database\n")},
        {"random bytes", QByteArray(4096, '\x5a') + QByteArray("\x00\x01\xff", 3)},
        {"truncated header", QByteArray("SQLite format 3\0", 16) + QByteArray(50, '\0')},
    };
    for (const TCase& c : cases) {
        const QString path = testenv::freshDir(QStringLiteral("bad")) + QStringLiteral("/brisel.mdb");
        testenv::writeFile(path, c.Bytes);
        EXPECT_THROW((void)TDbConnection::Open(path), TSqlError) << c.Name;
        EXPECT_EQ(testenv::readFile(path), c.Bytes) << c.Name;
        EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal"))) << c.Name;
    }
    EXPECT_THROW((void)TDbConnection::Open(testenv::root() + QStringLiteral("/missing.mdb")), TSqlError);
}

TEST(DbConnection, ReadOnlyFileIsRefusedWithAReason) {
    const QString path = newDb(QStringLiteral("ro"));
    const QByteArray before = testenv::readFile(path);
    testenv::TReadOnly ro(path);
    ASSERT_TRUE(ro.ok());
    try {
        (void)TDbConnection::Open(path);
        FAIL() << "opened a read-only file for writing";
    } catch (const TSqlError& e) {
        EXPECT_FALSE(e.text().isEmpty());
    }
    EXPECT_EQ(testenv::readFile(path), before);
}

TEST(DbConnection, FileInAReadOnlyFolderIsRefused) {
    // The write-ahead journal lives beside the file; without it nothing could be saved.
    const QString path = newDb(QStringLiteral("rodir"));
    testenv::TReadOnly ro(QFileInfo(path).absolutePath());
    ASSERT_TRUE(ro.ok());
    EXPECT_THROW((void)TDbConnection::Open(path), TSqlError);
}

TEST(DbConnection, CreateRunsTheWholeSchemaAndRefusesAnExistingFile) {
    const QString path = newDb(QStringLiteral("create"));
    const QByteArray before = testenv::readFile(path);
    EXPECT_THROW(TDbConnection::Create(path, "create table u (y int)"), TSqlError);
    EXPECT_EQ(testenv::readFile(path), before);
    auto db = TDbConnection::Open(path);
    EXPECT_EQ(db->Select(QStringLiteral("select x from t")).asInt(0, QStringLiteral("x")), 1);
}

TEST(DbConnection, ZeroLengthFileOpensEmpty) {
    // Which tables a new file gets is its owner's business, not the connection's.
    const QString path = testenv::freshDir(QStringLiteral("empty")) + QStringLiteral("/store.db");
    testenv::writeFile(path, {});
    auto db = TDbConnection::Open(path);
    EXPECT_EQ(db->Select(QStringLiteral("select name from sqlite_master")).rowCount(), 0);
}

TEST(DbConnection, FailedStatementsNameThemselvesAndTransactionsRollBack) {
    auto db = TDbConnection::Open(newDb(QStringLiteral("errors")));
    try {
        db->Exec(QStringLiteral("insert into missing values (1)"));
        FAIL() << "a statement on a missing table succeeded";
    } catch (const TSqlError& e) {
        EXPECT_TRUE(e.text().startsWith(QStringLiteral("insert into missing values (1): "))) << e.what();
    }
    {
        TTransaction tr(*db);
        db->Exec(QStringLiteral("insert into t values (?)"), {2});
    }
    EXPECT_EQ(db->Select(QStringLiteral("select * from t")).rowCount(), 1);
}
