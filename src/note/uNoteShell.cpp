#include "note/uNoteShell.h"

#include "data/uNoteStore.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uWindows.h"

void ShowStoreError(QWidget* owner, const TLanguageObject& language, const TSqlError& error) {
    ShowStoreError(owner, language, error.text());
}

void ShowStoreError(QWidget* owner, const TLanguageObject& language, const QString& message) {
    MessageBoxW(owner, message, language.Otherstitle_dlgerror(), MB_OK | MB_ICONERROR);
}
