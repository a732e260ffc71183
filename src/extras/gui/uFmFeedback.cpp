#include "extras/gui/uFmFeedback.h"

#include "account/uSignOn.h"
#include "data/uFileVersion.h"
#include "extras/uFeedbackForm.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uWindows.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFmFeedback::TFmFeedback(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(420, 301)),
      FEnv(std::move(env)) {
    grpFeedback = new QGroupBox(this);
    lblTitleName = new QLabel(grpFeedback);
    edtfbName = new QLineEdit(grpFeedback);
    lblTitleEmail = new QLabel(grpFeedback);
    edtfbEmail = new QLineEdit(grpFeedback);
    lblTitleContent = new QLabel(grpFeedback);
    mmofbContent = new QPlainTextEdit(grpFeedback);
    mmofbContent->setMinimumSize(304, 130);
    mmofbContent->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A feedback text has no use for tab characters; Tab moves on, as everywhere else.
    mmofbContent->setTabChangesFocus(true);
    edtProduct = new QLineEdit(grpFeedback);
    edtProduct->hide();
    edtProduct->setText(QStringLiteral("Zuvo Note v") + GetAppVersion());
    lblSendByEmail = new TLinkLabel(grpFeedback);
    lblSendByEmail->setWordWrap(true);
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{lblTitleName, edtfbName},
                                {lblTitleEmail, edtfbEmail},
                                {lblTitleContent, mmofbContent}})
        label->setBuddy(field);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->addRow(lblTitleName, edtfbName);
    form->addRow(lblTitleEmail, edtfbEmail);
    form->addRow(lblTitleContent, mmofbContent);
    auto* group = new QVBoxLayout(grpFeedback);
    group->setContentsMargins(16, 12, 16, 12);
    group->addLayout(form, 1);
    group->addWidget(lblSendByEmail);
    btnSubmit = new QPushButton(this);
    btnSubmit->setDefault(true);
    btnCancel = new QPushButton(this);
    for (QPushButton* b : {btnSubmit, btnCancel})
        b->setMinimumSize(75, 25);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSubmit);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addWidget(grpFeedback, 1);
    main->addLayout(buttons);
    UseLayout(main);
    SetTabOrder({edtfbName, edtfbEmail, mmofbContent, lblSendByEmail, btnSubmit, btnCancel});
    connect(btnSubmit, &QPushButton::clicked, this, &TFmFeedback::btnSubmitClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lblSendByEmail, &TLinkLabel::clicked, this, &TFmFeedback::lblSendByEmailClick);
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

int TFmFeedback::Execute(const TServiceEnv& env, QWidget* owner) {
    TFmFeedback dialog(env, owner);
    return ExecModal(dialog);
}

void TFmFeedback::WMUpdateLanguage() {
    const TLanguageObject& l = *FEnv.Language;
    setWindowTitle(l.FmFeedbackCaption());
    grpFeedback->setTitle(l.FmFeedbackCaption());
    lblTitleName->setText(l.FmFeedbacklblTitleName_Caption());
    lblTitleEmail->setText(l.FmFeedbacklblTitleEmail_Caption());
    lblTitleContent->setText(l.FmFeedbacklblTitleContent_Caption());
    // Only an address the server named: a guessed one would reach nobody.
    const QString mail = SupportMailAddress();
    lblSendByEmail->setVisible(!mail.isEmpty());
    lblSendByEmail->setText(
        QString(l.FmFeedbacklblSendByEmail_Caption()).replace(QStringLiteral("%s"), mail));
    btnSubmit->setText(l.FmFeedbackbtnSubmit_Caption());
    btnCancel->setText(l.OthersbtnCancel_Caption());
}

void TFmFeedback::btnSubmitClick() {
    if (FBusy)
        return;
    const TLanguageObject& l = *FEnv.Language;
    const auto warn = [this](const QString& text) {
        MessageBoxW(this, text, FEnv.Language->Otherstitle_dlgerror(), MB_ICONWARNING);
    };
    switch (CheckFeedback(edtfbEmail->text(), mmofbContent->toPlainText())) {
    case TFeedbackCheck::InvalidEmail:
        warn(l.FmFeedbackerrInvalidEmail());
        edtfbEmail->setFocus();
        return;
    case TFeedbackCheck::BlankContent:
        warn(l.FmFeedbackerrContentIsblank());
        mmofbContent->setFocus();
        return;
    case TFeedbackCheck::Ok:
        break;
    }
    FBusy = true;
    btnSubmit->setEnabled(false);
    SendServiceRequest(this,
                       FeedbackRequest(edtfbName->text(), edtfbEmail->text(), mmofbContent->toPlainText(),
                                       edtProduct->text()),
                       FEnv, [this, warn](const THttpResponse& response) {
                           const TLanguageObject& lang = *FEnv.Language;
                           FBusy = false;
                           btnSubmit->setEnabled(true);
                           switch (ReadFeedbackReply(response)) {
                           case TFeedbackOutcome::Success:
                               MessageBoxW(this, lang.FmFeedbackalertSubmitSucc(),
                                           lang.Otherstitle_dlginformation(), MB_ICONWARNING);
                               accept();
                               return;
                           case TFeedbackOutcome::Incomplete:
                               warn(lang.FmFeedbackerrIncompleteInfo());
                               return;
                           case TFeedbackOutcome::NetworkError:
                               warn(lang.FmFeedbackerrNetworkError());
                               return;
                           case TFeedbackOutcome::Unknown:
                               warn(lang.FmFeedbackerrUnknowError());
                               return;
                           }
                       });
}

void TFmFeedback::lblSendByEmailClick() {
    const QString mail = SupportMailAddress();
    if (mail.isEmpty())
        return;
    FEnv.Open(QStringLiteral("mailto:") + mail);
    reject();
}
