#include "ui/uFmUpdateHistory.h"

#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "platform/uMessages.h"

TFmUpdateHistory::TFmUpdateHistory(TServiceEnv env, QWidget* owner)
    : TPageDialog(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(640, 420),
                  env.OpenUrl),
      FEnv(std::move(env)) {
    setAttribute(Qt::WA_DeleteOnClose);
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

void TFmUpdateHistory::WMUpdateLanguage() {
    setWindowTitle(FEnv.Language->FmUpdateHistoryCaption());
}

THttpRequest TFmUpdateHistory::PageRequest() const {
    THttpRequest request =
        UpdateHistoryRequest(FEnv.Options->FconfigUserID, FEnv.Options->FconfigUserPass, NoteID);
    ApplyTimeouts(request, FEnv);
    return request;
}
