#pragma once
// The program's own icon (tray, windows), the same picture the desktop entry
// names, built into the program so that it shows wherever the program runs
// from, the build tree too.

#include <QIcon>

[[nodiscard]] QIcon AppIcon();
