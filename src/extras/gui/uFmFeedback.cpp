#include "extras/gui/uFmFeedback.h"

#include "account/uSignOn.h"
#include "data/uFunctions.h"
#include "extras/uFeedbackForm.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uWindows.h"
#include "sync/uEndpoints.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

TFmFeedback::TFmFeedback(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(420, 301)),
      FEnv(std::move(env)) {
    grpFeedback = new QGroupBox(this);
    grpFeedback->setGeometry(8, 8, 404, 254);
    lblTitleName = new QLabel(grpFeedback);
    lblTitleName->setGeometry(16, 26, 64, 16);
    edtfbName = new QLineEdit(grpFeedback);
    edtfbName->setGeometry(84, 22, 304, 21);
    lblTitleEmail = new QLabel(grpFeedback);
    lblTitleEmail->setGeometry(16, 56, 64, 16);
    edtfbEmail = new QLineEdit(grpFeedback);
    edtfbEmail->setGeometry(84, 52, 304, 21);
    lblTitleContent = new QLabel(grpFeedback);
    lblTitleContent->setGeometry(16, 86, 64, 16);
    mmofbContent = new QPlainTextEdit(grpFeedback);
    mmofbContent->setGeometry(84, 82, 304, 130);
    mmofbContent->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtProduct = new QLineEdit(grpFeedback);
    edtProduct->hide();
    edtProduct->setText(QStringLiteral("Zuvo Note v") + GetAppVersion());
    lblSendByEmail = new TLinkLabel(grpFeedback);
    lblSendByEmail->setGeometry(16, 224, 372, 16);
    btnSubmit = new QPushButton(this);
    btnSubmit->setGeometry(256, 268, 75, 25);
    btnSubmit->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setGeometry(337, 268, 75, 25);
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
    lblSendByEmail->setText(
        QString(l.FmFeedbacklblSendByEmail_Caption()).replace(QStringLiteral("%s"), SupportMailAddress()));
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
    FEnv.Open(QStringLiteral("mailto:") + SupportMailAddress());
    reject();
}
