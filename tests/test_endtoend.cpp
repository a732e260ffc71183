// Two real programs on one account, the real server between them, on a
// virtual X servers: a note written on the first arrives by push in the
// second's store and on its desktop, and a note deleted on the first counts
// down and goes on the second. The notes are edited the way a user does it,
// with the pointer and the keyboard.

#include "data/uNoteStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRect>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A process the test started; it is ended however the test ends.
class TChild {
public:
    TChild() = default;
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild() { Stop(); }

    void Start(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        FProc.setProcessEnvironment(env);
        FProc.setProgram(program);
        FProc.setArguments(args);
        FProc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProc.start();
        ASSERT_TRUE(FProc.waitForStarted(10000)) << program.toStdString();
    }
    void Stop(int graceMs = 15000) {
        if (FProc.state() == QProcess::NotRunning)
            return;
        FProc.terminate();
        if (!FProc.waitForFinished(graceMs)) {
            FProc.kill();
            FProc.waitForFinished(5000);
        }
    }
    [[nodiscard]] qint64 Pid() const { return FProc.processId(); }
    [[nodiscard]] bool Running() const { return FProc.state() == QProcess::Running; }

private:
    QProcess FProc;
};

quint16 freePort() {
    QTcpServer s;
    EXPECT_TRUE(s.listen(QHostAddress::LocalHost, 0));
    return s.serverPort();
}

// Runs a short command to its end and returns its standard output.
QByteArray run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {},
               const QByteArray& input = {}) {
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return {};
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

class TVirtualDisplay {
public:
    TVirtualDisplay() {
        for (int attempt = 0; attempt < 20 && FName.isEmpty(); ++attempt) {
            const int n = 200 + QRandomGenerator::global()->bounded(300);
            if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
                QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                continue;
            FXvfb = std::make_unique<TChild>();
            FXvfb->Start(QStringLiteral("Xvfb"),
                         {QStringLiteral(":%1").arg(n), QStringLiteral("-screen"), QStringLiteral("0"),
                          QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")},
                         QProcessEnvironment::systemEnvironment());
            if (QTest::qWaitFor(
                    [&] { return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 5000) &&
                FXvfb->Running())
                FName = QStringLiteral(":%1").arg(n);
            else
                FXvfb.reset();
        }
    }
    [[nodiscard]] const QString& Name() const { return FName; }

    [[nodiscard]] QProcessEnvironment Env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), FName);
        return env;
    }
    QByteArray Xdotool(const QStringList& args) const { return run(QStringLiteral("xdotool"), args, Env()); }

    // The shown note windows of one process: every window it shows here (notes are
    // titled by their first lines; the program shows nothing else in these runs).
    [[nodiscard]] QStringList NoteWindows(qint64 pid) const {
        const QByteArray out = Xdotool(
            {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
             QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"), QStringLiteral(".*")});
        return QString::fromLatin1(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    [[nodiscard]] QRect Geometry(const QString& window) const {
        QRect r;
        const QByteArray out =
            Xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
        for (const QByteArray& line : out.split('\n')) {
            const int eq = line.indexOf('=');
            const QByteArray key = line.left(eq);
            const int v = line.mid(eq + 1).toInt();
            if (key == "X")
                r.moveLeft(v);
            else if (key == "Y")
                r.moveTop(v);
            else if (key == "WIDTH")
                r.setWidth(v);
            else if (key == "HEIGHT")
                r.setHeight(v);
        }
        return r;
    }
    void Focus(const QString& window) const { Xdotool({QStringLiteral("windowfocus"), window}); }
    void Click(const QRect& at, int button, int repeat = 1) const {
        Xdotool({QStringLiteral("mousemove"), QString::number(at.center().x()),
                 QString::number(at.center().y()), QStringLiteral("click"), QStringLiteral("--repeat"),
                 QString::number(repeat), QStringLiteral("--delay"), QStringLiteral("80"),
                 QString::number(button)});
    }
    void Keys(const QStringList& keys) const {
        QStringList args{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("150")};
        Xdotool(args + keys);
    }
    void Type(const QString& text) const {
        Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
    }
    // Focus to the root window: the note that had it is deactivated, as by a
    // click on the desktop.
    void FocusDesktop() const {
        const QByteArray info = run(QStringLiteral("xwininfo"), {QStringLiteral("-root")}, Env());
        const int at = info.indexOf("Window id: ");
        const QByteArray id = info.mid(at + 11).split(' ').value(0);
        Xdotool({QStringLiteral("windowfocus"), QString::fromLatin1(id)});
    }

private:
    std::unique_ptr<TChild> FXvfb;
    QString FName;
};

// A computer: its own HOME with a data folder signed in to the account.
struct TComputer {
    QString Home;
    QString ProgramFolder;
    TChild Program;

    TComputer(const QString& name, const QString& pcId, qint64 userId, const QString& digest) {
        Home = testenv::freshDir(name);
        QDir().mkpath(Home + QStringLiteral("/run"));
        QFile::setPermissions(Home + QStringLiteral("/run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // A program folder of its own: the first start takes the settings template away.
        ProgramFolder = testenv::freshDir(name + QStringLiteral("-prog"));
        const QString bin = testenv::binDir();
        QFile::copy(bin + QStringLiteral("/zuvonote"), ProgramFolder + QStringLiteral("/zuvonote"));
        QFile::copy(bin + QStringLiteral("/brisel.mdb"), ProgramFolder + QStringLiteral("/brisel.mdb"));
        QDir().mkpath(ProgramFolder + QStringLiteral("/languages"));
        for (const QString& f : QDir(bin + QStringLiteral("/languages")).entryList(QDir::Files))
            QFile::copy(bin + QStringLiteral("/languages/") + f,
                        ProgramFolder + QStringLiteral("/languages/") + f);
        QDir().mkpath(DataFolder());
        testenv::writeFile(DataFolder() + QStringLiteral("config.ini"),
                           QStringLiteral("[config]\nPcID=%1\nLanguage=English\nUserID=%2\nUserName=ann\n"
                                          "UserPass=%3\n[General]\nNoTrayNoticeShown=1\n")
                               .arg(pcId)
                               .arg(userId)
                               .arg(digest)
                               .toUtf8());
    }
    [[nodiscard]] QString DataFolder() const { return Home + QStringLiteral("/.local/share/Zuvo/Note/"); }

    void Start(const TVirtualDisplay& display, quint16 web, quint16 push) {
        QProcessEnvironment env = display.Env();
        env.insert(QStringLiteral("HOME"), Home);
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Home + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("ZUVONOTE_SERVER"), QStringLiteral("http://127.0.0.1:%1/").arg(web));
        env.insert(QStringLiteral("ZUVONOTE_PUSH_PORT"), QString::number(push));
        Program.Start(ProgramFolder + QStringLiteral("/zuvonote"), {}, env);
    }

    // id -> text of every row in the store, read beside the running program.
    [[nodiscard]] QMap<QString, QString> Notes() const {
        QMap<QString, QString> out;
        try {
            const auto db = TDbConnection::Open(DataFolder() + QStringLiteral("brisel.mdb"));
            const TRowSet rows = db->Select(QStringLiteral("select id, mynote from notes"));
            for (int r = 0; r < rows.rowCount(); ++r)
                out.insert(rows.asText(r, "id"), rows.asText(r, "mynote"));
        } catch (const TSqlError&) {
            // Not there yet, or busy: the caller asks again.
        }
        return out;
    }
    [[nodiscard]] QString IdOfText(const QString& text) const { return Notes().key(text); }
};

// Established connections to a local port, from /proc/net/tcp.
int connectionsTo(quint16 port) {
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    int n = 0;
    const QByteArray want = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        // local address, remote address, state 01 (established)
        if (cols.size() > 3 && cols[2].endsWith(":" + want) && cols[3] == "01")
            ++n;
    }
    return n;
}

} // namespace

TEST(EndToEnd, ANoteWrittenOnOneComputerArrivesOnTheOtherAndADeletionCountsDownThere) {
    // Each computer has a screen of its own.
    const TVirtualDisplay screenA;
    const TVirtualDisplay screenB;
    ASSERT_FALSE(screenA.Name().isEmpty() || screenB.Name().isEmpty()) << "Xvfb did not start";

    // The server, with one account.
    const QString serverDir = testenv::freshDir(QStringLiteral("server"));
    const QString db = QStringLiteral("sqlite:") + serverDir + QStringLiteral("/server.db");
    const QString serverBin = testenv::binDir() + QStringLiteral("/zuvonote-server");
    const QByteArray uid =
        run(serverBin,
            {QStringLiteral("add-user"), QStringLiteral("--db"), db, QStringLiteral("--email"),
             QStringLiteral("ann@example.com"), QStringLiteral("--name"), QStringLiteral("ann"),
             QStringLiteral("--password-stdin")},
            QProcessEnvironment::systemEnvironment(), "secret")
            .trimmed();
    ASSERT_GT(uid.toLongLong(), 0) << uid.toStdString();
    const quint16 web = freePort();
    const quint16 push = freePort();
    TChild server;
    server.Start(serverBin,
                 {QStringLiteral("--quiet"), QStringLiteral("--listen"),
                  QStringLiteral("127.0.0.1:%1").arg(web), QStringLiteral("--push"),
                  QStringLiteral("127.0.0.1:%1").arg(push), QStringLiteral("--db"), db},
                 QProcessEnvironment::systemEnvironment());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, web);
            return probe.waitForConnected(200);
        },
        15000));

    const QString digest = QStringLiteral("5ebe2294ecd0e0f08eab7690d2a6ee69"); // MD5 of "secret"
    TComputer a(QStringLiteral("a"), QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001"), uid.toLongLong(),
                digest);
    TComputer b(QStringLiteral("b"), QStringLiteral("BBBBBBBB-0000-4000-8000-000000000002"), uid.toLongLong(),
                digest);
    a.Start(screenA, web, push);
    b.Start(screenB, web, push);

    // Both are up (one blank note each) and both channels are open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return screenA.NoteWindows(a.Program.Pid()).size() == 1; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return screenB.NoteWindows(b.Program.Pid()).size() == 1; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return connectionsTo(push) == 2; }, 30000));
    QTest::qWait(1000); // the push server checks both sign-ins

    // Written on the first: double-click, type, click away.
    const QString first = screenA.NoteWindows(a.Program.Pid()).value(0);
    const QRect firstAt = screenA.Geometry(first);
    const QString token = QStringLiteral("token %1").arg(QRandomGenerator::global()->generate());
    screenA.Focus(first);
    screenA.Click(firstAt, 1, 2);
    QTest::qWait(3000); // the note refreshes itself from the server before it opens for editing
    screenA.Type(token);
    screenA.FocusDesktop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !a.IdOfText(token).isEmpty(); }, 10000))
        << "not saved on the first";
    const QString noteId = a.IdOfText(token);

    // ... arrives on the second, in its store and as a window of its own.
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.Notes().value(noteId) == token; }, 20000))
        << "not arrived on the second";
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenB.NoteWindows(b.Program.Pid()).size() == 2; }, 10000));

    // On the first: a second note (the last note of a store is only emptied),
    // then the first note deleted through its menu and confirmed.
    screenA.Click(firstAt, 3);
    QTest::qWait(1500);
    screenA.Keys({QStringLiteral("Down"), QStringLiteral("Return")}); // Add Note
    ASSERT_TRUE(QTest::qWaitFor([&] { return a.Notes().size() == 2; }, 10000));
    screenA.Click(firstAt, 3);
    QTest::qWait(1500);
    screenA.Keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")}); // Delete Note
    QTest::qWait(1500);
    screenA.Keys({QStringLiteral("y")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !a.Notes().contains(noteId); }, 10000))
        << "not deleted on the first";

    // The next change on the first makes the second download: the deleted note
    // leaves its store and its window counts down before it goes.
    // (The deleted note's window slides out first.)
    ASSERT_TRUE(QTest::qWaitFor([&] { return screenA.NoteWindows(a.Program.Pid()).size() == 1; }, 10000));
    const QStringList windowsA = screenA.NoteWindows(a.Program.Pid());
    const QString token2 = token + QStringLiteral(" again");
    screenA.Focus(windowsA.at(0));
    screenA.Click(screenA.Geometry(windowsA.at(0)), 1, 2);
    QTest::qWait(3000); // the note refreshes itself from the server before it opens for editing
    screenA.Type(token2);
    screenA.FocusDesktop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !b.IdOfText(token2).isEmpty(); }, 20000))
        << "the second change did not arrive";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !b.Notes().contains(noteId); }, 10000));
    // Its window stays for the countdown (own blank note, the counting one, the new one) ...
    EXPECT_EQ(screenB.NoteWindows(b.Program.Pid()).size(), 3);
    // ... and is gone after it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return screenB.NoteWindows(b.Program.Pid()).size() == 2; }, 45000));

    a.Program.Stop();
    b.Program.Stop();
    server.Stop();
}
