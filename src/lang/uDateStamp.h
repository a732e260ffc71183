#pragma once
// Date stamps written with the desktop's date-time patterns, as the settings
// store them ("mm.dd", "yyyy.mm.dd hh:mm" ...): "yyyy"/"yy" year, "m"/"mm"
// month, but minutes right after an hour; "d"/"dd" day, "h"/"hh" 24-hour hour,
// "n"/"nn" minutes, "s"/"ss" seconds; text in quotes is literal, every other
// character is copied.

#include <QDateTime>
#include <QString>

[[nodiscard]] QString FormatDateStamp(const QString& format, const QDateTime& when);

// The four insert-date formats of the options, in the order of their buttons:
// short date, long date, short date-time, long date-time.
inline constexpr const char* kInsertDateFormats[4] = {"mm.dd", "yyyy.mm.dd", "mm.dd hh:mm",
                                                      "yyyy.mm.dd hh:mm"};
