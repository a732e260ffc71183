#pragma once
// The download page shown after each sign-in: the notes site's page from which
// the mobile app is fetched. Closing only hides it.

#include "account/uServiceEnv.h"
#include "platform/gui/uPageDialog.h"

class TFmQrcodeDl : public TPageDialog {
    Q_OBJECT
public:
    explicit TFmQrcodeDl(TServiceEnv env, QWidget* parent = nullptr);

protected:
    [[nodiscard]] THttpRequest PageRequest() const override;

private:
    void WMUpdateLanguage() override;

    TServiceEnv FEnv;
};
