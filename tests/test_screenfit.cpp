// Notes that screens no longer show are brought back: the rule alone, for the
// arrangements people meet (one screen, two side by side, the second unplugged).

#include "app/uScreenWatch.h"
#include "data/uScreenFit.h"
#include "support/NoteWindowFixture.h"

#include <gtest/gtest.h>

namespace {

const TScreenArea kLeft{QRect(0, 0, 1280, 1024), QRect(0, 0, 1280, 994)}; // a panel at the bottom
const TScreenArea kRight{QRect(1280, 0, 1920, 1080), QRect(1280, 0, 1920, 1080)};

} // namespace

TEST(ScreenFit, UndockedNotesStayUnlessTooLittleOfThemIsVisible) {
    const struct {
        const char* What;
        QRect Note;
        QList<TScreenArea> Screens;
        std::optional<QRect> Expected;
    } cases[] = {
        {"fully visible", QRect(100, 100, 220, 100), {kLeft}, std::nullopt},
        {"40 x 20 still showing at the right", QRect(1240, 500, 220, 100), {kLeft}, std::nullopt},
        {"20 x 20 still showing at the left", QRect(-200, 500, 220, 100), {kLeft}, QRect(0, 500, 220, 100)},
        {"39 wide showing", QRect(1241, 500, 220, 100), {kLeft}, QRect(1060, 500, 220, 100)},
        {"19 high showing at the top", QRect(300, -81, 220, 100), {kLeft}, QRect(300, 0, 220, 100)},
        {"below the panel's screen", QRect(300, 1100, 220, 100), {kLeft}, QRect(300, 894, 220, 100)},
        {"on the second screen", QRect(2000, 300, 220, 100), {kLeft, kRight}, std::nullopt},
        {"across the seam", QRect(1200, 300, 220, 100), {kLeft, kRight}, std::nullopt},
        {"second screen unplugged", QRect(2000, 300, 220, 100), {kLeft}, QRect(1060, 300, 220, 100)},
        {"nearest of two", QRect(3500, 1500, 220, 100), {kLeft, kRight}, QRect(2980, 980, 220, 100)},
        {"larger than the screen", QRect(5000, 0, 1500, 100), {kLeft}, QRect(0, 0, 1500, 100)},
        {"no screen at all", QRect(5000, 0, 220, 100), {}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScreenFit::FitUndocked(c.Note, c.Screens), c.Expected) << c.What;
}

TEST(ScreenFit, DockedStripsKeepTheirEdgeOnTheNearestScreen) {
    const struct {
        const char* What;
        QRect Strip;
        int Edge;
        QList<TScreenArea> Screens;
        std::optional<QRect> Expected;
    } cases[] = {
        {"left edge exists", QRect(0, 300, 16, 60), 0, {kLeft}, std::nullopt},
        {"right edge of the only screen", QRect(1264, 300, 16, 60), 2, {kLeft}, std::nullopt},
        {"top edge", QRect(500, 0, 60, 16), 1, {kLeft}, std::nullopt},
        {"right edge of the second screen", QRect(3184, 300, 16, 60), 2, {kLeft, kRight}, std::nullopt},
        {"right edge of the second screen, unplugged",
         QRect(3184, 300, 16, 60),
         2,
         {kLeft},
         QRect(1264, 300, 16, 60)},
        {"top edge of the second screen, unplugged",
         QRect(2500, 0, 60, 16),
         1,
         {kLeft},
         QRect(1220, 0, 60, 16)},
        {"left edge below a smaller screen", QRect(0, 1040, 16, 60), 0, {kLeft}, QRect(0, 964, 16, 60)},
        {"right edge of a screen that shrank",
         QRect(1904, 100, 16, 60),
         2,
         {kLeft},
         QRect(1264, 100, 16, 60)},
        {"unknown edge", QRect(5000, 5000, 16, 60), 7, {kLeft}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScreenFit::FitDocked(c.Strip, c.Edge, c.Screens), c.Expected) << c.What;
}

namespace {

class ScreenWatchTest : public testenv::NoteWindowFixture {};

} // namespace

TEST_F(ScreenWatchTest, ANoteMovedOntoAScreenKeepsItsHomePlaceAndGoesBackThere) {
    Start("AutoHideNote=1\n", [](TDbConnection& db) {
        AddRow(db, QStringLiteral("SEEN"), QStringLiteral("partly seen"), QRect(1100, 50, 220, 100));
        AddRow(db, QStringLiteral("RIGHT"), QStringLiteral("on the second screen"),
               QRect(2000, 300, 220, 100));
    });
    auto note = [](const char* id) {
        for (TFmNote* n : TFmMain::NoteWindows())
            if (n->NoteId() == QLatin1String(id))
                return n;
        return static_cast<TFmNote*>(nullptr);
    };
    auto storedX = [this](const char* id) {
        return Row(QLatin1String(id)).asInt(0, QStringLiteral("form_x"));
    };
    ASSERT_TRUE(note("RIGHT") && note("SEEN"));
    TScreenWatch& watch = *Main->ScreenWatch();

    // Two screens side by side: everything is visible somewhere.
    EXPECT_EQ(watch.FitAll({kLeft, kRight}), 0);
    EXPECT_EQ(note("RIGHT")->pos(), QPoint(2000, 300));

    // The second screen is unplugged: the note on it comes over; the rest stays.
    // No row changes, and saving the note's look keeps its home place.
    EXPECT_EQ(watch.FitAll({kLeft}), 1);
    EXPECT_EQ(note("RIGHT")->geometry(), QRect(1060, 300, 220, 100));
    EXPECT_EQ(note("SEEN")->pos(), QPoint(1100, 50));
    EXPECT_EQ(storedX("RIGHT"), 2000);
    EXPECT_EQ(storedX("SEEN"), 1100);
    SendMessageW(note("RIGHT"), WM_SAVENOTEATTRS, 0, 0);
    EXPECT_EQ(storedX("RIGHT"), 2000);
    EXPECT_EQ(note("RIGHT")->ShownRecord().Note.FmX, 2000);

    // Looked at again with the screen still gone, it stays; plugged back in, it goes home.
    EXPECT_EQ(watch.FitAll({kLeft}), 0);
    EXPECT_EQ(watch.FitAll({kLeft, kRight}), 1);
    EXPECT_EQ(note("RIGHT")->pos(), QPoint(2000, 300));
    EXPECT_FALSE(note("RIGHT")->HomePlace());

    // A scaling that halves the logical screen moves both; back at scale 1 both return.
    const TScreenArea halved{QRect(0, 0, 640, 512), QRect(0, 0, 640, 497)};
    EXPECT_EQ(watch.FitAll({halved}), 2);
    EXPECT_EQ(note("SEEN")->pos(), QPoint(420, 50));
    EXPECT_EQ(watch.FitAll({kLeft, kRight}), 2);
    EXPECT_EQ(note("SEEN")->pos(), QPoint(1100, 50));
    EXPECT_EQ(note("RIGHT")->pos(), QPoint(2000, 300));

    // Moved away again and then by the user: the user's place is the home place from now on.
    EXPECT_EQ(watch.FitAll({kLeft}), 1);
    TFmNote* right = note("RIGHT");
    ASSERT_TRUE(right->HomePlace());
    DragTo(right, right->pos() - QPoint(200, 0));
    EXPECT_FALSE(right->HomePlace());
    EXPECT_EQ(storedX("RIGHT"), right->x());
    EXPECT_LT(right->x(), 1060);
    EXPECT_EQ(watch.FitAll({kLeft, kRight}), 0);
    EXPECT_EQ(right->x(), storedX("RIGHT"));

    // The real screens of this platform (one of 1280 x 1024) show everything.
    EXPECT_EQ(watch.FitAll(), 0);
    note("SEEN")->move(5000, 50);
    EXPECT_EQ(watch.FitAll(), 1);
    EXPECT_EQ(note("SEEN")->pos(), QPoint(1060, 50));
}
