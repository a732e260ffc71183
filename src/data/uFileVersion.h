#pragma once
// The version an executable of ours carries, read the way the desktop reads a
// version resource.

#include <QString>

// Version embedded in an executable file by our build: "a.b.c.d"; empty when the
// file carries none or cannot be opened (as for a file without a version
// resource); "-1" when its marker starts but is cut short or damaged.
[[nodiscard]] QString GetFileVersionText(const QString& path);
[[nodiscard]] QString GetAppVersion();
