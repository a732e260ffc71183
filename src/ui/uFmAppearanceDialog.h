#pragma once
// What the text colour, font and transparency dialogs share: the note that opened
// them, the choice between that note and every note, OK and Cancel, and the texts
// common to the three.

#include "platform/uMessages.h"

#include "platform/gui/uFixedDialog.h"
#include <QPointer>
#include <functional>

class QCheckBox;
class QPushButton;
class TLanguageObject;

class TFmAppearanceDialog : public TFixedDialog {
    Q_OBJECT
public:
    // The note window that opened the dialog; its opener sets it before showing.
    QPointer<QWidget> NoteWindow;
    // Sends a message to every note window; set with NoteWindow. Unset, a change
    // for all notes reaches none but the opener.
    std::function<void(int msg, WPARAM wParam, LPARAM lParam)> ToAllNotes;

    QCheckBox* chkApply2AllNote;
    QPushButton* btnOK;
    QPushButton* btnCancel;

protected:
    // The texts come from language, or when it is null from the main window's table
    // (an empty table while there is no main window).
    TFmAppearanceDialog(QWidget* owner, const TLanguageObject* language, QSize clientSize);

    [[nodiscard]] const TLanguageObject& Language() const { return *FLanguage; }

    // To the opening note, or with apply-to-all to every note window of the process.
    void SendToNotes(int msg, WPARAM wParam, LPARAM lParam) const;
    // To every note window (to the opener alone when nobody said how to reach them all).
    void ToAll(int msg, WPARAM wParam, LPARAM lParam) const;

    // The three steps of a change that notes show before it is kept.
    void Preview(int msg, LPARAM value);
    void Commit(int msg, LPARAM value);
    void Revert(int msg, LPARAM value);

    // Sets the shared texts; each dialog adds its own.
    void WMUpdateLanguage() override;

private:
    [[nodiscard]] bool AllNotes() const;

    const TLanguageObject* FLanguage;
    // Some note other than the opener may be showing a preview.
    bool FPreviewedAll = false;
};
