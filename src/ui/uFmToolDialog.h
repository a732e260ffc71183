#pragma once
// What the small modal tool dialogs share: the dialog face and size, centred on
// the screen, and their texts set from the language table when it is sent.

#include "platform/uMessages.h"

#include <QDialog>

class TLanguageObject;

class TFmToolDialog : public QDialog {
    Q_OBJECT
protected:
    // language null: the main window's table. The subclass sends itself
    // WM_UPDATELANGUAGE once its controls exist.
    TFmToolDialog(QWidget* owner, const TLanguageObject* language, QSize clientSize);

    [[nodiscard]] const TLanguageObject& Language() const { return *FLanguage; }
    virtual void WMUpdateLanguage() = 0;
    bool event(QEvent* e) override;

private:
    const TLanguageObject* FLanguage;
};
