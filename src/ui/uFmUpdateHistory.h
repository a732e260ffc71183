#pragma once
// The change history of one note, as the notes web site lists it. Not modal;
// one window per opening, closed with its note.

#include "account/uServiceEnv.h"
#include "platform/gui/uFixedDialog.h"

class TPageView;

class TFmUpdateHistory : public TFixedDialog {
    Q_OBJECT
public:
    // owner: the note window.
    explicit TFmUpdateHistory(TServiceEnv env, QWidget* owner = nullptr);

    QString NoteID;
    TPageView* WebBrowser1;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void WMUpdateLanguage() override;

    TServiceEnv FEnv;
};
