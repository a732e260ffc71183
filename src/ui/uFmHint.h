#pragma once
// Explains a feature once, with a box to never show that explanation again.

#include "platform/uMessages.h"

#include <QDialog>

class QCheckBox;
class QFrame;
class QPushButton;
class QTextEdit;
class TLanguageObject;

class TFmHint : public QDialog {
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
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void WMUpdateLanguage();
    void btnOKClick();

    const TLanguageObject* FLanguage;
};
