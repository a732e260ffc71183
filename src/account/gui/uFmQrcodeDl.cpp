#include "account/gui/uFmQrcodeDl.h"

#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uPageView.h"
#include "platform/uMessages.h"

TFmQrcodeDl::TFmQrcodeDl(TServiceEnv env, QWidget* parent)
    : TPageDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(810, 435),
                  env.OpenUrl),
      FEnv(std::move(env)) {
    WebBrowser1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WebBrowser1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WebBrowser1->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

void TFmQrcodeDl::WMUpdateLanguage() {
    setWindowTitle(FEnv.Language->FmQrcodeDLCaption());
}

THttpRequest TFmQrcodeDl::PageRequest() const {
    THttpRequest request = DownloadPageRequest(FEnv.Options->FconfigUserID);
    ApplyTimeouts(request, FEnv);
    return request;
}
