#include "app/uFullScreenWatch.h"

#include "platform/gui/uDesktop.h"
#include "platform/gui/uWindows.h"

namespace {
constexpr int kCheckIntervalMs = 500;
}

TFullScreenWatch::TFullScreenWatch(QObject* parent)
    : QObject(parent), IsFullScreen(ActiveWindowIsFullScreen) {
    connect(&FTimer, &QTimer::timeout, this, &TFullScreenWatch::Check);
    FTimer.start(kCheckIntervalMs);
}

void TFullScreenWatch::Check() {
    const bool now = IsFullScreen();
    if (now == FFullScreen)
        return;
    FFullScreen = now;
    BroadcastToTitled(QString::fromLatin1(kNoteWindowTitle), WM_APPBARNOTIFY, ABN_FULLSCREENAPP, now ? 1 : 0);
}
