#pragma once
// The font dialog: font name, size and bold for the opening note or every note,
// sent only when the user presses OK.

#include "data/uDataTypes.h"
#include "ui/uFmAppearanceDialog.h"

class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;

class TFmSetFont : public TFmAppearanceDialog {
    Q_OBJECT
public:
    explicit TFmSetFont(QWidget* owner, const TLanguageObject* language = nullptr);

    QGroupBox* grpFontName;
    QListWidget* lstFontName;
    QGroupBox* grpFontSize;
    QListWidget* lbFontSize;
    QGroupBox* grpTextStyle;
    QCheckBox* chkFontBold;
    QLabel* pnlPreview;
    QFrame* bvlSeparator;

    // The opening note's font: its name and size are selected where the lists hold
    // them, the bold box follows it, and the preview starts from it. A name or
    // size left unselected at OK is sent as the note has it.
    void SetNoteFont(const QString& name, int size, bool bold);

    // What OK sends.
    [[nodiscard]] TFontInfo ChosenFont() const;

    void accept() override;

protected:
    void showEvent(QShowEvent* e) override;
    void WMUpdateLanguage() override;

private:
    void UpdatePreview();

    QString FNoteFontName;
    int FNoteFontSize = 9;
};
