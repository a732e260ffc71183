#pragma once
// The report of a store statement of a user command that failed.

class QString;
class QWidget;
class TLanguageObject;
class TSqlError;

// The user is told why, and the command ends there.
void ShowStoreError(QWidget* owner, const TLanguageObject& language, const TSqlError& error);
void ShowStoreError(QWidget* owner, const TLanguageObject& language, const QString& message);
