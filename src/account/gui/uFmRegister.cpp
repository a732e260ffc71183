#include "account/gui/uFmRegister.h"

#include "account/uSignOn.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "net/uHttpClient.h"
#include "platform/gui/uWindows.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr int kBasicHeight = 270;

// A labelled field of one of the groups; the labels of fields the service
// needs are red.
QLabel* fieldRow(QWidget* group, QFormLayout* form, QLineEdit*& edit, bool required) {
    auto* label = new QLabel(group);
    if (required) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Qt::red);
        label->setPalette(p);
    }
    edit = new QLineEdit(group);
    edit->setMinimumWidth(181);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return label;
}

QFormLayout* groupForm(QGroupBox* group) {
    auto* form = new QFormLayout;
    form->setVerticalSpacing(11);
    auto* box = new QVBoxLayout(group);
    box->setContentsMargins(12, 12, 12, 12);
    box->addLayout(form);
    return form;
}

} // namespace

TFmRegister::TFmRegister(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint,
                   QSize(329, kBasicHeight)),
      FEnv(std::move(env)) {
    grpBasicInfo = new QGroupBox(this);
    QFormLayout* basic = groupForm(grpBasicInfo);
    lblTitleAccount = fieldRow(grpBasicInfo, basic, edtUserName, true);
    edtUserName->setMaxLength(50);
    lblTitleName = fieldRow(grpBasicInfo, basic, edtUName, true);
    lblTitlePass = fieldRow(grpBasicInfo, basic, edtPassword, true);
    edtPassword->setEchoMode(QLineEdit::Password);
    lblTitleRePass = fieldRow(grpBasicInfo, basic, edtConfirmPass, true);
    edtConfirmPass->setEchoMode(QLineEdit::Password);
    edtConfirmPass->setMaxLength(edtPassword->maxLength());
    chkDetailedInfo = new QCheckBox(grpBasicInfo);
    basic->addRow(chkDetailedInfo);

    grpDetailedInfo = new QGroupBox(this);
    QFormLayout* detailed = groupForm(grpDetailedInfo);
    for (QLineEdit** edit :
         {&edtTel, &edtMobile, &edtSite, &edtProvince, &edtCity, &edtQQ, &edtMsn, &edtRemark})
        FDetailLabels << fieldRow(grpDetailedInfo, detailed, *edit, false);
    grpDetailedInfo->hide();
    // Kept for the form's shape only: never shown, never sent.
    edtPcCode = new QLineEdit(this);
    edtPcCode->hide();

    btnRegister = new QPushButton(this);
    btnRegister->setDefault(true);
    btnCancel = new QPushButton(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {btnRegister, btnCancel}) {
        b->setMinimumSize(75, 25);
        buttons->addWidget(b);
    }
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addWidget(grpBasicInfo);
    main->addWidget(grpDetailedInfo);
    main->addStretch(1);
    main->addLayout(buttons);
    UseLayout(main);
    SetTabOrder({edtUserName, edtUName, edtPassword, edtConfirmPass, chkDetailedInfo, edtTel, edtMobile,
                 edtSite, edtProvince, edtCity, edtQQ, edtMsn, edtRemark, btnRegister, btnCancel});

    connect(btnRegister, &QPushButton::clicked, this, &TFmRegister::btnRegisterClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(chkDetailedInfo, &QCheckBox::clicked, this, &TFmRegister::chkDetailedInfoClick);

    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

int TFmRegister::Execute(const TServiceEnv& env, QWidget* owner) {
    TFmRegister dialog(env, owner);
    return ExecModal(dialog);
}

void TFmRegister::WMUpdateLanguage() {
    const TLanguageObject& l = *FEnv.Language;
    setWindowTitle(l.FmRegisterCaption());
    grpBasicInfo->setTitle(l.FmRegistergrpBasicInfo_Caption());
    grpDetailedInfo->setTitle(l.FmRegistergrpDetailedInfo_Caption());
    lblTitleAccount->setText(l.FmRegisterlblTitleAccount_Caption());
    lblTitleName->setText(l.FmRegisterlblTitleName_Caption());
    lblTitlePass->setText(l.FmRegisterlblTitlePass_Caption());
    lblTitleRePass->setText(l.FmRegisterlblTitleRePass_Caption());
    chkDetailedInfo->setText(l.FmRegisterchkDetailedInfo_Caption());
    const QString details[] = {l.FmRegisterlblTitleTel_Caption(),     l.FmRegisterlblTitleMobile_Caption(),
                               l.FmRegisterlblTitleWebSite_Caption(), l.FmRegisterlblTitleProvince_Caption(),
                               l.FmRegisterlblTitleCity_Caption(),    l.FmRegisterlblTitleQQ_Caption(),
                               l.FmRegisterlblTitleMSN_Caption(),     l.FmRegisterlblTitleRemark_Caption()};
    for (int i = 0; i < FDetailLabels.size(); ++i)
        FDetailLabels[i]->setText(details[i]);
    btnRegister->setText(FBusy ? l.FmRegisterrsRegistering() : l.FmRegisterbtnRegister_Caption());
    btnCancel->setText(l.FmRegisterbtnCancel_Caption());
}

void TFmRegister::chkDetailedInfoClick() {
    grpDetailedInfo->setVisible(chkDetailedInfo->isChecked());
    // Grows for the details and shrinks back without them.
    FitContents();
    resize(width(), minimumHeight());
    if (const QScreen* s = screen())
        move(x(), s->geometry().top() + (s->geometry().height() - height()) / 2);
}

TRegisterInput TFmRegister::Input() const {
    TRegisterInput in;
    in.Account = edtUserName->text();
    in.UserName = edtUName->text();
    in.Password = edtPassword->text();
    in.ConfirmPassword = edtConfirmPass->text();
    in.Tel = edtTel->text();
    in.Mobile = edtMobile->text();
    in.Site = edtSite->text();
    in.Province = edtProvince->text();
    in.City = edtCity->text();
    in.QQ = edtQQ->text();
    in.Msn = edtMsn->text();
    in.Remark = edtRemark->text();
    return in;
}

void TFmRegister::SetRunning(bool running) {
    FBusy = running;
    const TLanguageObject& l = *FEnv.Language;
    btnRegister->setEnabled(!running);
    btnCancel->setEnabled(!running);
    btnRegister->setText(running ? l.FmRegisterrsRegistering() : l.FmRegisterbtnRegister_Caption());
}

void TFmRegister::btnRegisterClick() {
    if (FBusy)
        return;
    const TLanguageObject& l = *FEnv.Language;
    const TRegisterInput in = Input();
    const auto refuse = [&](const QString& text) {
        MessageBoxW(this, text, l.Otherstitle_dlgerror(), MB_ICONWARNING);
    };
    switch (CheckRegisterInput(in)) {
    case TRegisterCheck::InvalidAccount:
        refuse(l.FmRegisterraInvalidAccount());
        edtUserName->setFocus();
        edtUserName->clear();
        return;
    case TRegisterCheck::Incomplete:
        refuse(l.FmRegisterraIncompleteInput());
        return;
    case TRegisterCheck::ShortPassword:
        refuse(l.FmRegisterraShortPass());
        return;
    case TRegisterCheck::Mismatch:
        refuse(l.FmRegisterraPassRepass());
        return;
    case TRegisterCheck::Ok:
        break;
    }
    // Registration sends the password itself.
    if (!SecretMayGoTo(SignOnBase())) {
        refuse(l.FmRegisterrseNeedHttps());
        return;
    }

    SetRunning(true);
    SendServiceRequest(this, RegisterRequest(in, FEnv.Options ? FEnv.Options->FconfigAffId : QString()), FEnv,
                       [this](const THttpResponse& response) {
                           const TLanguageObject& lang = *FEnv.Language;
                           SetRunning(false);
                           QString text;
                           switch (ReadRegisterReply(response)) {
                           case TRegisterOutcome::Success:
                               MessageBoxW(this, lang.FmRegisterrsRegSuccess(),
                                           lang.Otherstitle_dlginformation(), MB_ICONWARNING);
                               accept();
                               return;
                           case TRegisterOutcome::Incomplete:
                               text = lang.FmRegisterrseIncompleteInfo();
                               break;
                           case TRegisterOutcome::Exists:
                               text = lang.FmRegisterrseExistUser();
                               break;
                           case TRegisterOutcome::NetworkError:
                               text = lang.FmRegisterrseNetErr();
                               break;
                           case TRegisterOutcome::Unknown:
                               text = lang.FmRegisterrseUnknownErr();
                               break;
                           }
                           MessageBoxW(this, text, lang.Otherstitle_dlgerror(), MB_ICONWARNING);
                       });
}
