#include "note/uNoteShell.h"

#include "app/uFmMain.h"
#include "data/uNoteStore.h"
#include "platform/gui/uWindows.h"
#include "ui/uLanguageObject.h"

const TLanguageObject& ShellLanguage() {
    if (TFmMain* m = FmMain(); m && m->Language())
        return *m->Language();
    static const TLanguageObject empty;
    return empty;
}

void ShowStoreError(QWidget* owner, const TSqlError& error) {
    MessageBoxW(owner, error.text(), ShellLanguage().Otherstitle_dlgerror(), MB_OK | MB_ICONERROR);
}
