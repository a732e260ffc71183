#pragma once
// The program's own icon (tray, windows), the same picture the desktop entry
// names, built into the program so that it shows wherever the program runs
// from, the build tree too.

#include <QIcon>

[[nodiscard]] QIcon AppIcon();

// The same picture at the small sizes only (up to 64 pixels), for windows made by
// the hundred: every native window carries its own copy of the icon's pixels in
// the X server, and the full set is over 350 KB, sent again at each window's creation.
[[nodiscard]] const QIcon& SmallAppIcon();
