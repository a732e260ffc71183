// The text colour, font and transparency dialogs, driven by mouse and keyboard
// against stand-in note windows that record the messages they are sent.

#include "lang/uLanguageObject.h"
#include "platform/gui/uWindows.h"
#include "ui/uFmFont.h"
#include "ui/uFmSetColor.h"
#include "ui/uFmSetTransValue.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using TMsg = std::tuple<int, WPARAM, LPARAM>;

// Stands in for a note window: keeps what it is sent.
class TFakeNote : public QWidget {
public:
    explicit TFakeNote(const QString& title = QString::fromLatin1(kNoteWindowTitle)) {
        setWindowTitle(title);
    }

    bool event(QEvent* e) override {
        const int type = e->type();
        if (type != WM_SETTRANS && type != WM_SETFONTCOLOR && type != WM_SETNOTEFONT)
            return QWidget::event(e);
        auto& m = static_cast<TWinMessage&>(*e);
        Seen.append({type, m.WParam, m.LParam});
        // The record is only valid while the message is handled.
        if (type == WM_SETNOTEFONT)
            Fonts.append(*reinterpret_cast<const TFontInfo*>(m.LParam));
        return true;
    }

    QList<TMsg> Seen;
    QList<TFontInfo> Fonts;
};

// What the note menu hands a dialog to reach every note window: here these.
[[nodiscard]] std::function<void(int, WPARAM, LPARAM)> ToEach(const QList<QWidget*>& notes) {
    return [notes](int msg, WPARAM wParam, LPARAM lParam) {
        for (QWidget* n : notes)
            SendMessageW(n, msg, wParam, lParam);
    };
}

[[nodiscard]] qint32 Bgr(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}

// Presses the left button at one palette position and drags through the others.
void DragOnPalette(TFmSetColor& dlg, const QList<QPoint>& path) {
    QWidget* img = dlg.ImgColorPalette;
    QTest::mousePress(img, Qt::LeftButton, Qt::NoModifier, path.first());
    for (const QPoint& p : path.mid(1)) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), img->mapToGlobal(QPointF(p)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(img, &move);
    }
    QTest::mouseRelease(img, Qt::LeftButton, Qt::NoModifier, path.last());
}

// The ways a dialog can be closed, and the wParam a previewing dialog sends then.
struct TClosing {
    const char* Name;
    std::function<void(TFmAppearanceDialog&)> Close;
    WPARAM Sent;
};
const QList<TClosing>& Closings() {
    static const QList<TClosing> closings{
        {"OK", [](TFmAppearanceDialog& d) { QTest::mouseClick(d.btnOK, Qt::LeftButton); }, 2},
        {"Cancel", [](TFmAppearanceDialog& d) { QTest::mouseClick(d.btnCancel, Qt::LeftButton); }, 1},
        {"close box", [](TFmAppearanceDialog& d) { d.close(); }, 1},
        {"Escape", [](TFmAppearanceDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 1},
    };
    return closings;
}

} // namespace

TEST(ColorPalette, TellingPixelsAndHues) {
    struct {
        int X, Y, R, G, B;
    } const pixels[] = {
        {0, 0, 254, 254, 254}, {128, 0, 254, 254, 254}, {255, 0, 254, 254, 254}, {0, 64, 233, 88, 87},
        {0, 127, 255, 2, 0},   {0, 128, 255, 2, 0},     {0, 191, 167, 25, 23},   {0, 255, 2, 0, 0},
    };
    for (const auto& p : pixels)
        EXPECT_EQ(TFmSetColor::PaletteColor(p.X, p.Y), Bgr(p.R, p.G, p.B)) << p.X << "," << p.Y;

    // The saturated middle row walks the hue circle: each landmark column has its
    // full channels near 255 and its absent ones near 0.
    struct {
        int X;
        bool R, G, B;
    } const hues[] = {
        {0, true, false, false},   {43, true, true, false},   {85, false, true, false},
        {128, false, true, true},  {171, false, false, true}, {213, true, false, true},
        {255, true, false, false},
    };
    for (const auto& h : hues) {
        const QColor c = TFmSetColor::PaletteImage().pixelColor(h.X, 127);
        for (auto [full, value] : {std::pair{h.R, c.red()}, {h.G, c.green()}, {h.B, c.blue()}})
            EXPECT_TRUE(full ? value >= 240 : value <= 15)
                << "column " << h.X << " " << c.name().toStdString();
    }
}

TEST(ColorPalette, EveryColumnDarkensFromWhiteToBlackWithoutBands) {
    const QImage& img = TFmSetColor::PaletteImage();
    ASSERT_EQ(img.size(), QSize(256, 256));
    for (int x = 0; x < 256; ++x) {
        int previous = 255;
        for (int y = 0; y < 256; ++y) {
            // Lightness as (max + min) / 2; a channel's rounding may lift it by one.
            const int light = img.pixelColor(x, y).lightness();
            ASSERT_LE(light, previous + 1) << x << "," << y;
            // Neighbouring rows stay close: a smooth chart, no steps.
            ASSERT_LE(previous - light, 3) << x << "," << y;
            previous = light;
        }
    }
}

TEST(ColorDialog, TheMarkerFindsTheSwatchColourOnShow) {
    struct {
        qint32 Color;
        bool Visible;
        QPoint At; // on the picture
    } const cases[] = {
        // Near white fills the top row: the rightmost column wins.
        {Bgr(254, 254, 254), true, QPoint(255, 0)},
        {TFmSetColor::PaletteColor(0, 64), true, QPoint(0, 64)},
        // A grey the chart does not hold.
        {Bgr(128, 128, 128), false, {}},
    };
    for (const auto& c : cases) {
        TFmSetColor dlg(nullptr);
        dlg.Shape1->SetBrushColor(c.Color);
        dlg.show();
        EXPECT_EQ(dlg.Shape2->isVisible(), c.Visible) << c.Color;
        if (c.Visible) {
            EXPECT_EQ(dlg.Shape2->pos(), dlg.ImgColorPalette->pos() + c.At) << c.Color;
        }
    }
}

TEST(ColorDialog, PressingAndDraggingPreviewsThePixelUnderThePointer) {
    TFakeNote note;
    TFmSetColor dlg(&note);
    dlg.NoteWindow = &note;
    dlg.Shape1->SetBrushColor(Bgr(0, 0, 0));
    dlg.show();

    // Outside the picture, column 0 and row 0 pick nothing.
    DragOnPalette(dlg, {{100, 50}, {0, 60}, {60, 0}, {300, 40}, {-3, 40}, {150, 200}, {256, 10}});
    const qint32 first = TFmSetColor::PaletteColor(100, 50), last = TFmSetColor::PaletteColor(150, 200);
    EXPECT_EQ(note.Seen, (QList<TMsg>{{WM_SETFONTCOLOR, 0, first}, {WM_SETFONTCOLOR, 0, last}}));
    EXPECT_EQ(dlg.Shape1->BrushColor(), last);
    EXPECT_TRUE(dlg.Shape2->isVisible());
    EXPECT_EQ(dlg.Shape2->pos(), dlg.ImgColorPalette->pos() + QPoint(150, 200));

    note.Seen.clear();
    DragOnPalette(dlg, {{1, 1}, {255, 255}});
    EXPECT_EQ(note.Seen, (QList<TMsg>{{WM_SETFONTCOLOR, 0, TFmSetColor::PaletteColor(1, 1)},
                                      {WM_SETFONTCOLOR, 0, TFmSetColor::PaletteColor(255, 255)}}));

    // Moving without the button held is no pick.
    note.Seen.clear();
    QTest::mouseMove(dlg.ImgColorPalette, QPoint(30, 30));
    EXPECT_TRUE(note.Seen.isEmpty());
}

TEST(ColorDialog, ClosingKeepsOrGivesUpTheCurrentColour) {
    for (const TClosing& closing : Closings()) {
        TFakeNote note, other;
        TFmSetColor dlg(&note);
        dlg.NoteWindow = &note;
        dlg.ToAllNotes = ToEach({&note, &other});
        dlg.Shape1->SetBrushColor(Bgr(0, 0, 255));
        dlg.show();
        closing.Close(dlg);
        // Without a pick the note's own colour goes back, as kept or as given up.
        EXPECT_EQ(note.Seen, (QList<TMsg>{{WM_SETFONTCOLOR, closing.Sent, Bgr(0, 0, 255)}})) << closing.Name;
        EXPECT_TRUE(other.Seen.isEmpty()) << closing.Name;
        EXPECT_FALSE(dlg.isVisible()) << closing.Name;
        EXPECT_EQ(dlg.result(), closing.Sent == 2 ? QDialog::Accepted : QDialog::Rejected) << closing.Name;
    }
}

TEST(ColorDialog, ApplyToAllPreviewsAndEndsOnEveryNoteWindow) {
    for (const TClosing& closing : Closings()) {
        TFakeNote note, other, hidden, notANote(QStringLiteral("Zuvo Note 2"));
        note.show();
        other.show();
        TFmSetColor dlg(&note);
        dlg.NoteWindow = &note;
        dlg.ToAllNotes = ToEach({&note, &other, &hidden});
        dlg.show();
        dlg.chkApply2AllNote->setChecked(true);
        DragOnPalette(dlg, {{40, 90}});
        closing.Close(dlg);
        const qint32 c = TFmSetColor::PaletteColor(40, 90);
        const QList<TMsg> expected{{WM_SETFONTCOLOR, 0, c}, {WM_SETFONTCOLOR, closing.Sent, c}};
        EXPECT_EQ(note.Seen, expected) << closing.Name;
        EXPECT_EQ(other.Seen, expected) << closing.Name;
        EXPECT_EQ(hidden.Seen, expected) << closing.Name;
        EXPECT_TRUE(notANote.Seen.isEmpty()) << closing.Name;
    }
}

TEST(ColorDialog, ClearingApplyToAllAfterAPreviewLeavesNoOtherNotePreviewed) {
    TFakeNote note, other;
    TFmSetColor dlg(&note);
    dlg.NoteWindow = &note;
    dlg.ToAllNotes = ToEach({&note, &other});
    dlg.show();
    dlg.chkApply2AllNote->setChecked(true);
    DragOnPalette(dlg, {{40, 90}});
    dlg.chkApply2AllNote->setChecked(false);
    DragOnPalette(dlg, {{70, 20}});
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);

    const qint32 a = TFmSetColor::PaletteColor(40, 90), b = TFmSetColor::PaletteColor(70, 20);
    EXPECT_EQ(note.Seen, (QList<TMsg>{{WM_SETFONTCOLOR, 0, a},
                                      {WM_SETFONTCOLOR, 0, b},
                                      {WM_SETFONTCOLOR, 1, b},
                                      {WM_SETFONTCOLOR, 2, b}}));
    EXPECT_EQ(other.Seen, (QList<TMsg>{{WM_SETFONTCOLOR, 0, a}, {WM_SETFONTCOLOR, 1, b}}));
}

TEST(ColorDialog, AModalRunEndsThroughItsButtons) {
    TFakeNote note;
    TFmSetColor dlg(&note);
    dlg.NoteWindow = &note;
    dlg.Shape1->SetBrushColor(Bgr(10, 20, 30));
    QTimer::singleShot(0, &dlg, [&] {
        DragOnPalette(dlg, {{200, 100}});
        QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    const qint32 c = TFmSetColor::PaletteColor(200, 100);
    EXPECT_EQ(note.Seen, (QList<TMsg>{{WM_SETFONTCOLOR, 0, c}, {WM_SETFONTCOLOR, 2, c}}));
}

namespace {

void ClickEntry(QListWidget* list, const QString& text) {
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << text.toStdString();
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(found.first()).center());
}

// On the box itself: the dialogs' captions are empty without a language file.
void ClickBox(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
}

[[nodiscard]] QString Selected(const QListWidget* list) {
    const QList<QListWidgetItem*> s = list->selectedItems();
    return s.isEmpty() ? QString() : s.first()->text();
}

} // namespace

TEST(FontDialog, ListsTheInstalledFamiliesAndTheSizesEightToTwenty) {
    TFmSetFont dlg(nullptr);
    QStringList names;
    for (int i = 0; i < dlg.lstFontName->count(); ++i)
        names.append(dlg.lstFontName->item(i)->text());
    EXPECT_EQ(names, QFontDatabase::families());
    EXPECT_TRUE(names.contains(QStringLiteral("DejaVu Sans")));

    QStringList sizes;
    for (int i = 0; i < dlg.lbFontSize->count(); ++i)
        sizes.append(dlg.lbFontSize->item(i)->text());
    EXPECT_EQ(sizes, QString("8 9 10 11 12 13 14 15 16 17 18 19 20").split(' '));
}

TEST(FontDialog, OpensOnTheNotesFontAndSendsWhatIsChosenOnlyOnOK) {
    struct {
        QString Name;
        int Size;
        bool Bold;
        QString SelectedName, SelectedSize; // empty: nothing selected
    } const cases[] = {
        {"DejaVu Serif", 12, true, "DejaVu Serif", "12"},
        {"dejavu sans", 20, false, "DejaVu Sans", "20"},
        // Neither in the lists: OK sends them as the note has them.
        {"Tahoma", 24, false, "", ""},
    };
    for (const auto& c : cases) {
        TFakeNote note;
        TFmSetFont dlg(&note);
        dlg.NoteWindow = &note;
        dlg.SetNoteFont(c.Name, c.Size, c.Bold);
        dlg.show();
        EXPECT_EQ(Selected(dlg.lstFontName), c.SelectedName);
        EXPECT_EQ(Selected(dlg.lbFontSize), c.SelectedSize);
        EXPECT_EQ(dlg.chkFontBold->isChecked(), c.Bold);
        EXPECT_EQ(dlg.pnlPreview->font().pointSize(), c.Size);
        EXPECT_EQ(dlg.pnlPreview->font().bold(), c.Bold);

        QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
        ASSERT_EQ(note.Seen.size(), 1);
        EXPECT_EQ(std::get<0>(note.Seen[0]), WM_SETNOTEFONT);
        EXPECT_EQ(std::get<1>(note.Seen[0]), 0);
        const TFontInfo& f = note.Fonts[0];
        EXPECT_EQ(f.FontName, c.SelectedName.isEmpty() ? c.Name : c.SelectedName);
        EXPECT_EQ(f.FontSize, c.Size);
        EXPECT_EQ(f.FontBold, c.Bold);
    }
}

TEST(FontDialog, ClicksChangeThePreviewButNoNoteUntilOK) {
    TFakeNote note, other, notANote(QStringLiteral("Zuvo"));
    TFmSetFont dlg(&note);
    dlg.NoteWindow = &note;
    dlg.ToAllNotes = ToEach({&note, &other});
    dlg.SetNoteFont(QStringLiteral("Tahoma"), 9, false);
    dlg.show();

    ClickEntry(dlg.lbFontSize, QStringLiteral("16"));
    EXPECT_EQ(dlg.pnlPreview->font().pointSize(), 16);
    ClickEntry(dlg.lstFontName, QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(dlg.pnlPreview->font().family(), QStringLiteral("DejaVu Serif"));
    ClickBox(dlg.chkFontBold);
    EXPECT_TRUE(dlg.pnlPreview->font().bold());
    // The dialog's own texts keep the dialog's font.
    EXPECT_FALSE(dlg.chkFontBold->font().bold());
    EXPECT_TRUE(note.Seen.isEmpty());

    ClickBox(dlg.chkApply2AllNote);
    QTest::mouseClick(dlg.btnOK, Qt::LeftButton);
    for (TFakeNote* n : {&note, &other}) {
        ASSERT_EQ(n->Fonts.size(), 1);
        EXPECT_EQ(n->Fonts[0].FontName, QStringLiteral("DejaVu Serif"));
        EXPECT_EQ(n->Fonts[0].FontSize, 16);
        EXPECT_TRUE(n->Fonts[0].FontBold);
    }
    EXPECT_TRUE(notANote.Seen.isEmpty());
}

TEST(FontDialog, EveryOtherWayOutSendsNothing) {
    for (const TClosing& closing : Closings()) {
        if (closing.Sent == 2)
            continue;
        TFakeNote note, other;
        TFmSetFont dlg(&note);
        dlg.NoteWindow = &note;
        dlg.ToAllNotes = ToEach({&note, &other});
        dlg.show();
        dlg.chkApply2AllNote->setChecked(true);
        ClickEntry(dlg.lbFontSize, QStringLiteral("18"));
        closing.Close(dlg);
        EXPECT_FALSE(dlg.isVisible()) << closing.Name;
        EXPECT_TRUE(note.Seen.isEmpty()) << closing.Name;
        EXPECT_TRUE(other.Seen.isEmpty()) << closing.Name;
    }
}

TEST(TransparencyDialog, SliderMovesPreviewTheAlphaOfThePosition) {
    TFakeNote note;
    TFmSetTransValue dlg(&note);
    dlg.NoteWindow = &note;
    dlg.TrackBar1->setValue(TFmSetTransValue::PositionOfAlpha(200));
    dlg.show();
    EXPECT_EQ(dlg.TrackBar1->value(), 78);
    // Setting the start position before showing previews nothing.
    EXPECT_TRUE(note.Seen.isEmpty());

    struct {
        Qt::Key Key;
        int Position, Alpha;
    } const moves[] = {
        {Qt::Key_Right, 79, 201}, {Qt::Key_PageUp, 89, 226}, {Qt::Key_End, 100, 255},
        {Qt::Key_Left, 99, 252},  {Qt::Key_Home, 20, 51},
    };
    for (const auto& m : moves) {
        note.Seen.clear();
        QTest::keyClick(dlg.TrackBar1, m.Key);
        EXPECT_EQ(dlg.TrackBar1->value(), m.Position) << m.Position;
        EXPECT_EQ(note.Seen, (QList<TMsg>{{WM_SETTRANS, 0, m.Alpha}})) << m.Position;
    }
    // Not below 20 percent: never more transparent than alpha 51.
    note.Seen.clear();
    QTest::keyClick(dlg.TrackBar1, Qt::Key_Left);
    dlg.TrackBar1->setValue(5);
    EXPECT_EQ(dlg.TrackBar1->value(), 20);
    EXPECT_TRUE(note.Seen.isEmpty());

    const QRect groove = dlg.TrackBar1->rect();
    QTest::mouseClick(dlg.TrackBar1, Qt::LeftButton, Qt::NoModifier,
                      QPoint(groove.right() - 2, groove.center().y()));
    ASSERT_FALSE(note.Seen.isEmpty());
    EXPECT_EQ(note.Seen.last(),
              TMsg(WM_SETTRANS, 0, TFmSetTransValue::AlphaOfPosition(dlg.TrackBar1->value())));
    EXPECT_GT(dlg.TrackBar1->value(), 20);
}

TEST(TransparencyDialog, ClosingKeepsOrGivesUpTheAlphaOfThePosition) {
    for (const TClosing& closing : Closings()) {
        for (bool all : {false, true}) {
            TFakeNote note, other;
            TFmSetTransValue dlg(&note);
            dlg.NoteWindow = &note;
            dlg.ToAllNotes = ToEach({&note, &other});
            dlg.TrackBar1->setValue(TFmSetTransValue::PositionOfAlpha(200));
            dlg.show();
            dlg.chkApply2AllNote->setChecked(all);
            closing.Close(dlg);
            // An untouched slider still ends with the alpha of its position: 78 % is 198.
            const QList<TMsg> expected{{WM_SETTRANS, closing.Sent, 198}};
            EXPECT_EQ(note.Seen, expected) << closing.Name << all;
            EXPECT_EQ(other.Seen, all ? expected : QList<TMsg>{}) << closing.Name << all;
        }
    }
}

TEST(AppearanceDialogs, TextsComeFromTheLanguageTable) {
    TLanguageObject chinese;
    ASSERT_TRUE(chinese.LoadFromFile(QStringLiteral(ZUVO_SOURCE_DIR "/resources/languages/Chinese.lng")));
    // A file without these sections gives every text its English default.
    QTemporaryFile emptyFile;
    ASSERT_TRUE(emptyFile.open());
    TLanguageObject english;
    ASSERT_TRUE(english.LoadFromFile(emptyFile.fileName()));

    struct {
        const TLanguageObject* Language;
        QStringList Expected;
    } const languages[] = {
        {&chinese,
         {"文字颜色", "文字颜色", "字体", "字体名称", "字号", "文字样式", "粗体(&B)", "预览", "透明度",
          "透明度", "应用到所有便签(&A)", "确定", "取消"}},
        {&english,
         {"Text Color", "Text Color", "Font", "Font Name", "Font Size", "Text Style", "&Bold", "Preview",
          "Transparency", "Transparency", "&Apply to all notes", "OK", "Cancel"}},
    };
    for (const auto& l : languages) {
        TFmSetColor color(nullptr, l.Language);
        TFmSetFont font(nullptr, l.Language);
        TFmSetTransValue trans(nullptr, l.Language);
        const QStringList seen{
            color.windowTitle(),       color.grpTextColor->title(),    font.windowTitle(),
            font.grpFontName->title(), font.grpFontSize->title(),      font.grpTextStyle->title(),
            font.chkFontBold->text(),  font.pnlPreview->text(),        trans.windowTitle(),
            trans.GroupBox1->title(),  trans.chkApply2AllNote->text(), trans.btnOK->text(),
            trans.btnCancel->text()};
        EXPECT_EQ(seen, l.Expected);
        for (TFmAppearanceDialog* d :
             {static_cast<TFmAppearanceDialog*>(&color), static_cast<TFmAppearanceDialog*>(&font)})
            EXPECT_EQ(QStringList({d->chkApply2AllNote->text(), d->btnOK->text(), d->btnCancel->text()}),
                      l.Expected.mid(10));
    }
}
