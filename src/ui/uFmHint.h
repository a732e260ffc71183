#pragma once
// Explains a feature once, with a box to never show that explanation again.

#include "platform/gui/uFixedDialog.h"

#include <QString>

class QCheckBox;
class TLanguageObject;
class QFrame;
class QPushButton;
class QTextEdit;

class TFmHint : public TFixedDialog {
    Q_OBJECT
public:
    // Without a table the texts are empty; without a data folder the user's
    // "do not show" lasts only for this run.
    explicit TFmHint(QWidget* owner, const TLanguageObject* language = nullptr, QString dataFolder = {});

    // Which explanation; the opener sets it before showing. 1: automatic hiding.
    int HintID = 0;

    QTextEdit* RichEdit1;
    QFrame* bvlSeparator;
    QCheckBox* chkDoNotShow;
    QPushButton* btnCancel;
    QPushButton* btnOK;

protected:
    void WMUpdateLanguage() override;
    void showEvent(QShowEvent* e) override;

private:
    void btnOKClick();
    [[nodiscard]] const TLanguageObject& Language() const;

    const TLanguageObject* FLanguage;
    QString FDataFolder;
};
