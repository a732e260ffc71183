#pragma once
// The program's own icon (tray, windows), the same picture the desktop entry
// names, built into the program so that it shows wherever the program runs
// from, the build tree too.

#include <QIcon>

[[nodiscard]] QIcon AppIcon();

// The same picture at three small sizes only (16, 32 and 48 pixels: 14 KB), for
// windows made by the hundred: every native window carries its own copy of the
// icon's pixels in the X server, converted and sent again at each window's
// creation, and the full set is over 350 KB.
[[nodiscard]] const QIcon& SmallAppIcon();
