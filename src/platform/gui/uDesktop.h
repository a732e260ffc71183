#pragma once
// What the desktop tells us: the work area, the show-desktop state, full-screen
// applications, and the task-bar presence of our windows. Under X11 these read the
// window manager's properties; elsewhere they observe nothing.

#include <QRect>

class QWidget;

// The primary monitor's work area (tests may fix it).
[[nodiscard]] QRect PrimaryWorkArea();
void SetWorkAreaOverride(const QRect& area); // an empty rectangle removes the override

// Keeps a top-level window out of task bars and pagers; call before its first show.
void SetSkipTaskbar(QWidget* window);
// The X11 window role (WM_WINDOW_ROLE) of a native window, as it is now.
void SetWindowRole(QWidget* window, const char* role);
// The desktop is in front (the window manager's show-desktop mode).
[[nodiscard]] bool IsShowingDesktop();
// The same, asked of the window manager at most about once a second: every note
// asks it at each tick, and one answer serves them all.
[[nodiscard]] bool DesktopInFront();
// The active window belongs to another program and covers the screen.
[[nodiscard]] bool ActiveWindowIsFullScreen();
