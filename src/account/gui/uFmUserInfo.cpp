#include "account/gui/uFmUserInfo.h"

#include "account/gui/uFmLogout.h"
#include "account/uServicePages.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "platform/gui/uWindows.h"
#include "qr/uQrCode.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

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
    lblTitleCurrUser = new QLabel(grpMyAccount);
    lblCurrUser = new QLabel(grpMyAccount);
    QFont nameFont(QStringLiteral("Tahoma"));
    nameFont.setPointSize(10);
    lblCurrUser->setFont(nameFont);
    QPalette red = lblCurrUser->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblCurrUser->setPalette(red);
    imgQrCode = new QLabel(grpMyAccount);
    // Wide enough for the code; as high as its prompt needs in the face in use.
    imgQrCode->setFixedWidth(89);
    imgQrCode->setMinimumHeight(81);
    imgQrCode->setScaledContents(true);
    imgQrCode->setWordWrap(true);
    imgQrCode->setAlignment(Qt::AlignCenter);
    imgQrCode->setFrameShape(QFrame::Box);
    imgQrCode->setCursor(Qt::PointingHandCursor);
    imgQrCode->installEventFilter(this);
    lblTitleQRCode = new QLabel(grpMyAccount);
    lblTitleQRCode->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    btnChangePass = new QPushButton(grpMyAccount);
    btnLogout = new QPushButton(grpMyAccount);
    for (QPushButton* b : {btnChangePass, btnLogout})
        b->setMinimumSize(100, 25);
    btnClose = new QPushButton(this);
    btnClose->setMinimumSize(75, 25);
    btnClose->setDefault(true);

    auto* account = new QHBoxLayout;
    account->setSpacing(10);
    account->addWidget(lblTitleCurrUser);
    account->addWidget(lblCurrUser, 1);
    auto* code = new QVBoxLayout;
    code->addWidget(imgQrCode, 0, Qt::AlignHCenter);
    code->addWidget(lblTitleQRCode);
    auto* actions = new QVBoxLayout;
    actions->addStretch(1);
    actions->addWidget(btnChangePass);
    actions->addWidget(btnLogout);
    actions->addStretch(1);
    auto* panel = new QGridLayout(grpMyAccount);
    panel->setContentsMargins(16, 12, 16, 8);
    panel->setHorizontalSpacing(16);
    panel->addLayout(account, 0, 0, 1, 2);
    panel->addLayout(code, 1, 0);
    panel->addLayout(actions, 1, 1);
    auto* close = new QVBoxLayout;
    close->addStretch(1);
    close->addWidget(btnClose);
    auto* main = new QHBoxLayout;
    main->setContentsMargins(8, 8, 6, 8);
    main->addWidget(grpMyAccount, 1);
    main->addLayout(close);
    UseLayout(main);
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
        imgQrCode->setFrameShape(QFrame::NoFrame);
        imgQrCode->setPixmap(QPixmap::fromImage(FQrImage));
    }
}

void TFmUserInfo::HideQrCode() {
    FQrImage = QImage();
    imgQrCode->setPixmap(QPixmap());
    imgQrCode->setFrameShape(QFrame::Box);
    imgQrCode->setText(FEnv.Language->FmUserInfolblShowQRCode_Caption());
}

bool TFmUserInfo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == imgQrCode && event->type() == QEvent::MouseButtonRelease &&
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
    lblTitleQRCode->setText(l.FmUserInfolblTitleQRCode_Caption());
    if (FQrImage.isNull())
        imgQrCode->setText(l.FmUserInfolblShowQRCode_Caption());
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
