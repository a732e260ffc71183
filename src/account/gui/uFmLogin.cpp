#include "account/gui/uFmLogin.h"

#include "account/gui/uFmRegister.h"
#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "data/uFunctions.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uWindows.h"
#include "sync/uEndpoints.h"
#include "sync/uHttpClient.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

TFmLogin::TFmLogin(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(307, 215)),
      FEnv(std::move(env)) {
    Panel1 = new QFrame(this);
    Panel1->setGeometry(0, 0, 307, 57);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Image1 = new QLabel(Panel1);
    Image1->setGeometry(12, 12, 32, 32);
    Image1->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    lblAppName = new QLabel(QStringLiteral("Zuvo Note"), Panel1);
    QFont big = lblAppName->font();
    big.setPixelSize(21);
    lblAppName->setFont(big);
    lblAppName->setGeometry(56, 16, 240, 26);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(8, 60, 291, 80);
    lblTitleAccount = new QLabel(GroupBox1);
    lblTitleAccount->setGeometry(12, 22, 80, 16);
    edtUserName = new QLineEdit(GroupBox1);
    edtUserName->setGeometry(96, 19, 181, 21);
    lblTitlePass = new QLabel(GroupBox1);
    lblTitlePass->setGeometry(12, 51, 80, 16);
    edtPassword = new QLineEdit(GroupBox1);
    edtPassword->setGeometry(96, 48, 181, 21);
    edtPassword->setEchoMode(QLineEdit::Password);
    lblTitleHost = new QLabel(GroupBox1);
    lblTitleHost->hide();

    lblTitleRegister = new TLinkLabel(this);
    // The links get a row of their own: long captions must not run under the buttons.
    lblTitleRegister->move(10, 146);
    lblTitleForgotPw = new TLinkLabel(this);
    btnLogin = new QPushButton(this);
    btnLogin->setGeometry(144, 164, 75, 25);
    btnLogin->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setGeometry(224, 164, 75, 25);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setGeometry(0, 193, 307, 22);
    StatusBar1->setSizeGripEnabled(false);
    lblStatus = new QLabel(StatusBar1);
    StatusBar1->addWidget(lblStatus, 1);

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
    lblTitleRegister->adjustSize();
    lblTitleForgotPw->setText(l.FmLoginlblTitleForgotPW_Caption());
    lblTitleForgotPw->adjustSize();
    lblTitleForgotPw->move(lblTitleRegister->geometry().right() + 1 + 10, lblTitleRegister->y());
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
