#pragma once
// The download page shown after each sign-in: the notes site's page from which
// the mobile app is fetched. Closing only hides it.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

class TPageView;

class TFmQrcodeDl : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmQrcodeDl(TServiceEnv env, QWidget* parent = nullptr);

    TPageView* WebBrowser1;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void WMUpdateLanguage() override;

    TServiceEnv FEnv;
};
