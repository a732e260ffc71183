#pragma once
// Explains a feature once, with a box to never show that explanation again.

#include "ui/uFmToolDialog.h"

class QCheckBox;
class QFrame;
class QPushButton;
class QTextEdit;

class TFmHint : public TFmToolDialog {
    Q_OBJECT
public:
    // language null: the main window's table.
    explicit TFmHint(QWidget* owner, const TLanguageObject* language = nullptr);

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
