#include "account/gui/uFmUserInfo.h"

#include "account/gui/uFmLogout.h"
#include "account/uServicePages.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uWindows.h"
#include "qr/uQrCode.h"
#include "sync/uEndpoints.h"

#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

QImage RenderQrImage(const TQrSymbol& symbol) {
    constexpr int kScale = 3;
    constexpr int kMargin = 2;
    const int side = (symbol.Width + 2 * kMargin) * kScale;
    QImage image(side, side, QImage::Format_RGB888);
    image.fill(Qt::white);
    for (int y = 0; y < symbol.Width; ++y)
        for (int x = 0; x < symbol.Width; ++x)
            if (symbol.IsDark(x, y))
                for (int dy = 0; dy < kScale; ++dy)
                    for (int dx = 0; dx < kScale; ++dx)
                        image.setPixel((x + kMargin) * kScale + dx, (y + kMargin) * kScale + dy,
                                       qRgb(0, 0, 0));
    return image;
}

TFmUserInfo::TFmUserInfo(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(347, 177)),
      FEnv(std::move(env)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    grpMyAccount = new QGroupBox(this);
    grpMyAccount->setGeometry(8, 8, 258, 161);
    lblTitleCurrUser = new QLabel(grpMyAccount);
    lblTitleCurrUser->move(16, 24);
    lblCurrUser = new QLabel(grpMyAccount);
    QFont nameFont(QStringLiteral("Tahoma"));
    nameFont.setPointSize(10);
    lblCurrUser->setFont(nameFont);
    QPalette red = lblCurrUser->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblCurrUser->setPalette(red);
    Image1 = new QLabel(grpMyAccount);
    Image1->setGeometry(16, 50, 89, 81);
    Image1->setScaledContents(true);
    Image1->setWordWrap(true);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setFrameShape(QFrame::Box);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);
    lblTitleQRCode = new QLabel(grpMyAccount);
    lblTitleQRCode->setGeometry(0, 134, 121, 16);
    lblTitleQRCode->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    btnChangePass = new QPushButton(grpMyAccount);
    btnChangePass->setGeometry(140, 66, 100, 25);
    btnLogout = new QPushButton(grpMyAccount);
    btnLogout->setGeometry(140, 98, 100, 25);
    btnClose = new QPushButton(this);
    btnClose->setGeometry(266, 144, 75, 25);
    btnClose->setDefault(true);
    connect(btnChangePass, &QPushButton::clicked, this, &TFmUserInfo::btnChangePassClick);
    connect(btnLogout, &QPushButton::clicked, this, &TFmUserInfo::btnLogoutClick);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    lblCurrUser->setText(FEnv.Options->FconfigUserName);
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

void TFmUserInfo::ShowQrCode() {
    const TNoteOptions& o = *FEnv.Options;
    // No code is no reason to bother the user: the place stays as it was.
    if (const auto symbol =
            EncodeQr(AccountQrBytes(AccountQrText(o.FconfigUserID, o.FconfigUserName, o.FconfigUserPass)))) {
        FQrImage = RenderQrImage(*symbol);
        Image1->setFrameShape(QFrame::NoFrame);
        Image1->setPixmap(QPixmap::fromImage(FQrImage));
    }
}

void TFmUserInfo::HideQrCode() {
    FQrImage = QImage();
    Image1->setPixmap(QPixmap());
    Image1->setFrameShape(QFrame::Box);
    Image1->setText(FEnv.Language->FmUserInfolblShowQRCode_Caption());
}

bool TFmUserInfo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && FQrImage.isNull())
        ShowQrCode();
    return TFixedDialog::eventFilter(watched, event);
}

void TFmUserInfo::hideEvent(QHideEvent* event) {
    HideQrCode();
    TFixedDialog::hideEvent(event);
}

void TFmUserInfo::WMUpdateLanguage() {
    const TLanguageObject& l = *FEnv.Language;
    setWindowTitle(l.FmUserInfoCaption());
    grpMyAccount->setTitle(l.FmUserInfogrpMyAccount_Caption());
    lblTitleCurrUser->setText(l.FmUserInfolblTitleCurrUser_Caption());
    lblTitleCurrUser->adjustSize();
    lblCurrUser->adjustSize();
    lblCurrUser->move(lblTitleCurrUser->geometry().right() + 1 + 10, lblTitleCurrUser->y());
    lblTitleQRCode->setText(l.FmUserInfolblTitleQRCode_Caption());
    if (FQrImage.isNull())
        Image1->setText(l.FmUserInfolblShowQRCode_Caption());
    btnChangePass->setText(l.FmUserInfobtnChangePass_Caption());
    btnLogout->setText(l.FmUserInfobtnLogout_Caption());
    btnClose->setText(l.OthersbtnOK_Caption());
}

void TFmUserInfo::btnChangePassClick() {
    FEnv.Open(WithPageLanguage(WebSiteRoot() + QStringLiteral("forgotpassword.php")));
}

void TFmUserInfo::btnLogoutClick() {
    if (TFmLogout::Execute(FEnv, this) == IDYES)
        close();
}
