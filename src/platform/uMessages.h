#pragma once
// Numbered window messages: a Qt event whose type is the message number, with
// WParam, LParam and a Result the receiver may set. Sent synchronously.

#include <QEvent>
#include <QObject>
#include <cstdint>

using WPARAM = std::intptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr int WM_USER = 1024;

// The main window's messages.
inline constexpr int WM_UPDATELANGUAGE = WM_USER + 70;
inline constexpr int WM_LOGINFAILED = WM_USER + 150;
inline constexpr int WM_SOCKET = WM_USER + 10010;

// The note window's messages.
inline constexpr int WM_SETTRANS = WM_USER + 10;
inline constexpr int WM_SAVENOTEATTRS = WM_USER + 20;
inline constexpr int WM_HIDENOTE = WM_USER + 30;
inline constexpr int WM_RELOADNOTE = WM_USER + 40;
inline constexpr int WM_SETFONTCOLOR = WM_USER + 50;
inline constexpr int WM_SETNOTEFONT = WM_USER + 60;
inline constexpr int WM_UPDATEAD = WM_USER + 80;
inline constexpr int WM_CHECKNOTEEXISTS = WM_USER + 90;
inline constexpr int WM_APPBARNOTIFY = WM_USER + 100;
inline constexpr int WM_UPDATINGBEGIN = WM_USER + 110;
inline constexpr int WM_UPDATINGEND = WM_USER + 111;
inline constexpr int WM_RESETAUDIOCTRL = WM_USER + 120;
inline constexpr int WM_CLOSENOTE = WM_USER + 130;
inline constexpr int WM_SHOWNOTE = WM_USER + 140;

// Application-bar notification code for a full-screen application.
inline constexpr int ABN_FULLSCREENAPP = 2;

class TWinMessage : public QEvent {
public:
    TWinMessage(int msg, WPARAM wParam, LPARAM lParam)
        : QEvent(static_cast<QEvent::Type>(msg)), WParam(wParam), LParam(lParam) {}
    [[nodiscard]] int Msg() const { return static_cast<int>(type()); }

    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result = 0;
};

// Delivers the message and returns its result once the receiver has handled it.
// From the receiver's own thread this is a direct send; from another thread the
// caller blocks until the receiver's thread has handled it. A receiver destroyed
// before it handles the message gives 0.
LRESULT SendMessageW(QObject* target, int msg, WPARAM wParam = 0, LPARAM lParam = 0);
