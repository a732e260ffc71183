#pragma once
// The registration dialog: checks the input locally, sends it to the sign-on
// service and reports the answer. It signs nobody in and stores nothing.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct TRegisterInput;

class TFmRegister : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmRegister(TServiceEnv env, QWidget* parent = nullptr);

    static int Execute(const TServiceEnv& env, QWidget* owner);

    QGroupBox* grpBasicInfo;
    QLabel* lblTitleAccount;
    QLineEdit* edtUserName;
    QLabel* lblTitleName;
    QLineEdit* edtUName;
    QLabel* lblTitlePass;
    QLineEdit* edtPassword;
    QLabel* lblTitleRePass;
    QLineEdit* edtConfirmPass;
    QCheckBox* chkDetailedInfo;
    QGroupBox* grpDetailedInfo;
    QLineEdit* edtTel;
    QLineEdit* edtMobile;
    QLineEdit* edtSite;
    QLineEdit* edtProvince;
    QLineEdit* edtCity;
    QLineEdit* edtQQ;
    QLineEdit* edtMsn;
    QLineEdit* edtRemark;
    QLineEdit* edtPcCode;
    QPushButton* btnRegister;
    QPushButton* btnCancel;

    void btnRegisterClick();
    void chkDetailedInfoClick();
    [[nodiscard]] bool Busy() const { return FBusy; }

private:
    void WMUpdateLanguage() override;
    [[nodiscard]] TRegisterInput Input() const;
    void SetRunning(bool running);

    TServiceEnv FEnv;
    bool FBusy = false;
    // The detailed group's labels, in the order of its fields.
    QList<QLabel*> FDetailLabels;
};
