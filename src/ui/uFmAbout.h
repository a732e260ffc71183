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
    QLabel* Image1;
    QLabel* Label1;
    QFrame* Panel1;
    QLabel* lblProductName;
    QLabel* lblVersion;
    QLabel* Label3;
    TLinkLabel* lblHomePage;
    QLabel* Label4;
    TLinkLabel* Label2;
    TLinkLabel* Label5;
    QPushButton* OKButton;

    void lblHomePageClick();
    void Label2Click();
    void Label5Click();

private:
    void WMUpdateLanguage() override {}

    TServiceEnv FEnv;
};
