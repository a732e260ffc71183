#pragma once
// The account panel: who is signed in, and the QR code with which the mobile
// app signs in to the same account. Not modal; each opening makes a new panel
// with the code of that moment, freed when it closes.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

#include <QImage>

class QGroupBox;
class QLabel;
class QPushButton;
struct TQrSymbol;

// The symbol at 3 pixels per module with a 2-module white margin, black on white.
[[nodiscard]] QImage RenderQrImage(const TQrSymbol& symbol);

class TFmUserInfo : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmUserInfo(TServiceEnv env, QWidget* parent = nullptr);

    QGroupBox* grpMyAccount;
    QLabel* lblTitleCurrUser;
    QLabel* lblCurrUser;
    QLabel* Image1;
    QLabel* lblTitleQRCode;
    QPushButton* btnChangePass;
    QPushButton* btnLogout;
    QPushButton* btnClose;

    // The rendered code (null when it could not be made).
    [[nodiscard]] const QImage& QrImage() const { return FQrImage; }

    void btnChangePassClick();
    void btnLogoutClick();

private:
    void WMUpdateLanguage() override;

    TServiceEnv FEnv;
    QImage FQrImage;
};
