#include "app/uFullScreenWatch.h"

#include "note/uNoteManager.h"
#include "platform/gui/uDesktop.h"

namespace {
constexpr int kCheckIntervalMs = 500;
}

TFullScreenWatch::TFullScreenWatch(const TNoteManager& notes, QObject* parent)
    : QObject(parent), IsFullScreen(ActiveWindowIsFullScreen), FNotes(notes) {
    connect(&FTimer, &QTimer::timeout, this, &TFullScreenWatch::Check);
    FTimer.start(kCheckIntervalMs);
}

void TFullScreenWatch::Check() {
    const bool now = IsFullScreen();
    if (now == FFullScreen)
        return;
    FFullScreen = now;
    FNotes.Broadcast(WM_APPBARNOTIFY, ABN_FULLSCREENAPP, now ? 1 : 0);
}
