// Edge docking: which drops dock where, the strip on its edge, the click that
// restores, the hover preview, "Hide Automatically" and its hint, and the window
// kept in the shape its row describes when a statement fails.

#include "data/uAppState.h"
#include "note/uNoteDocking.h"
#include "note/uNoteText.h"
#include "platform/uSharedTicker.h"
#include "shared/uIniFile.h"
#include "support/NoteWindowFixture.h"
#include "ui/uFmHint.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>
#include <algorithm>

namespace {

using NoteDocking::kEdgeLeft;
using NoteDocking::kEdgeRight;
using NoteDocking::kEdgeTop;

class Docking : public testenv::NoteWindowFixture {
protected:
    // One note "A" of 220 × 100 at (300, 200), auto-hide on unless config says otherwise.
    TFmNote* StartWithOneNote(const QByteArray& config = "AutoHideNote=1\n") {
        Start(config, [](TDbConnection& db) { AddRow(db, "A", "first line", QRect(300, 200, 220, 100)); });
        TFmNote* n = Note("A");
        EXPECT_TRUE(QTest::qWaitForWindowExposed(n));
        return n;
    }

    // Makes every update of the row fail, as a locked store would.
    void FailUpdates() {
        Main->Db().Exec(QStringLiteral("create trigger lock_notes before update on notes "
                                       "begin select raise(abort, 'database is locked'); end"));
    }

    [[nodiscard]] bool ConfigSays(const QString& section, const QString& key, bool fallback) const {
        return TIniFile(Setup.DataFolder() + QStringLiteral("config.ini")).ReadBool(section, key, fallback);
    }
};

TEST_F(Docking, TheEndOfADragDocksAtTheFirstEdgeItTouches) {
    const int W = Screen().width();
    const int H = Screen().height();
    struct TCase {
        const char* What;
        QPoint Drop;
        bool Docks;
        int Edge;
        QRect Strip;
    } cases[] = {
        {"right edge passed: keeps its top", {W - 200, 300}, true, kEdgeRight, {W - 16, 300, 16, 60}},
        {"right edge just reached", {W - 220, 300}, true, kEdgeRight, {W - 16, 300, 16, 60}},
        {"top-left corner: the left edge wins", {-5, -5}, true, kEdgeLeft, {0, 0, 16, 60}},
        {"left edge at 0", {0, 500}, true, kEdgeLeft, {0, 500, 16, 60}},
        {"top edge: keeps its left", {400, -3}, true, kEdgeTop, {400, 0, 60, 16}},
        {"top edge at 0", {400, 0}, true, kEdgeTop, {400, 0, 60, 16}},
        {"top-right corner: the right edge wins", {W - 100, -40}, true, kEdgeRight, {W - 16, 0, 16, 60}},
        {"left edge below the screen: the strip stays on it",
         {-10, H - 20},
         true,
         kEdgeLeft,
         {0, H - 60, 16, 60}},
        {"one pixel inside every edge", {1, 1}, false, 0, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TFmNote* n = StartWithOneNote();
        DragTo(n, c.Drop);
        const TRowSet r = Row("A");
        EXPECT_EQ(n->IsDocked(), c.Docks);
        EXPECT_EQ(r.asInt(0, "ishiddenmode"), c.Docks ? 1 : 0);
        if (c.Docks) {
            EXPECT_EQ(n->Dock().Edge, c.Edge);
            EXPECT_EQ(n->geometry(), c.Strip);
            EXPECT_EQ(r.asInt(0, "hiddenpos"), c.Edge);
            EXPECT_EQ(QPoint(r.asInt(0, "hiddenposx"), r.asInt(0, "hiddenposy")), c.Strip.topLeft());
            // The undocked place stays what it was before the drag.
            EXPECT_EQ(
                QRect(r.asInt(0, "form_x"), r.asInt(0, "form_y"), r.asInt(0, "form_w"), r.asInt(0, "form_h")),
                QRect(300, 200, 220, 100));
        } else {
            EXPECT_EQ(n->geometry(), QRect(c.Drop, QSize(220, 100)));
            EXPECT_EQ(QPoint(r.asInt(0, "form_x"), r.asInt(0, "form_y")), c.Drop);
        }
        TearDown();
        SetUp();
    }
}

TEST_F(Docking, WithAutoHideOffADragPastTheEdgeNeverDocks) {
    TFmNote* n = StartWithOneNote("AutoHideNote=0\n");
    DragTo(n, QPoint(Screen().width() - 100, -20));
    EXPECT_FALSE(n->IsDocked());
    EXPECT_EQ(n->size(), QSize(220, 100));
    EXPECT_EQ(Row("A").asInt(0, "ishiddenmode"), 0);
}

TEST_F(Docking, AStripSlidesAlongItsEdgeStoresItsPlaceAndAClickRestoresTheNote) {
    const int W = Screen().width();
    TFmNote* n = StartWithOneNote();
    Main->Db().Exec("update notes set form_x=0, form_y=0, form_w=150, form_h=30 where id='A'");
    DragTo(n, QPoint(W - 100, 300));
    ASSERT_TRUE(n->IsDocked());

    // Dragged up and sideways: it stays on the right edge, and its new top is stored.
    DragTo(n, QPoint(W - 400, 120));
    EXPECT_EQ(n->geometry(), QRect(W - 16, 120, 16, 60));
    EXPECT_EQ(Row("A").asInt(0, "hiddenposx"), W - 16);
    EXPECT_EQ(Row("A").asInt(0, "hiddenposy"), 120);
    // Hidden and shown again from the tray, it comes back where it was left.
    SendMessageW(n, WM_HIDENOTE, 0, 0);
    SendMessageW(n, WM_SHOWNOTE, 0, 0);
    EXPECT_EQ(n->geometry(), QRect(W - 16, 120, 16, 60));
    // Dragged only along the edge's normal, the strip does not move: a click.
    DragTo(n, QPoint(W - 300, 120));
    EXPECT_FALSE(n->IsDocked());
    // Stored 0/0/150 × 30: at least (1, 1), 220 wide, 40 high.
    EXPECT_EQ(n->geometry(), QRect(1, 1, 220, 40));
    const TRowSet r = Row("A");
    EXPECT_EQ(r.asInt(0, "ishiddenmode"), 0);
    EXPECT_EQ(r.asInt(0, "hiddenpos"), 0);
    EXPECT_EQ(r.asInt(0, "hiddenposy"), 120);
    // Restored at (1, 1), a note is not docked again until it is dragged to an edge.
    DragTo(n, QPoint(1, 1));
    EXPECT_FALSE(n->IsDocked());
    EXPECT_TRUE(Uploads.isEmpty());
}

TEST_F(Docking, ARestoredNoteFitsTheScreenWidth) {
    const int W = Screen().width();
    TFmNote* n = StartWithOneNote();
    Main->Db().Exec("update notes set form_x=?, form_y=50, form_w=300, form_h=120 where id='A'", {W - 100});
    DragTo(n, QPoint(-30, 400));
    ASSERT_TRUE(n->IsDocked());
    Click(n);
    EXPECT_EQ(n->geometry(), QRect(W - 300 - 1, 50, 300, 120));
}

TEST_F(Docking, DockedNotesIgnoreTheDoubleClickButKeepTheirMenuAndComeBackAsStrips) {
    TFmNote* n = StartWithOneNote();
    DragTo(n, QPoint(500, -10));
    ASSERT_TRUE(n->IsDocked());
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(30, 8), n->mapToGlobal(QPointF(30, 8)),
                    Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(n, &dbl);
    EXPECT_FALSE(n->IsEditing());
    EXPECT_FALSE(n->MenuRemoved());
    EXPECT_TRUE(n->PopupMenu()->actions().contains(n->actDelNote));

    // The next start builds it as the same strip.
    delete n;
    Main->tmrLoadNotesTimer();
    TFmNote* again = Note("A");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->IsDocked());
    EXPECT_EQ(again->geometry(), QRect(500, 0, 60, 16));
}

TEST_F(Docking, ANewNoteMadeFromAStripTakesTheSizeOfTheNoteBehindIt) {
    TFmNote* n = StartWithOneNote();
    Main->Db().Exec("update notes set form_w=260, form_h=130 where id='A'");
    DragTo(n, QPoint(-20, 400));
    ASSERT_TRUE(n->IsDocked());
    Choose(n, &TFmNote::actAddNewNote);
    ASSERT_EQ(TFmMain::NoteWindows().size(), 2);
    for (TFmNote* made : TFmMain::NoteWindows())
        if (made != n) {
            EXPECT_EQ(made->size(), QSize(260, 130));
            EXPECT_EQ(Row(made->NoteId()).asInt(0, "form_w"), 260);
        }
}

TEST_F(Docking, HoveringAStripShowsAReadOnlyPreviewThatLeavesNothingBehind) {
    const int W = Screen().width();
    TFmNote* n = StartWithOneNote();
    Main->Db().Exec("update notes set form_w=150, commited=1 where id='A'");
    NoteRecord look = n->Record();
    look.Note.BGColorIdx = 3;
    n->ShowRecord(look);
    DragTo(n, QPoint(W - 50, 300));
    ASSERT_TRUE(n->IsDocked());
    const int tickers = TSharedTicker::Instance().SubscriberCount();
    const int windows = QApplication::topLevelWidgets().size();

    Enter(n);
    QPointer<TFmNote> p = n->Docking().Preview();
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->IsPreviewMode());
    EXPECT_TRUE(p->isVisible());
    EXPECT_EQ(p->NoteId(), QStringLiteral("A"));
    EXPECT_EQ(p->BgColorIndex(), 3);
    EXPECT_EQ(p->NoteText(), QStringLiteral("first line"));
    EXPECT_EQ(p->width(), 220); // stored 150
    EXPECT_EQ(p->geometry().topLeft(), QPoint(W - 220 - 18, 300));
    EXPECT_FALSE(p->EditorFont().bold());

    // It changes nothing: no messages, no timers, no menu.
    SendMessageW(p, WM_SETTRANS, 2, 50);
    SendMessageW(p, WM_SAVENOTEATTRS, 0, 0);
    SendMessageW(p, WM_CHECKNOTEEXISTS, 0, 0);
    TSharedTicker::Instance().TickNow();
    EXPECT_EQ(Row("A").asInt(0, "commited"), 1);
    EXPECT_TRUE(Uploads.isEmpty());

    Leave(n);
    EXPECT_TRUE(p.isNull());
    EXPECT_EQ(n->Docking().Preview(), nullptr);
    EXPECT_EQ(TSharedTicker::Instance().SubscriberCount(), tickers);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    // Undocked notes have no preview.
    Click(n);
    Enter(n);
    EXPECT_EQ(n->Docking().Preview(), nullptr);
}

TEST_F(Docking, AStripGoneWhileItsPreviewShowsTakesThePreviewWithIt) {
    Start("AutoHideNote=1\n", [](TDbConnection& db) {
        AddRow(db, "A", "a", QRect(300, 200, 220, 100));
        AddRow(db, "B", "b", QRect(300, 400, 220, 100));
    });
    TFmNote* a = Note("A");
    DragTo(a, QPoint(-30, 200));
    Enter(a);
    QPointer<TFmNote> p = a->Docking().Preview();
    ASSERT_TRUE(p);
    delete a;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(p.isNull());

    // One sweep over every note window, strip first, as a shutdown might do.
    TFmNote* b = Note("B");
    DragTo(b, QPoint(-30, 400));
    Enter(b);
    ASSERT_TRUE(b->Docking().Preview());
    QList<TFmNote*> all = TFmMain::NoteWindows();
    std::stable_partition(all.begin(), all.end(), [](TFmNote* w) { return !w->IsPreviewMode(); });
    for (TFmNote* w : all)
        delete w;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(TFmMain::NoteWindows().isEmpty());
}

TEST_F(Docking, PressingTheStripTakesItsPreviewAway) {
    TFmNote* n = StartWithOneNote();
    DragTo(n, QPoint(-30, 200));
    Enter(n);
    QPointer<TFmNote> p = n->Docking().Preview();
    ASSERT_TRUE(p);
    QTest::mousePress(n, Qt::LeftButton, {}, n->rect().center());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(p.isNull());
    QTest::mouseRelease(n, Qt::LeftButton, {}, n->rect().center());
}

TEST_F(Docking, APreviewSitsBesideItsStripAndWalksBackIntoTheScreen) {
    Start("AutoHideNote=1\n");
    const int W = Screen().width();
    const int H = PrimaryWorkArea().height();
    const QSize size(220, 100);
    struct TCase {
        const char* What;
        int Edge;
        QRect Strip;
        QPoint Place;
    } cases[] = {
        {"left, room below", kEdgeLeft, {0, 300, 16, 60}, {18, 300}},
        {"left, near the bottom: up until it ends inside", kEdgeLeft, {0, H - 60, 16, 60}, {18, H - 100}},
        {"left, ending on the work area's last row: it fits", kEdgeLeft, {0, H - 100, 16, 60}, {18, H - 100}},
        {"left, one row over: up by one", kEdgeLeft, {0, H - 99, 16, 60}, {18, H - 100}},
        {"right, near the bottom", kEdgeRight, {W - 16, H - 60, 16, 60}, {W - 220 - 18, H - 100}},
        {"right, ending on the work area's last row",
         kEdgeRight,
         {W - 16, H - 100, 16, 60},
         {W - 238, H - 100}},
        {"top, room to the right", kEdgeTop, {300, 0, 60, 16}, {300, 18}},
        {"top, near the right: left until it ends inside", kEdgeTop, {W - 60, 0, 60, 16}, {W - 220, 18}},
        {"top, ending on the screen's last column: it fits", kEdgeTop, {W - 220, 0, 60, 16}, {W - 220, 18}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(NoteDocking::PreviewPlace(c.Edge, c.Strip, size), c.Place);
    }
    // Taller than the work area: it stops at 0.
    EXPECT_EQ(NoteDocking::PreviewPlace(kEdgeLeft, {0, 300, 16, 60}, QSize(220, H + 50)), QPoint(18, 0));
}

TEST_F(Docking, TurningAutoHideOffPullsThisNoteBackButLeavesStrips) {
    const int W = Screen().width();
    Start("AutoHideNote=1\n", [](TDbConnection& db) {
        AddRow(db, "A", "a", QRect(300, 200, 220, 100));
        AddRow(db, "OUT", "b", QRect(300, 500, 220, 100));
    });
    TFmNote* n = Note("A");
    DragTo(n, QPoint(W - 30, 250));
    ASSERT_TRUE(n->IsDocked());
    TFmNote* out = Note("OUT");
    struct TCase {
        QPoint From;
        QPoint To;
    } cases[] = {
        {{-40, -40}, {0, -40}},           // left first, one correction only
        {{W - 100, -40}, {W - 220, -40}}, // then the right
        {{100, -40}, {100, 0}},           // then the top
    };
    for (const TCase& c : cases) {
        out->move(c.From);
        Choose(out, &TFmNote::actAutoHide); // off
        EXPECT_FALSE(AppState().NoteOptions.FconfigAutoHideNote);
        EXPECT_FALSE(out->actAutoHide->isChecked());
        EXPECT_FALSE(ConfigSays("config", "AutoHideNote", true));
        EXPECT_EQ(out->pos(), c.To);
        EXPECT_EQ(n->geometry(), QRect(W - 16, 250, 16, 60));
        Choose(out, &TFmNote::actAutoHide); // on again
        EXPECT_TRUE(ConfigSays("config", "AutoHideNote", false));
    }
    // A strip can still be restored with the setting off.
    Choose(out, &TFmNote::actAutoHide);
    Click(n);
    EXPECT_FALSE(n->IsDocked());
}

TEST_F(Docking, LettingGoOfANoteThatTouchesAnEdgeDocksItEvenWithoutMovement) {
    const int W = Screen().width();
    struct TCase {
        const char* What;
        QRect Stored;
        bool AutoHide;
        bool Docks;
    } cases[] = {
        {"at the right edge", {W - 220, 300, 220, 100}, true, true},
        {"at the left edge", {0, 300, 220, 100}, true, true},
        {"inside the screen", {300, 300, 220, 100}, true, false},
        {"at the edge with automatic hiding off", {0, 300, 220, 100}, false, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const QRect stored = c.Stored;
        Start(c.AutoHide ? "AutoHideNote=1\n" : "AutoHideNote=0\n",
              [stored](TDbConnection& db) { AddRow(db, "A", "a", stored); });
        TFmNote* n = Note("A");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(n));
        Click(n);
        EXPECT_EQ(n->IsDocked(), c.Docks);
        EXPECT_EQ(Row("A").asInt(0, "ishiddenmode"), c.Docks ? 1 : 0);
        TearDown();
        SetUp();
    }
}

TEST_F(Docking, ARightEdgeStripStaysOnItsEdgeWhereTheWorkAreaStopsShort) {
    const int W = Screen().width();
    Start("AutoHideNote=0\n", [W](TDbConnection& db) {
        AddRow(db, "A", "a", QRect(300, 200, 220, 100));
        db.Exec(QStringLiteral("update notes set ishiddenmode=1, hiddenpos=2, hiddenposx=?, hiddenposy=250"),
                {W - 16});
    });
    TFmNote* n = Note("A");
    ASSERT_TRUE(n->IsDocked());
    // A panel along the right edge.
    SetWorkAreaOverride(QRect(0, 0, W - 100, Screen().height()));
    n->hide();
    n->show();
    EXPECT_EQ(n->geometry(), QRect(W - 16, 250, 16, 60));
}

TEST_F(Docking, TheHintComesWithEveryTurnOnUntilTheUserDeclinesIt) {
    TFmNote* n = StartWithOneNote("AutoHideNote=0\n");
    bool decline = false;
    DriveDialog = [&](QDialog& d) {
        auto& h = dynamic_cast<TFmHint&>(d);
        EXPECT_EQ(h.HintID, 1);
        EXPECT_EQ(h.parentWidget(), n);
        EXPECT_EQ(h.RichEdit1->toPlainText(),
                  QStringLiteral("When you enable \"Hide Automatically\" function, "
                                 "you can drag note to the screen edge to hide note."));
        EXPECT_EQ(h.chkDoNotShow->text(), QStringLiteral("&Do not show this alert again"));
        EXPECT_FALSE(h.btnCancel->isVisible());
        h.chkDoNotShow->setChecked(decline);
        h.btnOK->click();
    };
    for (int round = 0; round < 2; ++round) {
        Choose(n, &TFmNote::actAutoHide); // on: the hint
        Choose(n, &TFmNote::actAutoHide); // off: no hint
    }
    EXPECT_EQ(Dialogs.size(), 2);
    EXPECT_TRUE(ConfigSays("General", "ShowHideNoteHint", false));

    decline = true;
    Choose(n, &TFmNote::actAutoHide);
    EXPECT_EQ(Dialogs.size(), 3);
    EXPECT_FALSE(AppState().NoteOptions.FGeneralShowHideNoteHint);
    EXPECT_FALSE(ConfigSays("General", "ShowHideNoteHint", true));
    Choose(n, &TFmNote::actAutoHide);
    Choose(n, &TFmNote::actAutoHide);
    EXPECT_EQ(Dialogs.size(), 3);
}

TEST_F(Docking, ClosingTheHintWithoutOkKeepsIt) {
    StartWithOneNote("AutoHideNote=0\n");
    TFmHint h(nullptr);
    h.HintID = 1;
    h.show();
    h.chkDoNotShow->setChecked(true);
    h.reject();
    EXPECT_TRUE(AppState().NoteOptions.FGeneralShowHideNoteHint);
}

TEST_F(Docking, AFailingStatementLeavesTheWindowAsItsRowSays) {
    const int W = Screen().width();
    TFmNote* n = StartWithOneNote();

    // Docking fails: an error, and the note stays undocked where it was dropped.
    FailUpdates();
    DragTo(n, QPoint(W - 100, 300));
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes.first().contains(QStringLiteral("locked")));
    EXPECT_FALSE(n->IsDocked());
    EXPECT_EQ(n->size(), QSize(220, 100));
    EXPECT_EQ(Row("A").asInt(0, "ishiddenmode"), 0);

    Main->Db().Exec(QStringLiteral("drop trigger lock_notes"));
    DragTo(n, QPoint(W - 90, 300));
    ASSERT_TRUE(n->IsDocked());
    FailUpdates();
    // Sliding fails: back to the stored place.
    DragTo(n, QPoint(W - 16, 600));
    EXPECT_EQ(Boxes.size(), 2);
    EXPECT_EQ(n->geometry(), QRect(W - 16, 300, 16, 60));
    // Restoring fails: still the strip its row describes.
    Click(n);
    EXPECT_EQ(Boxes.size(), 3);
    EXPECT_TRUE(n->IsDocked());
    EXPECT_EQ(n->geometry(), QRect(W - 16, 300, 16, 60));
    EXPECT_EQ(Row("A").asInt(0, "ishiddenmode"), 1);
}

} // namespace
