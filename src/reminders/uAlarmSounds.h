#pragma once
// The eight alarm sounds: the file base names (what a reminder stores, and the
// names of the files in the program folder's "sound" folder) and the names a
// Chinese (PRC) system shows instead, in the same order.

#include <QString>
#include <QStringList>

[[nodiscard]] const QStringList& AlarmSoundNames();
[[nodiscard]] const QStringList& AlarmSoundChineseNames();
// The names to show on a system with this language id (2052: Chinese, PRC).
[[nodiscard]] const QStringList& AlarmSoundDisplayNames(int langId);
// programFolder ends with a separator.
[[nodiscard]] QString AlarmSoundPath(const QString& programFolder, const QString& name);
