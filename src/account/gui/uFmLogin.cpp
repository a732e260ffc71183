#include "account/gui/uFmLogin.h"

#include "account/gui/uFmRegister.h"
#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "data/uFileVersion.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "net/uHttpClient.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uWindows.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

TFmLogin::TFmLogin(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(307, 215)),
      FEnv(std::move(env)) {
    Panel1 = new QFrame(this);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    imgAppIcon = new QLabel(Panel1);
    imgAppIcon->setFixedSize(32, 32);
    imgAppIcon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    lblAppName = new QLabel(QStringLiteral("Zuvo Note"), Panel1);
    QFont big = lblAppName->font();
    big.setPixelSize(21);
    lblAppName->setFont(big);
    auto* banner = new QHBoxLayout(Panel1);
    banner->setContentsMargins(12, 12, 12, 12);
    banner->setSpacing(12);
    banner->addWidget(imgAppIcon);
    banner->addWidget(lblAppName, 1);

    GroupBox1 = new QGroupBox(this);
    lblTitleAccount = new QLabel(GroupBox1);
    edtUserName = new QLineEdit(GroupBox1);
    lblTitlePass = new QLabel(GroupBox1);
    edtPassword = new QLineEdit(GroupBox1);
    edtPassword->setEchoMode(QLineEdit::Password);
    for (QLineEdit* e : {edtUserName, edtPassword})
        e->setMinimumWidth(181);
    lblTitleAccount->setBuddy(edtUserName);
    lblTitlePass->setBuddy(edtPassword);
    lblTitleHost = new QLabel(GroupBox1);
    lblTitleHost->hide();
    auto* fields = new QFormLayout(GroupBox1);
    fields->setContentsMargins(12, 12, 12, 12);
    fields->addRow(lblTitleAccount, edtUserName);
    fields->addRow(lblTitlePass, edtPassword);

    // The links get a row of their own: long captions must not run under the buttons.
    lblTitleRegister = new TLinkLabel(this);
    lblTitleForgotPw = new TLinkLabel(this);
    auto* links = new QHBoxLayout;
    links->setSpacing(10);
    links->addWidget(lblTitleRegister);
    links->addWidget(lblTitleForgotPw);
    links->addStretch(1);

    btnLogin = new QPushButton(this);
    btnLogin->setDefault(true);
    btnCancel = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {btnLogin, btnCancel}) {
        b->setMinimumSize(75, 25);
        buttons->addWidget(b);
    }

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    lblStatus = new QLabel(StatusBar1);
    StatusBar1->addWidget(lblStatus, 1);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 4, 8, 4);
    body->addWidget(GroupBox1);
    body->addLayout(links);
    body->addLayout(buttons);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    main->addWidget(Panel1);
    main->addLayout(body, 1);
    main->addWidget(StatusBar1);
    UseLayout(main);
    SetTabOrder({edtUserName, edtPassword, lblTitleRegister, lblTitleForgotPw, btnLogin, btnCancel});

    connect(btnLogin, &QPushButton::clicked, this, &TFmLogin::btnLoginClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lblTitleRegister, &TLinkLabel::clicked, this, &TFmLogin::lblTitleRegisterClick);
    connect(lblTitleForgotPw, &TLinkLabel::clicked, this, &TFmLogin::lblTitleForgotPwClick);

    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

int TFmLogin::Execute(const TServiceEnv& env, QWidget* owner) {
    TFmLogin dialog(env, owner);
    return ExecModal(dialog);
}

void TFmLogin::WMUpdateLanguage() {
    const TLanguageObject& l = *FEnv.Language;
    setWindowTitle(l.FmLoginCaption());
    lblTitleHost->setText(l.FmLoginlblTitleHost_Caption());
    lblTitleAccount->setText(l.FmLoginlblTitleAccount_Caption());
    lblTitlePass->setText(l.FmLoginlblTitlePass_Caption());
    lblTitleRegister->setText(l.FmLoginlblTitleRegister_Caption());
    lblTitleForgotPw->setText(l.FmLoginlblTitleForgotPW_Caption());
    btnLogin->setText(l.FmLoginbtnLogin_Caption());
    btnCancel->setText(l.FmLoginbtnCancel_Caption());
}

void TFmLogin::SetRunning(bool running) {
    FBusy = running;
    btnLogin->setEnabled(!running);
    edtUserName->setEnabled(!running);
    edtPassword->setEnabled(!running);
}

void TFmLogin::btnLoginClick() {
    if (FBusy)
        return;
    const TLanguageObject& l = *FEnv.Language;
    // Only an empty field is refused: blanks are the service's to judge.
    if (edtUserName->text().isEmpty()) {
        MessageBoxW(this, l.FmLoginlaNoAccount(), l.Otherstitle_dlgerror(), MB_ICONWARNING);
        return;
    }
    if (edtPassword->text().isEmpty()) {
        MessageBoxW(this, l.FmLoginlaNoPass(), l.Otherstitle_dlgerror(), MB_ICONWARNING);
        return;
    }
    // The digest is the account's secret: it never crosses a network unencrypted.
    if (!SecretMayGoTo(SignOnBase())) {
        MessageBoxW(this, l.FmLoginlseNeedHttps(), l.Otherstitle_dlgerror(), MB_ICONWARNING);
        SetStatus(l.FmLoginlseNeedHttps());
        return;
    }
    SetRunning(true);
    SetStatus(l.FmLoginlsrunning());

    const QString account = edtUserName->text();
    const QString password = edtPassword->text();
    SendServiceRequest(this, SignInRequest(account, password, GetAppVersion()), FEnv,
                       [this, account, password](const THttpResponse& response) {
                           SignInFinished(response, account, password);
                       });
}

void TFmLogin::SignInFinished(const THttpResponse& response, const QString& account,
                              const QString& password) {
    const TLanguageObject& l = *FEnv.Language;
    const TSignInReply reply = ReadSignInReply(response);
    if (reply.HasUserId && FEnv.PushUserId)
        FEnv.PushUserId->store(reply.UserId);

    const TSignInOutcome outcome = SignInOutcome(reply.Code);
    if (outcome == TSignInOutcome::Success) {
        {
            const std::unique_lock lock = FEnv.LockAccount();
            FEnv.Options->FconfigUserID = QString::number(reply.UserId);
            FEnv.Options->FconfigUserPass = PasswordDigest(password);
            FEnv.Options->FconfigUserName = account;
        }
        const bool saved = FEnv.ConfigFile.isEmpty() || FEnv.Options->SaveToFile(FEnv.ConfigFile);
        SetRunning(false);
        // Signed in for this run either way; unsaved, the next start would not know it.
        if (saved)
            MessageBoxW(this, l.FmLoginlsaccess(), l.Otherstitle_dlginformation(), MB_ICONWARNING);
        else
            MessageBoxW(this, l.FmLoginlseNotSaved(), l.Otherstitle_dlgerror(), MB_ICONWARNING);
        if (FEnv.SignedIn)
            FEnv.SignedIn();
        accept();
        return;
    }

    QString message;
    switch (outcome) {
    case TSignInOutcome::NoUser:
        message = l.FmLoginlseNoUser();
        break;
    // Codes the service uses for accounts it will not let in now: said out loud,
    // so the dialog never seems to hang on its progress text.
    case TSignInOutcome::NoRight:
        message = l.FmLoginlseNoRight();
        break;
    case TSignInOutcome::Locked:
        message = l.FmLoginlseUserlocked();
        break;
    case TSignInOutcome::InvalidRequest:
        message = l.FmLoginlseInvalidReq();
        break;
    // The address tried: a server of one's own may be down or mistyped, and only the user can tell.
    case TSignInOutcome::NetworkError:
        message = QString(l.FmLoginlseServerDown()).replace(QLatin1String("%s"), SignOnBase());
        break;
    default:
        message = l.FmLoginlseUnknownError();
        break;
    }
    SetStatus(message);
    SetRunning(false);
    MessageBoxW(this, message, l.Otherstitle_dlgerror(), MB_ICONWARNING);
}

void TFmLogin::lblTitleRegisterClick() {
    TFmRegister::Execute(FEnv, this);
}

void TFmLogin::lblTitleForgotPwClick() {
    FEnv.Open(WithPageLanguage(WebSiteRoot() + QStringLiteral("forgotpassword.php")));
}

void TFmLogin::SetStatus(const QString& text) {
    // The dialog keeps its size, and some languages say "not found" at length:
    // a smaller type keeps the whole message readable in the status bar.
    QFont font = StatusBar1->font();
    const int room = StatusBar1->width() - 16; // the bar's own margins
    while (font.pointSizeF() > 6.5 && QFontMetrics(font).horizontalAdvance(text) > room)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    lblStatus->setFont(font);
    // What still does not fit ends in an ellipsis; the message box and the tip say it whole.
    lblStatus->setText(QFontMetrics(font).elidedText(text, Qt::ElideRight, room));
    lblStatus->setToolTip(text);
}
