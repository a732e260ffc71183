#pragma once
// Importing the notes of other sticky-notes programs: each becomes a new,
// pending note, placed where a new note would go, and goes up with the next
// upload like any other change.

#include <QString>
#include <QStringList>

class QWidget;
class TFmMain;
class TLanguageObject;

struct TImportOutcome {
    int Imported = 0;
    QStringList Unreadable;
    QString StoreError; // set when the store refused a note; the rest were not imported
};

[[nodiscard]] TImportOutcome ImportNotes(TFmMain& main, const QString& path);
// What the user is told afterwards.
[[nodiscard]] QString ImportReport(const TLanguageObject& language, const TImportOutcome& outcome,
                                   const QString& path);
// Imports and reports in a message box (the tray command and the command-line option).
void ImportNotesAndReport(TFmMain& main, const QString& path);
// The tray command: asks for the folder first.
void actImportNotesExecute(TFmMain& main);
