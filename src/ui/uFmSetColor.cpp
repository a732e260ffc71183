#include "ui/uFmSetColor.h"

#include "lang/uLanguageObject.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace {

constexpr int kPaletteSize = 256;

[[nodiscard]] qint32 ColorValue(QRgb rgb) {
    return qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16);
}
[[nodiscard]] QColor QColorOf(qint32 color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// How each row of the palette mixes its column's full hue (Chroma) with white
// (White), in channel units, at a few rows: white at the top, the pure hue in
// the middle two rows, black at the bottom, and softened towards grey between.
// A channel is floor(Chroma * the hue's share + White); the fractions keep these
// rows on whole channel values after the floor. Rows in between follow a
// monotone cubic through the points, so the chart has no bands or overshoot.
struct TProfilePoint {
    double Row;
    double Chroma;
    double White;
};
constexpr std::array<TProfilePoint, 6> kProfile{{
    {0, 0, 254.5},
    {64, 146.3, 87.2},
    {127, 255, 0},
    {128, 255, 0},
    {191, 144, 23.5},
    {255, 2.5, 0},
}};

// Monotone cubic (Fritsch-Butland) through the profile's values of one kind.
double ProfileAt(double row, double TProfilePoint::*value) {
    constexpr size_t n = kProfile.size();
    std::array<double, n - 1> slope{};
    for (size_t k = 0; k + 1 < n; ++k)
        slope[k] = (kProfile[k + 1].*value - kProfile[k].*value) / (kProfile[k + 1].Row - kProfile[k].Row);
    auto tangent = [&](size_t k) {
        if (k == 0)
            return slope[0];
        if (k == n - 1)
            return slope[n - 2];
        const double a = slope[k - 1], b = slope[k];
        return a * b <= 0 ? 0.0 : 2 * a * b / (a + b);
    };
    size_t k = 0;
    while (k + 2 < n && row > kProfile[k + 1].Row)
        ++k;
    const double h = kProfile[k + 1].Row - kProfile[k].Row;
    const double t = (row - kProfile[k].Row) / h;
    const double t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * (kProfile[k].*value) + (t3 - 2 * t2 + t) * h * tangent(k) +
           (-2 * t3 + 3 * t2) * (kProfile[k + 1].*value) + (t3 - t2) * h * tangent(k + 1);
}

// The fully saturated colour of a column, each channel 0..1: red, yellow, green,
// cyan, blue, magenta and back to red across the width, taken at the column's middle.
std::array<double, 3> HueOfColumn(int x) {
    const double h = (x + 0.5) * 6.0 / kPaletteSize;
    const int sector = int(h);
    const double f = h - sector;
    switch (sector) {
    case 0:
        return {1, f, 0};
    case 1:
        return {1 - f, 1, 0};
    case 2:
        return {0, 1, f};
    case 3:
        return {0, 1 - f, 1};
    case 4:
        return {f, 0, 1};
    default:
        return {1, 0, 1 - f};
    }
}

QImage BuildPalette() {
    QImage img(kPaletteSize, kPaletteSize, QImage::Format_RGB32);
    for (int y = 0; y < kPaletteSize; ++y) {
        const double chroma = ProfileAt(y, &TProfilePoint::Chroma);
        const double white = ProfileAt(y, &TProfilePoint::White);
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kPaletteSize; ++x) {
            const std::array<double, 3> hue = HueOfColumn(x);
            int c[3];
            for (int i = 0; i < 3; ++i)
                c[i] = std::clamp(int(std::floor(chroma * hue[i] + white)), 0, 255);
            line[x] = qRgb(c[0], c[1], c[2]);
        }
    }
    return img;
}

// The picture the user picks from; it reports the position under a held left button.
class TPaletteImage : public QWidget {
public:
    TPaletteImage(QWidget* parent, std::function<void(QPoint)> onPick)
        : QWidget(parent), FOnPick(std::move(onPick)) {}

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, TFmSetColor::PaletteImage()); }
    // A press picks too, so that a click without moving chooses the colour under it.
    void mousePressEvent(QMouseEvent* e) override { pick(e); }
    void mouseMoveEvent(QMouseEvent* e) override { pick(e); }

private:
    void pick(QMouseEvent* e) {
        if (e->buttons() & Qt::LeftButton)
            FOnPick(e->position().toPoint());
    }
    std::function<void(QPoint)> FOnPick;
};

} // namespace

TShape::TShape(TShapeType shape, QWidget* parent) : QWidget(parent), FShape(shape) {}

void TShape::SetBrushColor(qint32 color) {
    FBrush = color;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(Qt::black);
    if (FBrush)
        p.setBrush(QColorOf(*FBrush));
    const QRect r = rect().adjusted(0, 0, -1, -1);
    if (FShape == stCircle)
        p.drawEllipse(r);
    else
        p.drawRect(r);
}

const QImage& TFmSetColor::PaletteImage() {
    static const QImage palette = BuildPalette();
    return palette;
}

qint32 TFmSetColor::PaletteColor(int x, int y) {
    return ColorValue(PaletteImage().pixel(x, y));
}

TFmSetColor::TFmSetColor(QWidget* owner, const TLanguageObject* language)
    : TFmAppearanceDialog(owner, language, QSize(353, 360)), grpTextColor(new QGroupBox(this)),
      ImgColorPalette(new TPaletteImage(grpTextColor, [this](QPoint pos) { PickAt(pos); })),
      Shape2(new TShape(TShape::stCircle, grpTextColor)), Shape1(new TShape(TShape::stRectangle, this)),
      bvlSeparator(new QFrame(this)) {
    ImgColorPalette->setFixedSize(kPaletteSize, kPaletteSize);
    auto* chart = new QVBoxLayout(grpTextColor);
    chart->setContentsMargins(6, 4, 6, 6);
    chart->addWidget(ImgColorPalette);
    // The marker floats over the chart, outside any layout.
    Shape2->setGeometry(0, 0, 5, 5);
    Shape2->setAttribute(Qt::WA_TransparentForMouseEvents);
    Shape2->raise();
    Shape2->hide();
    Shape1->setFixedSize(65, 65);
    bvlSeparator->setFrameShape(QFrame::HLine);
    bvlSeparator->setFrameShadow(QFrame::Sunken);
    bvlSeparator->setFixedHeight(2);
    btnOK->setMinimumSize(65, 25);
    btnCancel->setMinimumSize(66, 25);
    auto* swatch = new QVBoxLayout;
    swatch->setContentsMargins(0, 19, 0, 0);
    swatch->addWidget(Shape1);
    swatch->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(grpTextColor);
    top->addLayout(swatch);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addLayout(top, 1);
    main->addWidget(chkApply2AllNote);
    main->addWidget(bvlSeparator);
    main->addLayout(buttons);
    UseLayout(main);
    SendMessageW(this, WM_UPDATELANGUAGE);
}

void TFmSetColor::PlaceMarker(int x, int y) {
    Shape2->move(ImgColorPalette->pos() + QPoint(x, y));
    Shape2->show();
}

void TFmSetColor::showEvent(QShowEvent* e) {
    // The marker ends on the first match, from the top, of the rightmost column
    // that holds the swatch's colour.
    const qint32 color = Shape1->BrushColor();
    for (int x = 0; x < kPaletteSize; ++x)
        for (int y = 0; y < kPaletteSize; ++y)
            if (PaletteColor(x, y) == color) {
                PlaceMarker(x, y);
                break;
            }
    TFmAppearanceDialog::showEvent(e);
}

void TFmSetColor::PickAt(QPoint pos) {
    // Column 0 and row 0 are never picked.
    if (pos.x() < 1 || pos.y() < 1 || pos.x() >= kPaletteSize || pos.y() >= kPaletteSize)
        return;
    const qint32 color = PaletteColor(pos.x(), pos.y());
    PlaceMarker(pos.x(), pos.y());
    Shape1->SetBrushColor(color);
    Preview(WM_SETFONTCOLOR, color);
}

void TFmSetColor::accept() {
    Commit(WM_SETFONTCOLOR, Shape1->BrushColor());
    TFmAppearanceDialog::accept();
}

void TFmSetColor::reject() {
    // The close box and Escape come here too: a previewed colour never stays
    // on a note without being kept or given up.
    Revert(WM_SETFONTCOLOR, Shape1->BrushColor());
    TFmAppearanceDialog::reject();
}

void TFmSetColor::WMUpdateLanguage() {
    TFmAppearanceDialog::WMUpdateLanguage();
    setWindowTitle(Language().FmSetTextColorCaption());
    grpTextColor->setTitle(Language().FmSetTextColorgrpTextColor_Caption());
}
