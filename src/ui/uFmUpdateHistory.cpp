#include "ui/uFmUpdateHistory.h"

#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "data/uNoteOptions.h"
#include "platform/gui/uPageView.h"
#include "platform/uMessages.h"
#include "ui/uLanguageObject.h"

#include <QShowEvent>

TFmUpdateHistory::TFmUpdateHistory(TServiceEnv env, QWidget* owner)
    : TFixedDialog(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(640, 420)),
      FEnv(std::move(env)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    WebBrowser1 = new TPageView(this);
    WebBrowser1->setGeometry(0, 0, 640, 420);
    WebBrowser1->OpenUrl = FEnv.OpenUrl;
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

void TFmUpdateHistory::WMUpdateLanguage() {
    setWindowTitle(FEnv.Language->FmUpdateHistoryCaption());
}

void TFmUpdateHistory::showEvent(QShowEvent* e) {
    TFixedDialog::showEvent(e);
    if (e->spontaneous())
        return;
    THttpRequest request =
        UpdateHistoryRequest(FEnv.Options->FconfigUserID, FEnv.Options->FconfigUserPass, NoteID);
    ApplyTimeouts(request, FEnv);
    WebBrowser1->Navigate(request);
}
