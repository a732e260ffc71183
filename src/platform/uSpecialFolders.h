#pragma once
// The desktop's special folders by their numbers.

#include <QString>

inline constexpr int CSIDL_APPDATA = 26;
// The per-user data root for CSIDL_APPDATA: $XDG_DATA_HOME, else ~/.local/share.
// Like the desktop shell's folder paths it has no trailing separator, so callers
// append "/" + their subfolder. Empty for other ids.
[[nodiscard]] QString GetSpecialFolder(int id);
