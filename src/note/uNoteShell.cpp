#include "note/uNoteShell.h"

#include "app/uFmMain.h"
#include "data/uNoteStore.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uWindows.h"

const TLanguageObject& ShellLanguage() {
    if (TFmMain* m = FmMain(); m && m->Language())
        return *m->Language();
    static const TLanguageObject empty;
    return empty;
}

void ShowStoreError(QWidget* owner, const TSqlError& error) {
    ShowStoreError(owner, error.text());
}

void ShowStoreError(QWidget* owner, const QString& message) {
    MessageBoxW(owner, message, ShellLanguage().Otherstitle_dlgerror(), MB_OK | MB_ICONERROR);
}
