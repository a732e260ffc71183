#include "app/uSessionEnd.h"

#include "app/uFmMain.h"
#include "platform/uSignalPipe.h"
#include "shared/uDbConnection.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sqlite3.h>
#include <thread>

namespace {

TFmMain* gWatched = nullptr;
// Set once every note was saved for the session's end; read by the signal watcher.
std::atomic<bool> gSessionSaved{false};
QMetaObject::Connection gCommitData;

// The display's client library ends the process with exit() when the connection
// to the display breaks: nothing of the window system works any more, but the
// store does, so the notes are saved on the way out.
void saveOnExit() {
    TFmMain* main = gWatched;
    gWatched = nullptr;
    // The ordered shutdown has saved them already, and may have closed the store.
    if (main && !main->IsShuttingDown())
        main->EndSession();
}

} // namespace

void EndSessionAndShutDown(TFmMain& main) {
    // A modal box (the start-up error, a dialog) runs its own loop: end it first.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    main.EndSession();
    gSessionSaved = true;
    main.close();
}

void EndOnSignals(TSignalPipe& pipe, TFmMain& main) {
    QObject::connect(&pipe, &TSignalPipe::Terminate, &main, [&main](int) {
        main.EndBy(QDeadlineTimer(qMax<qint64>(0, kOrderedExitMs - TSignalPipe::MsSinceSignal())));
        EndSessionAndShutDown(main);
    });
}

void EndAfterSignalsRegardless(TSignalPipe& pipe, const QString& storePath) {
    pipe.EndWithin(kSignalGraceMs, [storePath] {
        for (int waited = 0; !gSessionSaved && waited < kSaveWaitMs; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        WaitForStoreWrites(storePath, kStoreWriteWaitMs);
    });
}

void WaitForStoreWrites(const QString& storePath, int boundMs) {
    // Holding the write lock, this connection knows every other one to be
    // between transactions; the process may end there, and keeps it.
    try {
        auto db = TDbConnection::Open(storePath);
        sqlite3_busy_timeout(db->handle(), boundMs);
        db->Exec(QStringLiteral("BEGIN IMMEDIATE"));
        (void)db.release(); // the lock stays taken until the process is gone
    } catch (const std::exception&) {
        // Past the bound: a transaction not committed by now is not kept, whole.
    }
}

TSessionEndWatch::TSessionEndWatch(TFmMain& main) {
    static const bool registered = std::atexit(saveOnExit) == 0;
    if (registered)
        gWatched = &main;
    // The save request comes at log-off; the session manager may end the process
    // as soon as the handler returns, so everything runs before it does.
    gCommitData = QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, &main,
        [&main](QSessionManager&) { EndSessionAndShutDown(main); }, Qt::DirectConnection);
}

TSessionEndWatch::~TSessionEndWatch() {
    gWatched = nullptr;
    QObject::disconnect(gCommitData);
}
