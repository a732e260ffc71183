// The real program killed outright while it downloads many notes and while it
// uploads its pending ones at exit: the store stays sound, and every row that
// was waiting for upload is still waiting or is on the server.

#include "ServerTestSupport.h"
#include "data/uNoteStore.h"
#include "server/store/uServerStore.h"
#include "support/TestEnv.h"
#include "sync/uSyncEngine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

using namespace servertest;

namespace {

constexpr int kManyServerNotes = 3000;
// Few enough windows that the exit reaches its upload quickly.
constexpr int kFewServerNotes = 20;
constexpr int kPendingRows = 300;

// A note id (the server takes no other) whose first group stands for the prefix.
QString noteId(const char* prefix, int i) {
    const QByteArray tag =
        QCryptographicHash::hash(prefix, QCryptographicHash::Md5).toHex().left(8).toUpper();
    return QStringLiteral("%1-0000-0000-0000-%2").arg(QLatin1String(tag)).arg(i, 12, 10, QLatin1Char('0'));
}

// A store file with the upgraded schema and n rows of text "prefix i ...".
void makeStore(const QString& path, const char* prefix, int n, bool hidden) {
    NoteStore::CreateFromSchema(path);
    auto db = TDbConnection::Open(path);
    UpgradeSchema(*db);
    TTransaction tr(*db);
    for (int i = 0; i < n; ++i) {
        const QString id = noteId(prefix, i);
        NoteStore::InsertFromShell(*db, id, 10, 10);
        db->Exec(QStringLiteral("update notes set mynote=?, commited=0, shownote=? where id=?"),
                 {id + QStringLiteral(" text ") + QString(150, QLatin1Char('z')), hidden ? 0 : 1, id});
    }
    tr.Commit();
}

class SyncKill : public ::testing::Test {
protected:
    TTestDatabase FDb{"sqlite"};
    TTestServer FServer{FDb.location()};
    std::int64_t FUser = FServer.addUser("kill@example.com", "kill-pass");
    QString FHome = testenv::freshDir(QStringLiteral("killhome"));
    [[nodiscard]] QString dataFolder() const { return FHome + QStringLiteral("/.local/share/Zuvo/Note/"); }

    int FServerNotes = 0;

    // The account already holds notes, put there by another computer.
    void seedServer(int n) {
        FServerNotes = n;
        const QString other = testenv::freshDir(QStringLiteral("other")) + QStringLiteral("/brisel.mdb");
        makeStore(other, "SRV", n, false);
        auto db = SyncEngine::OpenStore(other);
        TSyncContext ctx = context();
        ASSERT_EQ(SyncEngine::RunUpload(*db, ctx, QString(), {}), n);
    }

    // SIGKILL, unless the program has already ended by itself (a pid of 0 would hit our own group).
    static void killNow(QProcess& p) {
        if (p.state() == QProcess::NotRunning || p.processId() <= 0)
            return;
        ::kill(pid_t(p.processId()), SIGKILL);
        ASSERT_TRUE(p.waitForFinished(10000));
    }

    [[nodiscard]] TSyncContext context() const {
        TSyncContext ctx;
        const QString root = QString::fromStdString(FServer.root());
        ctx.Endpoint.ApiBase = root + QStringLiteral("api/v11/");
        ctx.Endpoint.SiteRoot = root;
        const TServiceCredentials c{QString::number(FUser), QString::fromStdString(Md5("kill-pass")),
                                    QStringLiteral("OTHER-PC"), QStringLiteral("kill")};
        ctx.Credentials = [c] { return c; };
        return ctx;
    }

    // This computer: signed in, with rows typed offline and never sent.
    void prepareComputer() {
        QDir(dataFolder()).removeRecursively();
        QDir().mkpath(dataFolder());
        QDir().mkpath(FHome + QStringLiteral("/run"));
        QFile::setPermissions(FHome + QStringLiteral("/run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        testenv::writeFile(dataFolder() + QStringLiteral("config.ini"),
                           "[config]\nUserID=" + QByteArray::number(qlonglong(FUser)) +
                               "\nUserPass=" + QByteArray::fromStdString(Md5("kill-pass")) +
                               "\nUserName=kill\nPcID=THIS-PC\n");
        makeStore(dataFolder() + QStringLiteral("brisel.mdb"), "MINE", kPendingRows, true);
    }

    void start(QProcess& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), FHome);
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FHome + QStringLiteral("/run"));
        env.insert(QStringLiteral("ZUVONOTE_SERVER"), QString::fromStdString(FServer.root()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setProgram(testenv::binDir() + QStringLiteral("/zuvonote"));
        p.start();
        ASSERT_TRUE(p.waitForStarted(10000));
    }

    // integrity_check passes; every row that was pending is pending with its
    // text, or committed with the server holding that text.
    void checkStore(const char* when) {
        auto db = TDbConnection::Open(dataFolder() + QStringLiteral("brisel.mdb"));
        const TRowSet ic = db->Select(QStringLiteral("PRAGMA integrity_check"));
        ASSERT_EQ(ic.rowCount(), 1) << when;
        EXPECT_EQ(ic.asText(0, ic.Columns.value(0)), QStringLiteral("ok")) << when;
        int pending = 0;
        for (int i = 0; i < kPendingRows; ++i) {
            const QString id = noteId("MINE", i);
            const TRowSet r =
                db->Select(QStringLiteral("select mynote, commited from notes where id=?"), {id});
            ASSERT_EQ(r.rowCount(), 1) << when << " " << id.toStdString();
            const QString text = r.asText(0, QStringLiteral("mynote"));
            EXPECT_TRUE(text.startsWith(id)) << when;
            if (r.asInt(0, QStringLiteral("commited")) != 1) {
                ++pending;
                continue;
            }
            const auto onServer = FServer.app().Store().Note(FUser, id.toStdString());
            ASSERT_TRUE(onServer.has_value()) << when << " " << id.toStdString();
            EXPECT_EQ(QString::fromStdString(onServer->Values[zsrv::ncText]), text) << when;
        }
        const TRowSet all = db->Select(QStringLiteral("select count(*) from notes"));
        std::printf("%s: %d of %d rows still pending, %d rows in the store\n", when, pending, kPendingRows,
                    all.Rows.value(0).value(0).toInt());
    }
};

TEST_F(SyncKill, KilledWhileDownloadingManyNotes) {
    seedServer(kManyServerNotes);
    for (const int afterMs : {60, 120, 180, 240, 300, 900}) {
        prepareComputer();
        QProcess p;
        start(p);
        QTest::qWait(afterMs);
        killNow(p);
        checkStore(("download, killed after " + std::to_string(afterMs) + " ms").c_str());
    }
}

TEST_F(SyncKill, KilledWhileUploadingAtExit) {
    seedServer(kFewServerNotes);
    for (const int afterMs : {5, 40, 110, 150, 200, 250, 300, 400}) {
        prepareComputer();
        QProcess p;
        start(p);
        // Started once the download it begins with has brought the server's notes.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                try {
                    auto db = TDbConnection::Open(dataFolder() + QStringLiteral("brisel.mdb"));
                    return db->Select(QStringLiteral("select count(*) from notes"))
                               .Rows.value(0)
                               .value(0)
                               .toInt() >= kPendingRows + FServerNotes;
                } catch (const TSqlError&) {
                    return false;
                }
            },
            30000));
        ::kill(pid_t(p.processId()), SIGTERM); // the exit's upload of pending rows begins
        QTest::qWait(afterMs);
        killNow(p);
        checkStore(("exit upload, killed after " + std::to_string(afterMs) + " ms").c_str());
    }
}

} // namespace
