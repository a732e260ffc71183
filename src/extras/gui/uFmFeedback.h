#pragma once
// The feedback dialog: a comment with a name and a reply address, sent to the
// web site, or a mail instead. The submit button waits disabled while its
// request runs, so one click sends one comment.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TLinkLabel;

class TFmFeedback : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmFeedback(TServiceEnv env, QWidget* parent = nullptr);

    static int Execute(const TServiceEnv& env, QWidget* owner);

    QGroupBox* grpFeedback;
    QLabel* lblTitleName;
    QLineEdit* edtfbName;
    QLabel* lblTitleEmail;
    QLineEdit* edtfbEmail;
    QLabel* lblTitleContent;
    QPlainTextEdit* mmofbContent;
    QLineEdit* edtProduct;
    TLinkLabel* lblSendByEmail;
    QPushButton* btnSubmit;
    QPushButton* btnCancel;

    void btnSubmitClick();
    void lblSendByEmailClick();
    [[nodiscard]] bool Busy() const { return FBusy; }

private:
    void WMUpdateLanguage() override;

    TServiceEnv FEnv;
    bool FBusy = false;
};
