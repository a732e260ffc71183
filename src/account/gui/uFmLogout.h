#pragma once
// The sign-out dialog: after confirmation the stored account is forgotten and
// the push channel closes; the notes stay where they are.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

class QLabel;
class QPushButton;

class TFmLogout : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmLogout(TServiceEnv env, QWidget* parent = nullptr);

    // Modal; IDYES when the account was forgotten.
    static int Execute(const TServiceEnv& env, QWidget* owner);

    QLabel* lblQuestion;
    QPushButton* btnLogout;
    QPushButton* btnCancel;

    void btnLogoutClick();

private:
    void WMUpdateLanguage() override;

    TServiceEnv FEnv;
};
