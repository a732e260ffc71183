#pragma once
// Tells the note windows when a program covering the whole screen becomes the
// active window and when it stops being so, as the shell's application-bar
// notice would: WM_APPBARNOTIFY with ABN_FULLSCREENAPP, lParam 1 (opened) or 0
// (closed). The window manager announces neither, so the active window's state
// is looked at twice a second.

#include <QObject>
#include <QTimer>
#include <functional>

class TNoteManager;

class TFullScreenWatch : public QObject {
public:
    explicit TFullScreenWatch(const TNoteManager& notes, QObject* parent = nullptr);

    // Tests look at a state of their own instead of the display's.
    std::function<bool()> IsFullScreen;
    // One look: notifies the notes when the state changed since the last one.
    void Check();

private:
    const TNoteManager& FNotes;
    QTimer FTimer;
    bool FFullScreen = false;
};
