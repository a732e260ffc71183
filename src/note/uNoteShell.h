#pragma once
// What the note commands and their dialogs take from the shell: its language
// table, and the report of a store statement that failed.

class QString;
class QWidget;
class TLanguageObject;
class TSqlError;

// The main window's table; an empty one while there is no main window.
[[nodiscard]] const TLanguageObject& ShellLanguage();

// A store statement of a user command failed: the user is told why, and the
// command ends there.
void ShowStoreError(QWidget* owner, const TSqlError& error);
void ShowStoreError(QWidget* owner, const QString& message);
