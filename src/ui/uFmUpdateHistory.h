#pragma once
// The change history of one note, as the notes web site lists it. Not modal;
// one window per opening, closed with its note.

#include "account/uServiceEnv.h"
#include "platform/gui/uPageDialog.h"

class TFmUpdateHistory : public TPageDialog {
    Q_OBJECT
public:
    // owner: the note window.
    explicit TFmUpdateHistory(TServiceEnv env, QWidget* owner = nullptr);

    QString NoteID;

protected:
    [[nodiscard]] THttpRequest PageRequest() const override;

private:
    void WMUpdateLanguage() override;

    TServiceEnv FEnv;
};
