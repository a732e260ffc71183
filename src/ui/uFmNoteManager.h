#pragma once
// The hidden-notes manager: lists the notes hidden on this computer and brings a
// chosen one back onto the desktop.

#include "note/uNoteContext.h"
#include "platform/gui/uFixedDialog.h"

class QGroupBox;
class QPushButton;
class QTableWidget;

class TFmNoteManager : public TFixedDialog {
    Q_OBJECT
public:
    // The context gives the store, the texts and the showing of a note again.
    explicit TFmNoteManager(QWidget* owner, TNoteContextPtr context = {});

    // The columns of the list: the text on one line, the creation time, the id.
    enum : int { colText = 0, colTime = 1, colId = 2 };

    QGroupBox* grpHidedNotes;
    QTableWidget* ListView1;
    QPushButton* btnShow;
    QPushButton* btnClose;

    // Shows the selected note again; the dialog stays open for more.
    void btnShowClick();

    // A stored text as one line of the list.
    [[nodiscard]] static QString OneLine(const QString& text);
    // A stored creation time in the user's short date and time format.
    [[nodiscard]] static QString ShortDateTime(const QString& stored);

protected:
    void WMUpdateLanguage() override;

private:
    void FillList();

    TNoteContextPtr FContext;
};
