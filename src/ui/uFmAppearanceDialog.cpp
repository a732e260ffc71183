#include "ui/uFmAppearanceDialog.h"

#include "lang/uLanguageObject.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace {

// What a note does with the value of WM_SETTRANS and WM_SETFONTCOLOR.
constexpr WPARAM kPreview = 0;
constexpr WPARAM kRevert = 1;
constexpr WPARAM kCommit = 2;

// A dialog made without a table (as in tests) shows empty texts rather than
// reaching for the program's.
const TLanguageObject* EmptyLanguage() {
    static const TLanguageObject empty;
    return &empty;
}

} // namespace

TFmAppearanceDialog::TFmAppearanceDialog(QWidget* owner, const TLanguageObject* language, QSize clientSize)
    : TFixedDialog(owner,
                   Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint,
                   clientSize),
      chkApply2AllNote(new QCheckBox(this)), btnOK(new QPushButton(this)), btnCancel(new QPushButton(this)),
      FLanguage(language ? language : EmptyLanguage()) {
    // Centred on the screen rather than on the note, which may sit at an edge.
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFmAppearanceDialog::AllNotes() const {
    return chkApply2AllNote->isChecked();
}

void TFmAppearanceDialog::ToAll(int msg, WPARAM wParam, LPARAM lParam) const {
    if (ToAllNotes)
        ToAllNotes(msg, wParam, lParam);
    else
        SendMessageW(NoteWindow.data(), msg, wParam, lParam);
}

void TFmAppearanceDialog::SendToNotes(int msg, WPARAM wParam, LPARAM lParam) const {
    if (AllNotes())
        ToAll(msg, wParam, lParam);
    else
        SendMessageW(NoteWindow.data(), msg, wParam, lParam);
}

void TFmAppearanceDialog::Preview(int msg, LPARAM value) {
    FPreviewedAll = FPreviewedAll || AllNotes();
    SendToNotes(msg, kPreview, value);
}

void TFmAppearanceDialog::Commit(int msg, LPARAM value) {
    // Apply-to-all was cleared after a preview reached every note: those others
    // go back to what they keep, and only the opener takes the value.
    if (FPreviewedAll && !AllNotes())
        ToAll(msg, kRevert, value);
    SendToNotes(msg, kCommit, value);
}

void TFmAppearanceDialog::Revert(int msg, LPARAM value) {
    if (FPreviewedAll)
        ToAll(msg, kRevert, value);
    else
        SendToNotes(msg, kRevert, value);
}

void TFmAppearanceDialog::WMUpdateLanguage() {
    const TLanguageObject& l = Language();
    chkApply2AllNote->setText(l.FmSetTranschkApply2AllNote_Caption());
    btnOK->setText(l.OthersbtnOK_Caption());
    btnCancel->setText(l.OthersbtnCancel_Caption());
}
