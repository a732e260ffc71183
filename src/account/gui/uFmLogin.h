#pragma once
// The sign-in dialog: checks an account at the sign-on service, keeps its id,
// name and password digest in the settings, and starts synchronisation. The
// request runs off the UI thread; the dialog's fields wait disabled meanwhile.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class TLinkLabel;
struct THttpResponse;

class TFmLogin : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmLogin(TServiceEnv env, QWidget* parent = nullptr);

    // Opens a fresh dialog modally, as the sign-in commands do.
    static int Execute(const TServiceEnv& env, QWidget* owner);

    QFrame* Panel1;
    QLabel* imgAppIcon;
    QLabel* lblAppName;
    QGroupBox* GroupBox1;
    QLabel* lblTitleAccount;
    QLineEdit* edtUserName;
    QLabel* lblTitlePass;
    QLineEdit* edtPassword;
    QLabel* lblTitleHost;
    QPushButton* btnLogin;
    QPushButton* btnCancel;
    TLinkLabel* lblTitleRegister;
    TLinkLabel* lblTitleForgotPw;
    QStatusBar* StatusBar1;
    QLabel* lblStatus;

    void btnLoginClick();
    void lblTitleRegisterClick();
    void lblTitleForgotPwClick();
    // A request is on its way.
    [[nodiscard]] bool Busy() const { return FBusy; }

private:
    void WMUpdateLanguage() override;
    void SignInFinished(const THttpResponse& response, const QString& account, const QString& password);
    void SetRunning(bool running);
    void SetStatus(const QString& text);

    TServiceEnv FEnv;
    bool FBusy = false;
};
