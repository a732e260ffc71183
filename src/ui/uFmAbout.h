#pragma once
// The about dialog: product name, version, home page and support address, and
// the way to the mobile app. Its texts are fixed, not taken from the language.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

class QFrame;
class QLabel;
class QPushButton;
class TLinkLabel;

class TFmAbout : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmAbout(TServiceEnv env, QWidget* parent = nullptr);

    static int Execute(const TServiceEnv& env, QWidget* owner);

    QFrame* Panel2;
    QLabel* imgAppIcon;
    QLabel* lblMakerDomain;
    QFrame* Panel1;
    QLabel* lblProductName;
    QLabel* lblVersion;
    QLabel* lblHomePageCaption;
    TLinkLabel* lblHomePage;
    QLabel* lblMailCaption;
    TLinkLabel* lblSupportMail;
    TLinkLabel* lblMobileVersion;
    QPushButton* OKButton;

    void lblHomePageClick();
    void lblSupportMailClick();
    void lblMobileVersionClick();

private:
    void WMUpdateLanguage() override {}

    TServiceEnv FEnv;
};
