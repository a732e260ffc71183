#pragma once
// Starting with the session: the per-user XDG autostart entry
// $XDG_CONFIG_HOME/autostart/zuvonote.desktop, whose Exec line names the
// program. It counts as ours only when that command is this executable's path,
// compared without regard to case.

#include <QString>

[[nodiscard]] QString AutostartFilePath();
// The command (first argument) of the entry's Exec line; empty when there is
// no entry or no Exec line.
[[nodiscard]] QString ReadAutostartCommand();
// True when the entry starts this executable: it names it and the desktop has
// not switched it off (Hidden=true, X-GNOME-Autostart-enabled=false).
[[nodiscard]] bool AutostartIsFor(const QString& exePath);
// Writes the entry for this executable, replacing whatever was there.
// False when the file cannot be written.
bool WriteAutostartEntry(const QString& exePath);
bool DeleteAutostartEntry();

// One argument of an Exec line, quoted and escaped by the desktop-entry rules,
// and the reverse (the first argument of an Exec value as stored in the file).
[[nodiscard]] QString ExecLineFor(const QString& program);
[[nodiscard]] QString ExecCommand(const QString& execValue);
