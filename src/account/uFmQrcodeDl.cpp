#include "account/uFmQrcodeDl.h"

#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "data/uNoteOptions.h"
#include "platform/gui/uPageView.h"
#include "platform/uMessages.h"
#include "ui/uLanguageObject.h"

#include <QShowEvent>

TFmQrcodeDl::TFmQrcodeDl(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(810, 435)),
      FEnv(std::move(env)) {
    setModal(false);
    WebBrowser1 = new TPageView(this);
    WebBrowser1->setGeometry(0, 0, 810, 435);
    WebBrowser1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WebBrowser1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WebBrowser1->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    WebBrowser1->OpenUrl = FEnv.OpenUrl;
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

void TFmQrcodeDl::WMUpdateLanguage() {
    setWindowTitle(FEnv.Language->FmQrcodeDLCaption());
}

void TFmQrcodeDl::showEvent(QShowEvent* e) {
    TFixedDialog::showEvent(e);
    if (e->spontaneous())
        return;
    THttpRequest request = DownloadPageRequest(FEnv.Options->FconfigUserID);
    ApplyTimeouts(request, FEnv);
    WebBrowser1->Navigate(request);
}
