#pragma once
// What a note window, its dialogs and its alarm windows need from the program,
// without the main window: a fresh store behind a real repository, the English
// texts, private program and data folders, and a record of what the windows
// asked of the shell. Windows made on it are deleted with it.

#include "data/uNoteStore.h"
#include "lang/uLanguageObject.h"
#include "note/uNoteContext.h"
#include "support/ProgramFolder.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <memory>

class NoteRepository;
class TFmNote;

namespace testenv {

class TTestNoteContext {
public:
    TTestNoteContext();
    ~TTestNoteContext();
    TTestNoteContext(const TTestNoteContext&) = delete;
    TTestNoteContext& operator=(const TTestNoteContext&) = delete;

    [[nodiscard]] const TNoteContextPtr& Context() const { return FContext; }
    [[nodiscard]] TDbConnection& Db() const { return *FDb; }
    [[nodiscard]] NoteRepository& Notes() const { return *FNotes; }
    [[nodiscard]] const TLanguageObject& Language() const { return FLanguage; }

    // Writes the settings file and reads it into the process's settings, as a
    // start-up does (the context starts with English and nothing else).
    void LoadSettings(const QByteArray& config);

    // A note window on this context showing the stored row of this id (a record
    // with only the id when the store has none).
    [[nodiscard]] TFmNote* NewNote(const QString& id);

    TProgramSetup Setup;
    // Ids in the order the repository reported their rows changed.
    QStringList Changed;
    // Rows the hidden-notes manager asked to show again.
    QStringList ShownAgain;
    // What the options dialog told the shell about the notes on the desktop.
    QList<bool> NotesShown;

private:
    std::unique_ptr<TDbConnection> FDb;
    std::unique_ptr<NoteRepository> FNotes;
    TLanguageObject FLanguage;
    std::shared_ptr<TNoteContext> FShared;
    TNoteContextPtr FContext;
    QList<QPointer<TFmNote>> FNotesMade;
};

} // namespace testenv
