#pragma once
// The program's own icon (tray, windows), the same picture the desktop entry
// names, built into the program so it never depends on an installed theme.

#include <QIcon>

[[nodiscard]] QIcon AppIcon();
