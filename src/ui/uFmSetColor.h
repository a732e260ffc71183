#pragma once
// The text colour dialog: a colour is picked from a hue-by-lightness picture,
// shown on the opening note (or every note) while the user picks, and kept or
// given up when the dialog closes.

#include "ui/uFmAppearanceDialog.h"

#include <QImage>
#include <QWidget>
#include <optional>

class QFrame;
class QGroupBox;

// A filled rectangle or an outlined circle, as the swatch and the marker.
class TShape : public QWidget {
public:
    enum TShapeType { stRectangle, stCircle };
    TShape(TShapeType shape, QWidget* parent);

    // Colours are 0x00BBGGRR values, as notes store them.
    void SetBrushColor(qint32 color);
    // Black while no colour has been set.
    [[nodiscard]] qint32 BrushColor() const { return FBrush.value_or(0); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    TShapeType FShape;
    std::optional<qint32> FBrush;
};

class TFmSetColor : public TFmAppearanceDialog {
    Q_OBJECT
public:
    explicit TFmSetColor(QWidget* owner, const TLanguageObject* language = nullptr);

    QGroupBox* grpTextColor;
    QWidget* ImgColorPalette;
    // The marker on the palette at the current colour.
    TShape* Shape2;
    // The swatch: its colour is the dialog's current colour. The opener fills it
    // with the note's text colour before showing the dialog.
    TShape* Shape1;
    QFrame* bvlSeparator;

    // The 256 x 256 palette picture, hue by column and lightness by row; the same
    // picture for every dialog of the process.
    [[nodiscard]] static const QImage& PaletteImage();
    [[nodiscard]] static qint32 PaletteColor(int x, int y);

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;
    void WMUpdateLanguage() override;

private:
    void PlaceMarker(int x, int y);
    void PickAt(QPoint pos);
};
