// The note store: schema upgrade, inserters and statements from several threads.

#include "data/uNoteStore.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QThread>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

const QStringList kAddedIntColumns = {"istopmost",    "bgcolorindex", "showaslist", "notetype",  "autoheight",
                                      "ishiddenmode", "hiddenpos",    "hiddenposx", "hiddenposy"};

QString newDb(const QString& name) {
    const QString path = testenv::freshDir(name) + QStringLiteral("/brisel.mdb");
    NoteStore::CreateFromSchema(path);
    return path;
}

QStringList columnsOf(TDbConnection& db) {
    const TRowSet r = db.Select(QStringLiteral("select * from notes where 1=2"));
    return r.Columns;
}

void insertBaseRow(TDbConnection& db, const QString& id, const QVariant& text, const QVariant& committed) {
    db.Exec(QStringLiteral("insert into notes (id, mynote, shownote, commited) values (?, ?, 1, ?)"),
            {id, text, committed});
}

} // namespace

TEST(Store, BaseDatabaseWithRowsGainsAllTenColumnsAndRowsReadZeroAndNull) {
    const QString path = newDb(QStringLiteral("upgrade"));
    {
        auto db = TDbConnection::Open(path);
        insertBaseRow(*db, QStringLiteral("A"), QStringLiteral("one"), 1);
        insertBaseRow(*db, QStringLiteral("B"), QVariant(), QVariant());
        EXPECT_FALSE(columnsOf(*db).contains(QStringLiteral("istopmost")));
    }
    auto db = TDbConnection::Open(path);
    UpgradeSchema(*db);
    const TRowSet rows = db->Select(QStringLiteral("select * from notes order by id"));
    for (const QString& c : kAddedIntColumns) {
        ASSERT_GE(rows.columnIndex(c), 0) << c.toStdString();
        for (int r = 0; r < rows.rowCount(); ++r) {
            EXPECT_FALSE(rows.isNull(r, c)) << c.toStdString();
            EXPECT_EQ(rows.asInt(r, c), 0) << c.toStdString();
        }
    }
    ASSERT_GE(rows.columnIndex(QStringLiteral("filemd5")), 0);
    EXPECT_TRUE(rows.isNull(0, QStringLiteral("filemd5")));
    EXPECT_EQ(rows.asText(0, QStringLiteral("mynote")), QStringLiteral("one"));

    // Running it again changes nothing.
    UpgradeSchema(*db);
    EXPECT_EQ(columnsOf(*db).size(), 21 + 10);
}

TEST(Store, RowsWaitingInAnOlderStoreSendEverythingAndUnwrittenNotesStayHome) {
    const QString path = newDb(QStringLiteral("unsent"));
    {
        auto db = TDbConnection::Open(path);
        db->Exec(QStringLiteral("ALTER TABLE notes DROP COLUMN unsent"));
        insertBaseRow(*db, QStringLiteral("TEXT"), QStringLiteral("typed"), 0);
        insertBaseRow(*db, QStringLiteral("NULLFLAG"), QStringLiteral("typed"), QVariant());
        insertBaseRow(*db, QStringLiteral("BLANK"), QVariant(), QVariant());
        insertBaseRow(*db, QStringLiteral("DONE"), QStringLiteral("sent"), 1);
    }
    auto db = TDbConnection::Open(path);
    UpgradeSchema(*db);
    const auto unsent = [&](const char* id) {
        return db->Select(QStringLiteral("select unsent from notes where id=?"), {QString::fromLatin1(id)})
            .asInt(0, QStringLiteral("unsent"));
    };
    EXPECT_EQ(unsent("TEXT"), NoteStore::kUnsentAllFields);
    EXPECT_EQ(unsent("NULLFLAG"), NoteStore::kUnsentAllFields);
    EXPECT_EQ(unsent("BLANK"), NoteStore::kUnsentNewNote);
    EXPECT_EQ(unsent("DONE"), 0);
    const TRowSet pending = db->Select(QString::fromLatin1(NoteStore::kSelectPendingAll));
    EXPECT_EQ(pending.rowCount(), 2);
}

TEST(Store, UpgradeTrustsIshiddenmodeForAllFourDockingColumns) {
    const QString path = newDb(QStringLiteral("partial"));
    {
        auto db = TDbConnection::Open(path);
        db->Exec(QStringLiteral("ALTER TABLE notes add COLUMN ishiddenmode int default 0"));
    }
    auto db = TDbConnection::Open(path);
    UpgradeSchema(*db);
    const QStringList cols = columnsOf(*db);
    EXPECT_TRUE(cols.contains(QStringLiteral("autoheight")));
    EXPECT_FALSE(cols.contains(QStringLiteral("hiddenpos")));
    EXPECT_FALSE(cols.contains(QStringLiteral("hiddenposy")));
}

TEST(Store, UnrepairableTableFailsWithAnErrorAndStaysAsItWas) {
    // "notes" as a view: every probe fails and the first ALTER TABLE fails too.
    const QString path = testenv::freshDir(QStringLiteral("broken")) + QStringLiteral("/brisel.mdb");
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &raw), SQLITE_OK);
        sqlite3_exec(raw, "create table base (id text); create view notes as select id from base;", nullptr,
                     nullptr, nullptr);
        sqlite3_close(raw);
    }
    auto db = TDbConnection::Open(path);
    EXPECT_THROW(UpgradeSchema(*db), TSqlError);
    db.reset();
    auto again = TDbConnection::Open(path);
    EXPECT_EQ(again->Select(QStringLiteral("select name from sqlite_master where type='table'")).rowCount(),
              1);
}

TEST(Store, ZeroLengthFileBecomesAnEmptyStore) {
    const QString path = testenv::freshDir(QStringLiteral("empty")) + QStringLiteral("/brisel.mdb");
    testenv::writeFile(path, {});
    auto db = NoteStore::Open(path);
    UpgradeSchema(*db);
    EXPECT_EQ(db->Select(QStringLiteral("select * from notes")).rowCount(), 0);
}

TEST(Store, IdIsUniqueAndLookupsUseTheIndex) {
    auto db = TDbConnection::Open(newDb(QStringLiteral("unique")));
    insertBaseRow(*db, QStringLiteral("X"), QStringLiteral("a"), 0);
    EXPECT_THROW(insertBaseRow(*db, QStringLiteral("X"), QStringLiteral("b"), 0), TSqlError);
    const TRowSet plan =
        db->Select(QStringLiteral("explain query plan select * from notes where id=?"), {"X"});
    ASSERT_EQ(plan.rowCount(), 1);
    EXPECT_TRUE(plan.asText(0, QStringLiteral("detail")).contains(QStringLiteral("USING INDEX")))
        << plan.asText(0, QStringLiteral("detail")).toStdString();
}

TEST(Store, EachInserterWritesExactlyItsColumns) {
    auto db = TDbConnection::Open(newDb(QStringLiteral("insert")));
    UpgradeSchema(*db);
    NoteStore::InsertFromShell(*db, QStringLiteral("SHELL"), 1050, 10);
    TNoteItem look;
    look.NoteID = QStringLiteral("NOTE");
    look.NNote = QStringLiteral("12.10");
    look.FmW = 300;
    look.FmH = 180;
    look.FmTrans = 200;
    look.FontColor = 255;
    look.FontName = QStringLiteral("DejaVu Sans");
    look.FontSize = 12;
    look.FontBold = 1;
    look.IsTopMost = 1;
    look.AutoHeight = 1;
    look.ShowAsList = 3;
    look.BGColorIdx = 4;
    NoteStore::InsertFromNote(*db, look, 820, 130);
    TNoteItem srv = look;
    srv.NoteID = QStringLiteral("SERVER");
    srv.NoteType = 1;
    srv.ShowNote = 1;
    srv.AlertType = 3;
    srv.AlertValue1 = QStringLiteral("08:30");
    srv.VoiceMd5 = QStringLiteral("0123456789abcdef0123456789abcdef");
    srv.FmX = 5; // the download worker does not place notes
    NoteStore::InsertFromServer(*db, srv);

    const TRowSet r = db->Select(QStringLiteral("select * from notes order by id"));
    ASSERT_EQ(r.rowCount(), 3);
    const int note = 0, server = 1, shell = 2;
    // Shell: fixed look, text and committed flag left null.
    EXPECT_TRUE(r.isNull(shell, "mynote"));
    EXPECT_TRUE(r.isNull(shell, "commited"));
    EXPECT_TRUE(r.isNull(shell, "alertvalue1"));
    EXPECT_TRUE(r.isNull(shell, "filemd5"));
    EXPECT_EQ(r.asInt(shell, "form_x"), 1050);
    EXPECT_EQ(r.asInt(shell, "form_w"), 220);
    EXPECT_EQ(r.asInt(shell, "form_h"), 100);
    EXPECT_EQ(r.asInt(shell, "form_trans"), 160);
    EXPECT_EQ(r.asText(shell, "fontname"), QStringLiteral("Tahoma"));
    EXPECT_EQ(r.asInt(shell, "fontsize"), 9);
    // Stored as the new window shows it: no numbering appears after a restart.
    EXPECT_EQ(r.asInt(shell, "showaslist"), 0);
    EXPECT_EQ(r.asInt(shell, "shownote"), 1);
    EXPECT_FALSE(r.isNull(shell, "ctime"));
    // Note window: the creator's look, pending.
    EXPECT_EQ(r.asText(note, "mynote"), QStringLiteral("12.10"));
    EXPECT_EQ(r.asInt(note, "commited"), 0);
    EXPECT_FALSE(r.isNull(note, "commited"));
    EXPECT_EQ(r.asInt(note, "form_x"), 820);
    EXPECT_EQ(r.asInt(note, "form_w"), 300);
    EXPECT_EQ(r.asInt(note, "istopmost"), 1);
    EXPECT_EQ(r.asInt(note, "showaslist"), 3);
    EXPECT_EQ(r.asInt(note, "notetype"), 0); // column default
    // Download worker: the server's values, committed, no geometry.
    EXPECT_EQ(r.asInt(server, "commited"), 1);
    EXPECT_TRUE(r.isNull(server, "form_x"));
    EXPECT_TRUE(r.isNull(server, "form_w"));
    EXPECT_EQ(r.asInt(server, "istopmost"), 0);
    EXPECT_EQ(r.asInt(server, "notetype"), 1);
    EXPECT_EQ(r.asText(server, "filemd5"), srv.VoiceMd5);
    EXPECT_EQ(r.asText(server, "alertvalue1"), QStringLiteral("08:30"));
}

TEST(Store, HostileTextsTravelThroughBoundParametersUnchanged) {
    auto db = TDbConnection::Open(newDb(QStringLiteral("hostile")));
    UpgradeSchema(*db);
    QString big;
    for (int i = 0; i < 100000; ++i)
        big += QChar(u'a' + i % 26);
    const QStringList texts = {
        QStringLiteral("it's \"quoted\"'); drop table notes; --"),
        QStringLiteral("<b>&amp;</b> ]]> ]]]]>> end"),
        QStringLiteral("tab\tbell\x07 vt\x0b cr\r lf\n"),
        QStringLiteral("便签 和 emoji \U0001F600"),
        big,
    };
    for (int i = 0; i < texts.size(); ++i)
        insertBaseRow(*db, QStringLiteral("ID%1").arg(i), texts[i], 0);
    for (int i = 0; i < texts.size(); ++i) {
        const TRowSet r = db->Select(QStringLiteral("select mynote from notes where id=?"),
                                     {QStringLiteral("ID%1").arg(i)});
        ASSERT_EQ(r.rowCount(), 1);
        EXPECT_EQ(r.asText(0, "mynote"), texts[i]) << i;
    }
    EXPECT_EQ(db->Select(QString::fromLatin1(NoteStore::kSelectPendingForShutdown)).rowCount(), texts.size());
}

TEST(Store, PendingSelectionsFollowTheCommittedFlag) {
    auto db = TDbConnection::Open(newDb(QStringLiteral("pending")));
    UpgradeSchema(*db);
    insertBaseRow(*db, QStringLiteral("P0"), QStringLiteral("zero"), 0);
    insertBaseRow(*db, QStringLiteral("PN"), QStringLiteral("null"), QVariant());
    insertBaseRow(*db, QStringLiteral("C1"), QStringLiteral("done"), 1);
    insertBaseRow(*db, QStringLiteral("E0"), QStringLiteral(""), 0);
    insertBaseRow(*db, QStringLiteral("EN"), QVariant(), 0);

    const TRowSet shutdown = db->Select(QString::fromLatin1(NoteStore::kSelectPendingForShutdown));
    EXPECT_EQ(shutdown.rowCount(), 2);
    EXPECT_EQ(shutdown.Columns.first(), QStringLiteral("id"));
    EXPECT_EQ(shutdown.Columns.last(), QStringLiteral("filemd5"));
    EXPECT_EQ(shutdown.Columns.size(), 20);
    const TRowSet all = db->Select(QString::fromLatin1(NoteStore::kSelectPendingAll));
    EXPECT_EQ(all.Columns.last(), QStringLiteral("notetype"));
    EXPECT_EQ(db->Select(QString::fromLatin1(NoteStore::kSelectPendingOne), {"PN"}).rowCount(), 1);
    EXPECT_EQ(db->Select(QString::fromLatin1(NoteStore::kSelectPendingOne), {"C1"}).rowCount(), 0);

    NoteStore::MarkCommitted(*db, {QStringLiteral("P0")});
    EXPECT_EQ(db->Select(QString::fromLatin1(NoteStore::kSelectPendingForShutdown)).rowCount(), 1);
    const TRowSet empty = db->Select(QStringLiteral("select commited from notes where id='E0'"));
    EXPECT_EQ(empty.asInt(0, "commited"), 0);
}

TEST(Store, ConnectionsOnSeveralThreadsWriteConcurrently) {
    const QString path = newDb(QStringLiteral("threads"));
    {
        auto db = TDbConnection::Open(path);
        UpgradeSchema(*db);
    }
    constexpr int kThreads = 4;
    constexpr int kRows = 50;
    std::atomic<int> failures{0};
    QList<QThread*> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.append(QThread::create([&, t] {
            try {
                auto db = TDbConnection::Open(path);
                for (int i = 0; i < kRows; ++i) {
                    // Read, then write: the pattern that deadlocks with a deferred BEGIN.
                    TTransaction tr(*db);
                    const TRowSet n = db->Select(QStringLiteral("select count(*) as n from notes"));
                    NoteStore::InsertFromShell(
                        *db, QStringLiteral("T%1-%2-%3").arg(t).arg(i).arg(n.asInt(0, "n")), i, t);
                    tr.Commit();
                }
            } catch (const std::exception& e) {
                ++failures;
                ADD_FAILURE() << e.what();
            }
        }));
        threads.last()->start();
    }
    for (QThread* t : threads) {
        t->wait();
        delete t;
    }
    EXPECT_EQ(failures.load(), 0);
    auto db = TDbConnection::Open(path);
    EXPECT_EQ(db->Select(QStringLiteral("select * from notes")).rowCount(), kThreads * kRows);
}
