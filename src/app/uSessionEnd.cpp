#include "app/uSessionEnd.h"

#include "app/uFmMain.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>
#include <cstdlib>

namespace {

TFmMain* gWatched = nullptr;
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
    main.close();
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
