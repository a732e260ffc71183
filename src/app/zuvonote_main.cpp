// Process entry: one instance per user, the hidden main window, the message loop.

#include "app/uFmMain.h"
#include "app/uFullScreenWatch.h"
#include "app/uImportNotes.h"
#include "app/uSessionEnd.h"
#include "app/uZuvoApplication.h"
#include "lang/uLanguageObject.h"
#include "note/uFmNote.h"
#include "note/uNoteManager.h"
#include "platform/gui/uWindows.h"
#include "platform/uSignalPipe.h"
#include "platform/uSingleInstance.h"
#include "uVersion.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kHelp =
    "Usage: zuvonote [--help | --version | --import FILE|FOLDER]\n"
    "\n"
    "Zuvo Note keeps sticky notes on the desktop. It lives in the notification area\n"
    "(tray), whose menu adds notes, shows or hides them, signs in to a sync server\n"
    "and exits. One instance runs per user; a second start ends at once.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "  --import FILE|FOLDER\n"
    "             add the notes of another sticky-notes program as new notes:\n"
    "             an xpad folder or info-* file, or a KNotes notes folder or message\n"
    "\n"
    "Notes and settings: $XDG_DATA_HOME/Zuvo/Note/ (by default ~/.local/share/Zuvo/Note/).\n"
    "Language: Language=English or Language=Chinese in [config] of config.ini (also\n"
    "in Options; used from the next start); without it, the desktop's locale decides.\n"
    "Sync server: $ZUVONOTE_SERVER, else Server= in [config] of config.ini,\n"
    "else http://127.0.0.1:8086/. See zuvonote(1).\n";

// Answers --help and --version, which need no display; true when one was given.
// Every other argument is left to Qt, as it always was.
bool answerInfoOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("zuvonote %s\n", zuvo::kVersionText);
            return true;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return true;
        }
    }
    return false;
}

// "--import FILE|FOLDER": notes of another program, imported once the notes are loaded.
// False when the option lacks its path.
bool parseImportOption(int argc, char** argv, QString* importPath) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--import") {
            if (i + 1 >= argc) {
                std::fputs(kHelp, stderr);
                return false;
            }
            *importPath = QString::fromLocal8Bit(argv[++i]);
        } else if (arg.starts_with("--import=")) {
            *importPath = QString::fromLocal8Bit(argv[i] + 9);
        }
    }
    return true;
}

// True when Qt can reach a display; otherwise says plainly what to do.
bool checkDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (platform.isEmpty() && wayland && x11) {
        // Notes must come back where they were, and only X11 (XWayland) lets a
        // client place its own windows.
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    if (!platform.isEmpty() || x11 || wayland)
        return true;
    std::fprintf(stderr,
                 "Zuvo Note needs a graphical desktop, and none was found (DISPLAY is not set).\n"
                 "To run it without a screen, start it under a virtual X server:\n"
                 "    xvfb-run -a %s\n",
                 "zuvonote");
    return false;
}

// Prints a named moment as wall-clock milliseconds.
void ReportMoment(const char* what) {
    std::fprintf(stderr, "%s %lld\n", what, QDateTime::currentMSecsSinceEpoch());
    std::fflush(stderr);
}

// Tells when the load timer fires, ahead of the loader it starts: the time before
// it is start-up and the timer's deliberate wait, the time after it the loading.
class TLoadTimerWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Timer)
            ReportMoment("loading");
        return QObject::eventFilter(watched, e);
    }
};

void ReportWhenNotesShown(TFmMain* main) {
    QTimer::singleShot(0, main, [] { ReportMoment("idle"); });
    main->tmrLoadNotes->installEventFilter(new TLoadTimerWatch(main));
    auto* poll = new QTimer(main);
    QObject::connect(poll, &QTimer::timeout, main, [main, poll] {
        if (main->tmrLoadNotes->isActive())
            return;
        const QList<TFmNote*> notes = main->Windows().Windows();
        for (TFmNote* n : notes)
            if (n->isVisible() && !(n->windowHandle() && n->windowHandle()->isExposed()))
                return;
        poll->stop();
        std::fprintf(stderr, "shown %d %lld\n", int(notes.size()), QDateTime::currentMSecsSinceEpoch());
        std::fflush(stderr);
    });
    poll->start(2);
}

} // namespace

int main(int argc, char** argv) {
    if (answerInfoOption(argc, argv))
        return 0;
    QString importPath;
    if (!parseImportOption(argc, argv, &importPath))
        return 2;
    if (!checkDisplay())
        return 1;

    // A second instance ends at once, silently; asked to import, it says where to do that instead.
    TSingleInstance instance(QStringLiteral("Zuvo note"));
    if (!instance.TryAcquire()) {
        if (importPath.isEmpty())
            return 0;
        std::fprintf(stderr, "%s\n",
                     qPrintable(TLanguageObject::DefaultText(QStringLiteral("FmImport"),
                                                             QStringLiteral("errAlreadyRunning"))));
        return 1;
    }

    // Notes scroll by whole lines and take no touch or tablet input, so the X input
    // extension buys nothing here, while it costs a round trip to the X server for
    // every window made: a thousand notes come up noticeably faster without it.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_XI2"))
        qputenv("QT_XCB_NO_XI2", "1");
    // Idle notes give their pixel stores back after painting. A shared-memory store
    // costs a round trip to the X server to make and another to give back; a plain
    // one is freed at once, and a note's few repaints travel through the socket.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    TZuvoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zuvo Note"));
    QApplication::setQuitOnLastWindowClosed(false);

    TFmMain main(TFmMainEnv::Default());
    TSignalPipe signalPipe;
    EndOnSignals(signalPipe, main);
    const TSessionEndWatch sessionEnd(main);

    QString error;
    if (!main.Startup(&error)) {
        ShowErrorBox(error);
        return 1;
    }
    EndAfterSignalsRegardless(signalPipe, main.DataFolder() + QStringLiteral("brisel.mdb"));
    // Notes kept on top step back while a full-screen program is in front.
    const TFullScreenWatch fullScreen(main.Windows());
    if (!importPath.isEmpty())
        QObject::connect(
            main.tmrLoadNotes, &QTimer::timeout, &main,
            [&main, importPath] { ImportNotesAndReport(main, importPath); }, Qt::QueuedConnection);
    // Start-up benchmarks measure the way to the idle loop and no further.
    if (!qEnvironmentVariableIsEmpty("ZUVONOTE_QUIT_WHEN_IDLE"))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    // ...or until every loaded note is on screen, reported as wall-clock milliseconds.
    if (!qEnvironmentVariableIsEmpty("ZUVONOTE_REPORT_SHOWN"))
        ReportWhenNotesShown(&main);
    return app.exec();
}
