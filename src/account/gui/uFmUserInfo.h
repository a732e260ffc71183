#pragma once
// The account panel: who is signed in, and the QR code with which the mobile
// app signs in to the same account. The code carries the account's secret, so
// it is drawn only when the user clicks its place, and is gone when the panel
// closes. Not modal; each opening makes a new panel, freed when it closes.

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
    QLabel* imgQrCode;
    QLabel* lblTitleQRCode;
    QPushButton* btnChangePass;
    QPushButton* btnLogout;
    QPushButton* btnClose;

    // The rendered code: null until shown, and when it could not be made.
    [[nodiscard]] const QImage& QrImage() const { return FQrImage; }

    // What a click on the code's place does: the code of the account of this moment.
    void ShowQrCode();
    void btnChangePassClick();
    void btnLogoutClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void WMUpdateLanguage() override;
    void HideQrCode();

    TServiceEnv FEnv;
    QImage FQrImage;
};
