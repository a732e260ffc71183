#pragma once
// Explains a feature once, with a box to never show that explanation again.

#include "platform/gui/uFixedDialog.h"

class QCheckBox;
class QFrame;
class QPushButton;
class QTextEdit;

class TFmHint : public TFixedDialog {
    Q_OBJECT
public:
    explicit TFmHint(QWidget* owner);

    // Which explanation; the opener sets it before showing. 1: automatic hiding.
    int HintID = 0;

    QTextEdit* RichEdit1;
    QFrame* Bevel1;
    QCheckBox* chkDoNotShow;
    QPushButton* btnCancel;
    QPushButton* btnOK;

protected:
    void WMUpdateLanguage() override;
    void showEvent(QShowEvent* e) override;

private:
    void btnOKClick();
};
