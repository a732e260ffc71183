// The real executable: one instance per user, orderly exit on signals, and a
// plain answer when there is no display or no usable database.

#include "data/uNoteStore.h"
#include "platform/uSingleInstance.h"
#include "shared/uIniFile.h"
#include "support/TestEnv.h"
#include "uVersion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

struct TUserProcess {
    QString Home;
    QString ProgramFolder;
    [[nodiscard]] QString DataFolder() const { return Home + QStringLiteral("/.local/share/Zuvo/Note/"); }

    TUserProcess() {
        Home = testenv::freshDir(QStringLiteral("home"));
        QDir().mkpath(Home + QStringLiteral("/run"));
        QFile::setPermissions(Home + QStringLiteral("/run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ProgramFolder = testenv::freshDir(QStringLiteral("prog"));
        const QString bin = testenv::binDir();
        QFile::copy(bin + QStringLiteral("/zuvonote"), ProgramFolder + QStringLiteral("/zuvonote"));
        QFile::copy(bin + QStringLiteral("/brisel.mdb"), ProgramFolder + QStringLiteral("/brisel.mdb"));
        QFile::copy(testenv::sourceDir() + QStringLiteral("/resources/config.ini"),
                    ProgramFolder + QStringLiteral("/config.ini"));
        QDir().mkpath(ProgramFolder + QStringLiteral("/languages"));
        for (const QString& f : QDir(bin + QStringLiteral("/languages")).entryList(QDir::Files))
            QFile::copy(bin + QStringLiteral("/languages/") + f,
                        ProgramFolder + QStringLiteral("/languages/") + f);
    }

    [[nodiscard]] QProcessEnvironment Env(bool display = true) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), Home);
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Home + QStringLiteral("/run"));
        env.insert(QStringLiteral("ZUVONOTE_SERVER"), testenv::refusedRoot());
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (display) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            env.remove(QStringLiteral("DISPLAY"));
        }
        return env;
    }

    void Start(QProcess& p, bool display = true) const {
        p.setProcessEnvironment(Env(display));
        p.setProgram(ProgramFolder + QStringLiteral("/zuvonote"));
        p.start();
        ASSERT_TRUE(p.waitForStarted(10000));
    }

    // Starts the program on a real X display (a virtual one of the test's own).
    void StartOnDisplay(QProcess& p, const QString& display) const {
        QProcessEnvironment env = Env();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display);
        p.setProcessEnvironment(env);
        p.setProgram(ProgramFolder + QStringLiteral("/zuvonote"));
        p.start();
        ASSERT_TRUE(p.waitForStarted(10000));
    }

    // Shown notes 220 x 100 in the template store that the first start takes:
    // (id, text, left, top) each. The template predates the later columns; the
    // first start adds them.
    void AddTemplateNotes(const QList<std::tuple<QString, QString, int, int>>& notes) const {
        auto db = TDbConnection::Open(ProgramFolder + QStringLiteral("/brisel.mdb"));
        for (const auto& [id, text, x, y] : notes)
            db->Exec(QStringLiteral(
                         "insert into notes (id,mynote,form_x,form_y,form_w,form_h,form_trans,fontcolor,"
                         "fontsize,fontname,fontbold,alerttype,shownote,commited) values "
                         "(?,?,?,?,220,100,200,0,9,'Tahoma',0,0,1,1)"),
                     {id, text, x, y});
    }

    // Start-up saved the new computer identity: the signal handlers are in place by then.
    [[nodiscard]] bool WaitUntilStarted() const {
        return QTest::qWaitFor(
            [&] {
                return !TIniFile(DataFolder() + QStringLiteral("config.ini"))
                            .ReadString("config", "PcID", {})
                            .isEmpty();
            },
            15000);
    }
};

} // namespace

TEST(Process, ASecondStartEndsAtOnceSilentlyWhileTheFirstRuns) {
    const TUserProcess user;
    QProcess first;
    user.Start(first);
    ASSERT_TRUE(user.WaitUntilStarted());

    QProcess second;
    user.Start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);

    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(15000));

    // Once the first has gone, a new start runs again.
    QProcess third;
    user.Start(third);
    EXPECT_FALSE(third.waitForFinished(1500));
    ::kill(pid_t(third.processId()), SIGTERM);
    ASSERT_TRUE(third.waitForFinished(15000));
}

TEST(Process, EachTerminationSignalShutsDownInOrder) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        const TUserProcess user;
        QProcess p;
        user.Start(p);
        ASSERT_TRUE(user.WaitUntilStarted()) << sig;
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(15000)) << sig;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << sig;
        EXPECT_EQ(p.exitCode(), 0) << sig;

        // The settings file is whole, and the store was closed cleanly.
        const QString config =
            QString::fromUtf8(testenv::readFile(user.DataFolder() + QStringLiteral("config.ini")));
        EXPECT_TRUE(config.contains(QStringLiteral("ShowHideNoteHint=1"))) << config.toStdString();
        const QString db = user.DataFolder() + QStringLiteral("brisel.mdb");
        EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("-wal"))) << sig;
        auto conn = TDbConnection::Open(db);
        EXPECT_EQ(conn->Select(QStringLiteral("PRAGMA integrity_check")).asText(0, "integrity_check"),
                  QStringLiteral("ok"));
        EXPECT_GE(conn->Select(QStringLiteral("select * from notes where 1=2")).columnIndex("hiddenposy"), 0);
    }
}

TEST(Process, WithoutADisplayItSaysHowToRunUnderAVirtualServer) {
    const TUserProcess user;
    QProcess p;
    user.Start(p, false);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_NE(p.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("xvfb-run"))) << err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(user.DataFolder()));
}

// --help and --version answer without a display and touch no data; any other
// argument changes nothing, so a start with one still needs the display.
TEST(Process, HelpAndVersionAnswerWithoutADisplay) {
    const TUserProcess user;
    const struct {
        QStringList Args;
        int Exit;
        std::string Out; // on stdout
    } cases[] = {
        {{"--version"}, 0, std::string("zuvonote ") + zuvo::kVersionText + "\n"},
        {{"--help"}, 0, "--version"},
        {{"--minimized", "-h"}, 0, "Usage: zuvonote"},
        {{"--minimized"}, 1, ""},
    };
    for (const auto& c : cases) {
        QProcess p;
        p.setProcessEnvironment(user.Env(false));
        p.start(user.ProgramFolder + QStringLiteral("/zuvonote"), c.Args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), c.Exit) << c.Args.join(' ').toStdString();
        const std::string out = p.readAllStandardOutput().toStdString();
        EXPECT_NE(out.find(c.Out), std::string::npos) << out;
        EXPECT_FALSE(QFileInfo::exists(user.DataFolder()));
    }
}

TEST(Process, AnUnusableDatabaseIsReportedAndTheProcessEndsWithAnError) {
    const TUserProcess user;
    QDir().mkpath(user.DataFolder());
    const QString db = user.DataFolder() + QStringLiteral("brisel.mdb");
    const QByteArray junk(2048, 'J');
    testenv::writeFile(db, junk);
    QProcess p;
    user.Start(p);
    // The error box waits for the user; the process must still be there, then end non-zero.
    EXPECT_FALSE(p.waitForFinished(1500));
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_EQ(testenv::readFile(db), junk);
}

namespace {

// A virtual X server of the test's own, on a display number nobody uses.
struct TVirtualDisplay {
    QProcess Server;
    QString Name;
    TVirtualDisplay() {
        for (int n = 150 + int(::getpid() % 400); n < 1000; ++n) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
                QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            Name = QStringLiteral(":%1").arg(n);
            Server.start(QStringLiteral("Xvfb"),
                         {Name, QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("1280x1024x24")});
            if (QTest::qWaitFor(
                    [&] { return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)); }, 10000))
                return;
            Server.kill();
            Server.waitForFinished();
        }
        Name.clear();
    }
    ~TVirtualDisplay() { Stop(); }
    void Stop() {
        if (Server.state() == QProcess::NotRunning)
            return;
        Server.kill();
        Server.waitForFinished(5000);
    }
};

} // namespace

// When the display goes away the toolkit ends the process at once; the notes'
// last text and place must reach the store all the same.
TEST(Process, ALostDisplaySavesTheNotesBeforeTheProcessEnds) {
    TVirtualDisplay display;
    ASSERT_FALSE(display.Name.isEmpty()) << "no virtual X server";
    const TUserProcess user;
    user.AddTemplateNotes({{QStringLiteral("N1"), QStringLiteral("kept"), 300, 200}});
    QProcess p;
    user.StartOnDisplay(p, display.Name);
    ASSERT_TRUE(user.WaitUntilStarted());
    QTest::qWait(1500); // the notes are loaded 100 ms into the loop

    // Changed behind the program's back: only a save by the program puts it right.
    const QString dbPath = user.DataFolder() + QStringLiteral("brisel.mdb");
    TDbConnection::Open(dbPath)->Exec(QStringLiteral("update notes set mynote='stale', form_x=1, form_y=1"));
    display.Stop();
    ASSERT_TRUE(p.waitForFinished(15000));
    const TRowSet r =
        TDbConnection::Open(dbPath)->Select(QStringLiteral("select * from notes where id='N1'"));
    EXPECT_EQ(r.asText(0, "mynote"), QStringLiteral("kept"));
    EXPECT_EQ(r.asInt(0, "form_x"), 300);
    EXPECT_EQ(r.asInt(0, "form_y"), 200);
}

namespace {

// The lock's folder without a runtime folder: under a temporary folder and a
// cache home of the test's own, restored afterwards.
struct TNoRuntimeFolder {
    QString Tmp = testenv::freshDir(QStringLiteral("tmp"));
    QString Cache = testenv::freshDir(QStringLiteral("cache"));
    QByteArray SavedRuntime = qgetenv("XDG_RUNTIME_DIR");
    QByteArray SavedTmp = qgetenv("TMPDIR");
    QByteArray SavedCache = qgetenv("XDG_CACHE_HOME");
    TNoRuntimeFolder() {
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", Tmp.toLocal8Bit());
        qputenv("XDG_CACHE_HOME", Cache.toLocal8Bit());
    }
    ~TNoRuntimeFolder() {
        qputenv("XDG_RUNTIME_DIR", SavedRuntime);
        qputenv("TMPDIR", SavedTmp);
        qputenv("XDG_CACHE_HOME", SavedCache);
    }
    [[nodiscard]] QString Shared() const {
        return Tmp + QStringLiteral("/zuvonote-") + QString::number(::getuid());
    }
    [[nodiscard]] QString Private() const { return Cache + QStringLiteral("/zuvonote"); }
};

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST(SingleInstance, TheFallbackFolderIsPrivateOrNotUsed) {
    struct Case {
        const char* name;
        std::function<void(const TNoRuntimeFolder&)> prepare;
        bool sharedUsed;
    };
    const Case cases[] = {
        {"made fresh", [](const TNoRuntimeFolder&) {}, true},
        {"already ours and closed",
         [](const TNoRuntimeFolder& f) { ::mkdir(QFile::encodeName(f.Shared()), 0700); }, true},
        {"writable by others",
         [](const TNoRuntimeFolder& f) {
             ::mkdir(QFile::encodeName(f.Shared()), 0700);
             ::chmod(QFile::encodeName(f.Shared()), 0777);
         },
         false},
        {"writable by the group",
         [](const TNoRuntimeFolder& f) {
             ::mkdir(QFile::encodeName(f.Shared()), 0700);
             ::chmod(QFile::encodeName(f.Shared()), 0770);
         },
         false},
        {"a link to a folder of ours",
         [](const TNoRuntimeFolder& f) {
             const QString target = testenv::freshDir(QStringLiteral("target"));
             ::chmod(QFile::encodeName(target), 0700);
             QFile::link(target, f.Shared());
         },
         false},
        {"a plain file", [](const TNoRuntimeFolder& f) { testenv::writeFile(f.Shared(), "x"); }, false},
    };
    for (const Case& c : cases) {
        const TNoRuntimeFolder f;
        c.prepare(f);
        const QString folder = TSingleInstance::RuntimeFolder();
        const QString expected = c.sharedUsed ? f.Shared() : f.Private();
        EXPECT_EQ(folder, expected) << c.name;
        EXPECT_EQ(modeOf(expected), 0700u) << c.name;
        TSingleInstance lock(QStringLiteral("Zuvo note"));
        EXPECT_TRUE(lock.lockPath().startsWith(expected + QLatin1Char('/'))) << c.name;
        EXPECT_TRUE(lock.TryAcquire()) << c.name;
    }
}

TEST(SingleInstance, AFolderOfAnotherUserIsNotUsed) {
    const TNoRuntimeFolder f;
    ::mkdir(QFile::encodeName(f.Shared()), 0700);
    if (::chown(QFile::encodeName(f.Shared()), 65534, 65534) != 0 || ::getuid() == 65534)
        GTEST_SKIP() << "cannot give a folder away here";
    EXPECT_EQ(TSingleInstance::RuntimeFolder(), f.Private());
}

TEST(SingleInstance, TheLockNeverFollowsALinkAndStillExcludesASecondHolder) {
    const TNoRuntimeFolder f;
    const QString victim = testenv::freshDir(QStringLiteral("victim")) + QStringLiteral("/precious.txt");
    testenv::writeFile(victim, "keep me");
    TSingleInstance probe(QStringLiteral("Zuvo note"));
    ASSERT_TRUE(QFile::link(victim, probe.lockPath()));
    {
        TSingleInstance lock(QStringLiteral("Zuvo note"));
        (void)lock.TryAcquire();
    }
    EXPECT_EQ(testenv::readFile(victim), QByteArray("keep me"));

    QFile::remove(probe.lockPath());
    TSingleInstance first(QStringLiteral("Zuvo note"));
    TSingleInstance second(QStringLiteral("Zuvo note"));
    EXPECT_TRUE(first.TryAcquire());
    EXPECT_FALSE(second.TryAcquire());
}

namespace {

// A client of its own on the test's display: plays another program and reads
// what the note windows show.
class TXClient {
public:
    explicit TXClient(const QString& display)
        : FConn(xcb_connect(display.toLocal8Bit().constData(), nullptr)) {
        FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConn)).data->root;
    }
    ~TXClient() { xcb_disconnect(FConn); }
    TXClient(const TXClient&) = delete;
    TXClient& operator=(const TXClient&) = delete;
    [[nodiscard]] bool ok() const { return xcb_connection_has_error(FConn) == 0; }

    xcb_atom_t Atom(const char* name) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(FConn, xcb_intern_atom(FConn, 0, uint16_t(strlen(name)), name), nullptr),
            &std::free);
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    // A mapped window covering the screen that says it is full-screen.
    xcb_window_t MakeFullScreenWindow() {
        const xcb_window_t w = xcb_generate_id(FConn);
        xcb_create_window(FConn, XCB_COPY_FROM_PARENT, w, FRoot, 0, 0, 1280, 1024, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t full = Atom("_NET_WM_STATE_FULLSCREEN");
        xcb_change_property(FConn, XCB_PROP_MODE_REPLACE, w, Atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1,
                            &full);
        xcb_map_window(FConn, w);
        xcb_flush(FConn);
        return w;
    }
    // What a window manager does when the user switches windows.
    void SetActiveWindow(xcb_window_t w) {
        xcb_change_property(FConn, XCB_PROP_MODE_REPLACE, FRoot, Atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW,
                            32, 1, &w);
        xcb_flush(FConn);
    }
    // Top-level windows on screen titled as these notes are (by their first lines).
    int ViewableNotes(const QList<QByteArray>& titles = {"on top", "plain"}) {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(FConn, xcb_query_tree(FConn, FRoot), nullptr), &std::free);
        if (!tree)
            return -1;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        int count = 0;
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> name(
                xcb_get_property_reply(
                    FConn,
                    xcb_get_property(FConn, 0, children[i], Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), 0, 64),
                    nullptr),
                &std::free);
            if (!name ||
                !titles.contains(QByteArray(static_cast<const char*>(xcb_get_property_value(name.get())),
                                            xcb_get_property_value_length(name.get()))))
                continue;
            std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attrs(
                xcb_get_window_attributes_reply(FConn, xcb_get_window_attributes(FConn, children[i]),
                                                nullptr),
                &std::free);
            if (attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE)
                ++count;
        }
        return count;
    }

private:
    xcb_connection_t* FConn;
    xcb_window_t FRoot = 0;
};

} // namespace

TEST(Process, NotesKeptOnTopStepBackWhileAFullScreenProgramIsActive) {
    TVirtualDisplay display;
    ASSERT_FALSE(display.Name.isEmpty()) << "no virtual X server";
    const TUserProcess user;
    user.AddTemplateNotes({{QStringLiteral("TOP"), QStringLiteral("on top"), 300, 200},
                           {QStringLiteral("PLAIN"), QStringLiteral("plain"), 600, 200}});
    // A first start brings the store up to date; then one note is kept on top.
    {
        QProcess first;
        user.Start(first);
        ASSERT_TRUE(user.WaitUntilStarted());
        ::kill(pid_t(first.processId()), SIGTERM);
        ASSERT_TRUE(first.waitForFinished(15000));
        TDbConnection::Open(user.DataFolder() + QStringLiteral("brisel.mdb"))
            ->Exec(QStringLiteral("update notes set istopmost=1 where id='TOP'"));
    }
    QProcess p;
    user.StartOnDisplay(p, display.Name);

    TXClient x(display.Name);
    ASSERT_TRUE(x.ok());
    ASSERT_TRUE(QTest::qWaitFor([&] { return x.ViewableNotes() == 2; }, 15000)) << x.ViewableNotes();

    const xcb_window_t game = x.MakeFullScreenWindow();
    x.SetActiveWindow(game);
    EXPECT_TRUE(QTest::qWaitFor([&] { return x.ViewableNotes() == 1; }, 5000)) << x.ViewableNotes();
    QTest::qWait(1200);
    EXPECT_EQ(x.ViewableNotes(), 1); // the plain note stays

    x.SetActiveWindow(XCB_WINDOW_NONE);
    EXPECT_TRUE(QTest::qWaitFor([&] { return x.ViewableNotes() == 2; }, 5000)) << x.ViewableNotes();

    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(15000));
}
