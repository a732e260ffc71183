#pragma once
// The transparency dialog: a slider in percent of opacity, shown on the opening
// note (or every note) while it moves, and kept or given up when the dialog closes.

#include "ui/uFmAppearanceDialog.h"

class QGroupBox;
class QSlider;

class TFmSetTransValue : public TFmAppearanceDialog {
    Q_OBJECT
public:
    explicit TFmSetTransValue(QWidget* owner, const TLanguageObject* language = nullptr);

    QGroupBox* GroupBox1;
    // Percent, 20 to 100. The opener sets it from the note's alpha before showing
    // the dialog; only changes while the dialog is shown are previewed.
    QSlider* TrackBar1;

    // Slider position and window alpha (0..255) into each other, truncating.
    [[nodiscard]] static int AlphaOfPosition(int position) { return position * 255 / 100; }
    [[nodiscard]] static int PositionOfAlpha(int alpha) { return alpha * 100 / 255; }

    void accept() override;
    void reject() override;

protected:
    void WMUpdateLanguage() override;

private:
    [[nodiscard]] int Alpha() const;
};
