// Note windows on the desktop: loading and placement, editing and saving, the
// window messages, the context menu and the tray.

#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "data/uNoteStore.h"
#include "note/uAudioPlayPanel.h"
#include "note/uFmNote.h"
#include "note/uFmNoteSupport.h"
#include "note/uNoteContext.h"
#include "note/uNoteManager.h"
#include "note/uNoteText.h"
#include "note/uNoteWidgets.h"
#include "note/uTransRichEdit.h"
#include "platform/gui/uAppIcon.h"
#include "platform/gui/uDesktop.h"
#include "platform/gui/uIdleBackingStore.h"
#include "platform/gui/uWindows.h"
#include "shared/uIniFile.h"
#include "support/NoteTestContext.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"
#include "ui/uFmSetColor.h"
#include "ui/uFmSetTransValue.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBackingStore>
#include <QClipboard>
#include <QDateTime>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTextBlock>
#include <QTextFrame>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct TUpload {
    QString NoteId;
    quint16 Fields;
    bool Notify;
};

class NoteTest : public ::testing::Test {
protected:
    void SetUp() override { SetWorkAreaOverride(QRect(0, 0, 1280, 1024)); }
    void TearDown() override {
        for (TFmNote* n : TFmMain::NoteWindows())
            delete n;
        if (FMain)
            FMain->Shutdown();
        FMain.reset();
        SetWorkAreaOverride(QRect());
        if (FOldBoxes)
            SetMessageBoxHandler(*FOldBoxes);
    }

    // One note "A" with this text, committed, on screen; message boxes are collected.
    TFmNote* ShowCommittedNote(const QString& text) {
        Start("[config]\nLanguage=English\n", [text](TDbConnection& db) {
            AddRow(db, "A", text, 100, 100);
            db.Exec("update notes set commited=1");
        });
        FMain->tmrLoadNotesTimer();
        TFmNote* n = TFmMain::NoteWindows().first();
        n->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(n));
        FOldBoxes = SetMessageBoxHandler([this](QWidget*, const QString& t, const QString&, unsigned) {
            FBoxes.append(t);
            return IDOK;
        });
        return n;
    }

    // Starts the shell with this config and these rows; loads nothing yet.
    void Start(const QByteArray& config = "[config]\nLanguage=English\n",
               const std::function<void(TDbConnection&)>& rows = {}) {
        FSetup = testenv::MakeProgramSetup();
        QDir().mkpath(FSetup.DataFolder());
        testenv::writeFile(FSetup.DataFolder() + QStringLiteral("config.ini"), config);
        FMain = std::make_unique<TFmMain>(FSetup.Env());
        QString error;
        ASSERT_TRUE(FMain->Startup(&error)) << error.toStdString();
        FMain->tmrLoadNotes->stop();
        QObject::connect(FMain.get(), &TFmMain::UploadRequested,
                         [this](const QString& id, quint16 f, bool n) {
                             FUploads.append({id, f, n});
                         });
        if (rows)
            rows(FMain->Db());
    }

    TRowSet Row(const QString& id) {
        return FMain->Db().Select(QStringLiteral("select * from notes where id=?"), {id});
    }

    static void Deactivate(TFmNote* n) {
        QEvent e(QEvent::WindowDeactivate);
        QApplication::sendEvent(n, &e);
    }

    static void AddRow(TDbConnection& db, const QString& id, const QString& text, int x, int y, int w = 220,
                       int h = 100) {
        NoteStore::InsertFromShell(db, id, x, y);
        db.Exec(QStringLiteral("update notes set mynote=?, form_w=?, form_h=? where id=?"), {text, w, h, id});
    }

    testenv::TProgramSetup FSetup;
    std::unique_ptr<TFmMain> FMain;
    QList<TUpload> FUploads;
    QStringList FBoxes;
    std::optional<TMessageBoxHandler> FOldBoxes;
};

// A note window on a test context: no main window.
class NoteOnContext : public NoteTest {
protected:
    // Reads these settings, adds these rows and makes the window of note `id` from its row.
    TFmNote* Load(const QString& id, const std::function<void(TDbConnection&)>& rows = {},
                  const QByteArray& config = "[config]\nLanguage=English\n") {
        Shell.LoadSettings(config);
        if (rows)
            rows(Shell.Db());
        return Shell.NewNote(id);
    }

    TRowSet Row(const QString& id) {
        return Shell.Db().Select(QStringLiteral("select * from notes where id=?"), {id});
    }

    testenv::TTestNoteContext Shell;
};

} // namespace

TEST_F(NoteTest, FreePlacesFillTheScreenFromTheRightTopToBottom) {
    Start();
    EXPECT_EQ(FMain->GetNewNotesPos(220, 100), QPoint(1050, 10));
    TFmNote* first = FMain->CreateNewNote(QString());
    EXPECT_EQ(first->geometry(), QRect(1050, 10, 220, 100));
    EXPECT_EQ(FMain->GetNewNotesPos(220, 100), QPoint(1050, 110));
    // Hidden notes do not take a place.
    first->hide();
    EXPECT_EQ(FMain->GetNewNotesPos(220, 100), QPoint(1050, 10));
    // Too wide for the work area: the preset point with a negative x.
    EXPECT_EQ(FMain->GetNewNotesPos(1400, 100), QPoint(1280 - 1400 - 10, 10));
}

TEST_F(NoteTest, ADownloadedNoteKeepsEachCoordinateItHas) {
    Start();
    TNoteItem item;
    item.NoteID = QStringLiteral("DL");
    item.FmX = 0;
    item.FmY = 300;
    item.FmW = 220;
    item.FmH = 100;
    item.FontSize = 9;
    item.FontName = QStringLiteral("Tahoma");
    item.FmTrans = 0x1A0; // only the low byte reaches the window
    TFmNote* n = FMain->AddDownloadedNote(item);
    EXPECT_EQ(n->geometry(), QRect(1050, 300, 220, 100));
    EXPECT_EQ(n->Alpha(), 0xA0);
}

// Rows the download inserter makes carry no place or size, and a server item may
// lack them: such notes must still be notes one can see and grab.
TEST_F(NoteTest, NotesComeUpNoSmallerThanANoteCanBeAndWithoutASizeWhereANewNoteWould) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "TINY", "t", 300, 200, 1, 1);
        AddRow(db, "LOW", "l", 300, 400, 100, 30);
        AddRow(db, "FINE", "f", 600, 400, 300, 200);
        AddRow(db, "NOSIZE", "z", 0, 0, 0, 0);
    });
    FMain->tmrLoadNotesTimer();
    const auto make = [this](const char* id, int x, int y, int w, int h) {
        TNoteItem item;
        item.NoteID = QString::fromLatin1(id);
        item.FmX = x;
        item.FmY = y;
        item.FmW = w;
        item.FmH = h;
        item.FontSize = 9;
        item.FontName = QStringLiteral("Tahoma");
        return FMain->AddDownloadedNote(item);
    };
    make("DL-NOSIZE", 0, 0, 0, 0);
    make("DL-TINY", 50, 60, 10, 5);
    QHash<QString, QRect> g;
    for (TFmNote* n : TFmMain::NoteWindows())
        g.insert(n->NoteId(), n->geometry());
    EXPECT_EQ(g.value("TINY"), QRect(300, 200, 120, 40));
    EXPECT_EQ(g.value("LOW"), QRect(300, 400, 120, 40));
    EXPECT_EQ(g.value("FINE"), QRect(600, 400, 300, 200));
    EXPECT_EQ(g.value("DL-TINY"), QRect(50, 60, 120, 40));
    for (const char* id : {"NOSIZE", "DL-NOSIZE"}) {
        SCOPED_TRACE(id);
        const QRect placed = g.value(QString::fromLatin1(id));
        EXPECT_EQ(placed.size(), QSize(220, 100));
        EXPECT_TRUE(QRect(0, 0, 1280, 1024).contains(placed));
        for (auto it = g.cbegin(); it != g.cend(); ++it) {
            if (it.key() != QLatin1String(id)) {
                EXPECT_FALSE(it.value().intersects(placed)) << it.key().toStdString();
            }
        }
    }
}

TEST_F(NoteTest, LoadingBringsBackEveryShownNoteAsItWas) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "PLAIN", "hello", 300, 200, 250, 130);
        db.Exec("update notes set fontname='DejaVu Sans', fontsize=14, fontbold=1, fontcolor=255, "
                "form_trans=200, bgcolorindex=3, showaslist=2, istopmost=1 where id='PLAIN'");
        AddRow(db, "TOP", "docked top", 10, 10);
        db.Exec("update notes set ishiddenmode=1, hiddenpos=1, hiddenposx=400 where id='TOP'");
        AddRow(db, "LEFT", "docked left", 10, 10);
        db.Exec("update notes set ishiddenmode=1, hiddenpos=0, hiddenposy=500 where id='LEFT'");
        AddRow(db, "RIGHT", "docked right", 10, 10);
        db.Exec(
            "update notes set ishiddenmode=1, hiddenpos=2, hiddenposx=1264, hiddenposy=70 where id='RIGHT'");
        AddRow(db, "HIDDEN", "not on this PC", 10, 10);
        db.Exec("update notes set shownote=0 where id='HIDDEN'");
    });
    FMain->tmrLoadNotesTimer();
    QMap<QString, TFmNote*> byId;
    for (TFmNote* n : TFmMain::NoteWindows())
        byId.insert(n->NoteId(), n);
    ASSERT_EQ(byId.size(), 4);
    EXPECT_FALSE(byId.contains("HIDDEN"));
    TFmNote* p = byId["PLAIN"];
    EXPECT_EQ(p->geometry(), QRect(300, 200, 250, 130));
    EXPECT_EQ(p->EditorFont().family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(p->EditorFont().pointSize(), 14);
    EXPECT_TRUE(p->EditorFont().bold());
    EXPECT_EQ(p->FontColor(), 255);
    EXPECT_EQ(p->Alpha(), 200);
    EXPECT_EQ(p->BgColorIndex(), 3);
    EXPECT_EQ(p->IsTopMost(), 1);
    EXPECT_EQ(p->ShowAsList(), 2);
    EXPECT_EQ(p->NoteText(), QStringLiteral("hello"));
    EXPECT_EQ(p->StoredNote(), QStringLiteral("hello"));
    EXPECT_TRUE(p->isVisible());
    EXPECT_EQ(byId["TOP"]->geometry(), QRect(400, 0, 60, 16));
    EXPECT_EQ(byId["LEFT"]->geometry(), QRect(0, 500, 16, 60));
    EXPECT_EQ(byId["RIGHT"]->geometry(), QRect(1264, 70, 16, 60));
}

TEST_F(NoteTest, AnEmptyStoreGetsOneNoteShowingTheHintThatIsNeverStored) {
    Start();
    FMain->tmrLoadNotesTimer();
    const QList<TFmNote*> notes = TFmMain::NoteWindows();
    ASSERT_EQ(notes.size(), 1);
    TFmNote* n = notes.first();
    EXPECT_EQ(n->geometry().topLeft(), QPoint(1050, 10));
    EXPECT_TRUE(n->ShowsBlankHint());
    EXPECT_EQ(NoteText::PlainText(n->Document()),
              QStringLiteral("Double Click To Edit Note. Right Click To Add New Note."));
    EXPECT_TRUE(n->NoteText().isEmpty());
    // Deactivating a note that only shows the hint stores and uploads nothing.
    Deactivate(n);
    EXPECT_TRUE(FUploads.isEmpty());
    EXPECT_TRUE(Row(n->NoteId()).isNull(0, "mynote"));
    EXPECT_TRUE(Row(n->NoteId()).isNull(0, "commited"));
}

TEST_F(NoteTest, WithDesktopNotesOffLoadedNotesStayHiddenButANewNoteShows) {
    Start("[config]\nLanguage=English\n[General]\nShowNotesOnDesk=0\n",
          [](TDbConnection& db) { AddRow(db, "A", "a", 100, 100); });
    FMain->tmrLoadNotesTimer();
    ASSERT_EQ(TFmMain::NoteWindows().size(), 1);
    EXPECT_FALSE(TFmMain::NoteWindows().first()->isVisible());
    TFmNote* fresh = FMain->CreateNewNote(QString());
    EXPECT_TRUE(fresh->isVisible());
}

TEST_F(NoteTest, EditingThenDeactivatingSavesTheTextAndAsksForAnUpload) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "A", "before", 100, 100);
        db.Exec("update notes set commited=1 where id='A'");
    });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    n->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(n));

    // Editing that changes nothing writes nothing.
    QTest::mouseDClick(n, Qt::LeftButton, {}, QPoint(60, 30));
    ASSERT_TRUE(n->IsEditing());
    ASSERT_NE(n->mmoNote, nullptr);
    EXPECT_TRUE(AppState().NoteEditing.load());
    Deactivate(n);
    EXPECT_FALSE(n->IsEditing());
    EXPECT_FALSE(AppState().NoteEditing.load());
    EXPECT_TRUE(FUploads.isEmpty());
    EXPECT_EQ(Row("A").asInt(0, "commited"), 1);

    QTest::mouseDClick(n, Qt::LeftButton, {}, QPoint(60, 30));
    ASSERT_NE(n->mmoNote, nullptr);
    n->mmoNote->selectAll();
    QTest::keyClicks(n->mmoNote, QStringLiteral("after"));
    n->move(140, 150);
    Deactivate(n);
    const TRowSet r = Row("A");
    EXPECT_EQ(r.asText(0, "mynote"), QStringLiteral("after"));
    EXPECT_EQ(r.asInt(0, "commited"), 0);
    EXPECT_EQ(r.asInt(0, "form_x"), 140);
    EXPECT_EQ(r.asInt(0, "form_y"), 150);
    ASSERT_EQ(FUploads.size(), 1);
    EXPECT_EQ(FUploads[0].NoteId, QStringLiteral("A"));
    EXPECT_EQ(FUploads[0].Fields, TUploadFields{utNote}.bits());
    EXPECT_TRUE(FUploads[0].Notify);
    EXPECT_EQ(n->mmoNote, nullptr); // the editor goes with the editing
}

TEST_F(NoteOnContext, UndoAndRedoWorkWhileEditingAndEachEditStartsWithNothingToUndo) {
    TFmNote* n = Load("A", [](TDbConnection& db) { AddRow(db, "A", "stored", 100, 100); });
    n->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(n));
    const auto press = [n](Qt::Key key, Qt::KeyboardModifiers mods, int times) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(n->mmoNote, key, mods);
        return n->mmoNote->toPlainText();
    };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    for (const auto& [redoKey, redoMods] :
         {std::pair{Qt::Key_Y, ctrl}, std::pair{Qt::Key_Z, ctrl | Qt::ShiftModifier}}) {
        n->EnableMmoNote();
        ASSERT_NE(n->mmoNote, nullptr);
        const QString start = n->mmoNote->toPlainText();
        EXPECT_EQ(press(Qt::Key_Z, ctrl, 3), start); // the loaded text is not an edit
        n->mmoNote->moveCursor(QTextCursor::End);
        QTest::keyClicks(n->mmoNote, QStringLiteral(" more"));
        const QString typed = start + QStringLiteral(" more");
        ASSERT_EQ(n->mmoNote->toPlainText(), typed);
        EXPECT_EQ(press(Qt::Key_Z, ctrl, 10), start);
        EXPECT_EQ(press(redoKey, redoMods, 10), typed);
        Deactivate(n);
        EXPECT_EQ(Row("A").asText(0, "mynote"), typed);
    }
}

// Downloads tell every changed note to reload, also the one being typed into.
TEST_F(NoteTest, AReloadWhileEditingKeepsTheTypingWhichGoesUpWhenTheEditorCloses) {
    struct TCase {
        const char* What;
        const char* FromServer;
    } cases[] = {{"changed text", "from the server"}, {"emptied text", ""}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
            AddRow(db, "A", "before", 100, 100);
            db.Exec("update notes set commited=1");
        });
        FMain->tmrLoadNotesTimer();
        TFmNote* n = TFmMain::NoteWindows().first();
        n->EnableMmoNote();
        n->mmoNote->selectAll();
        QTest::keyClicks(n->mmoNote, QStringLiteral("typed"));
        FMain->Db().Exec(QStringLiteral("update notes set mynote=?, bgcolorindex=4 where id='A'"),
                         {QString::fromUtf8(c.FromServer)});
        SendMessageW(n, WM_RELOADNOTE, 0, 0);
        EXPECT_EQ(n->mmoNote->toPlainText(), QStringLiteral("typed"));
        EXPECT_EQ(n->BgColorIndex(), 4); // the look follows the row
        QTest::keyClicks(n->mmoNote, QStringLiteral(" more"));
        FUploads.clear();
        Deactivate(n);
        EXPECT_EQ(Row("A").asText(0, "mynote"), QStringLiteral("typed more"));
        EXPECT_EQ(Row("A").asInt(0, "commited"), 0);
        ASSERT_EQ(FUploads.size(), 1);
        EXPECT_EQ(FUploads[0].Fields, TUploadFields{utNote}.bits());
        TearDown();
        SetUp();
    }

    // Nothing typed yet: the editor simply shows the new text.
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) { AddRow(db, "A", "before", 100, 100); });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    n->EnableMmoNote();
    FMain->Db().Exec("update notes set mynote='from the server' where id='A'");
    SendMessageW(n, WM_RELOADNOTE, 0, 0);
    EXPECT_EQ(n->mmoNote->toPlainText(), QStringLiteral("from the server"));
    FUploads.clear();
    Deactivate(n);
    EXPECT_TRUE(FUploads.isEmpty());
}

// Cancel in an apply-to-all dialog sends every note back to its remembered look.
TEST_F(NoteTest, ACancelledApplyToAllLeavesNotesNeverShownAsStored) {
    Start("[config]\nLanguage=English\n[General]\nShowNotesOnDesk=0\n", [](TDbConnection& db) {
        AddRow(db, "A", "a", 100, 100);
        db.Exec("update notes set form_trans=200, fontcolor=1193046 where id='A'");
    });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    ASSERT_FALSE(n->isVisible());
    FMain->Windows().Broadcast(WM_SETTRANS, 0, 40);
    FMain->Windows().Broadcast(WM_SETTRANS, 1, 40);
    FMain->Windows().Broadcast(WM_SETFONTCOLOR, 1, 0xFF);
    EXPECT_EQ(n->Alpha(), 200);
    EXPECT_EQ(n->FontColor(), 1193046);
    FMain->Shutdown();
    const TRowSet r = TDbConnection::Open(FSetup.DataFolder() + QStringLiteral("brisel.mdb"))
                          ->Select(QStringLiteral("select form_trans, fontcolor from notes where id='A'"));
    EXPECT_EQ(r.asInt(0, "form_trans"), 200);
    EXPECT_EQ(r.asInt(0, "fontcolor"), 1193046);
}

TEST_F(NoteTest, ClearingTheTextStoresItEmptyAndShowsTheHint) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) { AddRow(db, "A", "some text", 100, 100); });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    n->EnableMmoNote();
    n->mmoNote->clear();
    Deactivate(n);
    EXPECT_EQ(Row("A").asText(0, "mynote"), QString());
    EXPECT_FALSE(Row("A").isNull(0, "mynote"));
    EXPECT_TRUE(n->ShowsBlankHint());
    // Double-clicking the hint opens an empty editor.
    n->EnableMmoNote();
    EXPECT_TRUE(n->mmoNote->toPlainText().isEmpty());
}

TEST_F(NoteOnContext, EnterInADatedListStartsTheNewItemWithTheDate) {
    TFmNote* n = Load(
        "A", [](TDbConnection& db) { AddRow(db, "A", "", 100, 100); },
        "[config]\nLanguage=English\nInsertDateAuto=1\nInsertDateFormat=yyyy.mm.dd\n");
    const QString date = NoteText::FormatDateText(QStringLiteral("yyyy.mm.dd"), QDateTime::currentDateTime());
    // Choosing a list style in an empty note puts the date in; style 0 would not.
    n->actListStyleExecute(2);
    EXPECT_EQ(n->NoteText(), date);
    n->EnableMmoNote();
    n->mmoNote->moveCursor(QTextCursor::End);
    QTest::keyClick(n->mmoNote, Qt::Key_Return);
    EXPECT_EQ(n->NoteText(), date + QLatin1Char('\n') + date + QLatin1Char(' '));
    // Style 0: Enter gives a plain empty line.
    n->actListStyleExecute(0);
    n->mmoNote->moveCursor(QTextCursor::End);
    QTest::keyClick(n->mmoNote, Qt::Key_Return);
    EXPECT_TRUE(n->NoteText().endsWith(QLatin1Char('\n')));
}

TEST_F(NoteTest, ListStylesNumberEveryParagraphAndAreStoredPending) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "A", "one\ntwo\nthree", 100, 100);
        db.Exec("update notes set commited=1 where id='A'");
    });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    // The third item's marker in each style; the text itself moves right by one indent.
    const char* third[] = {"", "\u2022", "3.", "c.", "C.", "iii.", "III."};
    const qreal indent = n->Document()->indentWidth();
    for (int tag = 0; tag <= 6; ++tag) {
        n->actListStyleExecute(tag);
        EXPECT_EQ(NoteText::ListStyleOf(n->Document()), tag);
        EXPECT_EQ(NoteText::ListMarker(tag, 3), QString::fromUtf8(third[tag])) << tag;
        const QRectF first = n->Document()->documentLayout()->blockBoundingRect(n->Document()->begin());
        EXPECT_EQ(first.left(), n->Document()->documentMargin() + (tag == 0 ? 0 : indent)) << tag;
        EXPECT_EQ(Row("A").asInt(0, "showaslist"), tag);
        EXPECT_EQ(Row("A").asInt(0, "commited"), 0);
        EXPECT_EQ(n->NoteText(), QStringLiteral("one\ntwo\nthree")) << "list markers are not text";
    }
    EXPECT_EQ(FUploads.size(), 7);
    EXPECT_EQ(FUploads.last().Fields, TUploadFields{utShowAsList}.bits());
}

TEST(NoteListMarkers, NumberEachStyleTheWayAListCounts) {
    const struct {
        int Style;
        int Number;
        const char* Marker;
    } cases[] = {
        {0, 1, ""},         {1, 7, "\u2022"}, {2, 1, "1."},    {2, 60000, "60000."},  {3, 1, "a."},
        {3, 26, "z."},      {3, 27, "aa."},   {3, 702, "zz."}, {3, 703, "aaa."},      {4, 28, "AB."},
        {5, 4, "iv."},      {5, 9, "ix."},    {5, 14, "xiv."}, {5, 1994, "mcmxciv."}, {6, 3999, "MMMCMXCIX."},
        {6, 4000, "4000."}, {7, 3, ""},       {-1, 3, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoteText::ListMarker(c.Style, c.Number), QString::fromUtf8(c.Marker))
            << c.Style << " " << c.Number;
}

// Sixty thousand numbered lines: the style goes on and off, and the markers
// are drawn beside the paragraphs in view, far down the note too.
TEST(NoteListMarkers, AVeryLongNumberedNoteIsDrawnWithItsMarkersWhereverItIsScrolled) {
    QTextDocument doc;
    doc.setIndentWidth(18);
    doc.setTextWidth(200);
    QString text;
    for (int i = 0; i < 60000; ++i)
        text += QStringLiteral("item %1\n").arg(i);
    NoteText::SetPlainText(&doc, text, 16, 2);
    EXPECT_EQ(NoteText::ListStyleOf(&doc), 2);
    // Where the text starts: the markers end before it.
    const int edge = int(doc.documentMargin() + doc.indentWidth());
    const auto drawAt = [&](qreal y) {
        QImage img(200, 100, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::white);
        QPainter p(&img);
        p.translate(0, -y);
        NoteText::DrawListMarkers(&p, &doc, QRectF(0, y, 200, 100), Qt::black);
        p.end();
        // Ink in the indent, where the markers go, and none right of it.
        bool inkLeft = false;
        bool inkRight = false;
        for (int py = 0; py < img.height(); ++py)
            for (int px = 0; px < img.width(); ++px)
                if (img.pixelColor(px, py).lightness() < 128)
                    (px < edge ? inkLeft : inkRight) = true;
        EXPECT_TRUE(inkLeft) << y;
        EXPECT_FALSE(inkRight) << y;
    };
    // The top is drawn before the rest is laid out, as a note shows it at the start.
    drawAt(0);
    const qreal height = doc.documentLayout()->documentSize().height();
    ASSERT_GT(height, 59999 * 16);
    for (const qreal y : {0.0, height / 2, height - 100})
        drawAt(y);
    NoteText::ApplyListStyle(&doc, 0);
    EXPECT_EQ(NoteText::ListStyleOf(&doc), 0);
    EXPECT_EQ(doc.rootFrame()->frameFormat().leftMargin(), doc.documentMargin());
    EXPECT_EQ(NoteText::PlainText(&doc), text);
}

// Web addresses are marked where the text is drawn (by the idle note and by its
// editor), so that a long note costs no more than a short one; a mark covers the
// whole address, also far down a long note and inside a line of megabytes.
TEST(NoteLinkMarks, AddressesInViewAreMarkedWholeWhereverTheTextIsDrawn) {
    const auto marked = [](const QList<QAbstractTextDocumentLayout::Selection>& marks) {
        QStringList out;
        for (const auto& m : marks) {
            out << m.cursor.selectedText();
            EXPECT_TRUE(m.format.fontUnderline());
        }
        return out;
    };
    QString lines;
    for (int i = 0; i < 60000; ++i)
        lines += i == 1       ? QStringLiteral("see https://example.com/a?b=1.\n")
                 : i == 40000 ? QStringLiteral("www.Example.org/path and ftp://host/x\n")
                              : QStringLiteral("item %1\n").arg(i);
    QTextDocument doc;
    doc.setTextWidth(200);
    NoteText::SetPlainText(&doc, lines, 16, 2);
    const QRectF top(0, 0, 200, 100);
    EXPECT_EQ(marked(NoteText::LinkMarks(&doc, top)), QStringList{"https://example.com/a?b=1"});
    const qreal far = doc.documentLayout()->blockBoundingRect(doc.findBlockByNumber(40000)).top();
    EXPECT_EQ(marked(NoteText::LinkMarks(&doc, top.translated(0, far - 40))),
              (QStringList{"www.Example.org/path", "ftp://host/x"}));
    EXPECT_TRUE(NoteText::LinkMarks(&doc, top.translated(0, far / 2)).isEmpty());

    // The editor marks what it shows, and follows the scrolling.
    TTransRichEdit editor;
    editor.SetAutoHeight(false);
    editor.resize(200, 100);
    editor.ShareDocument(&doc);
    const auto editorMarks = [&] {
        QStringList out;
        for (const QTextEdit::ExtraSelection& m : editor.extraSelections())
            out << m.cursor.selectedText();
        return out;
    };
    EXPECT_EQ(editorMarks(), QStringList{"https://example.com/a?b=1"});
    // The editor scrolls as far as the text is laid out.
    (void)doc.documentLayout()->documentSize();
    QCoreApplication::processEvents();
    editor.verticalScrollBar()->setValue(int(far) - 40);
    EXPECT_EQ(editorMarks(), (QStringList{"www.Example.org/path", "ftp://host/x"}));

    // One line of 2 MB with an address every thousand characters: only those
    // near the part drawn are looked at.
    QString line;
    while (line.size() < 2000000)
        line += QStringLiteral("http://a.example/%1 ").arg(line.size()) + QString(975, QLatin1Char('w')) +
                QLatin1Char(' ');
    QTextDocument one;
    one.setTextWidth(200);
    NoteText::SetPlainText(&one, line, 16, 0);
    const QStringList near = marked(NoteText::LinkMarks(&one, top));
    EXPECT_FALSE(near.isEmpty());
    EXPECT_LT(near.size(), 10);
    EXPECT_EQ(near.first(), QStringLiteral("http://a.example/0"));
}

// A paste goes in as plain text and is undone in one step, short or long (a long
// one is laid out afterwards as far as it is shown, not all at once).
TEST(NotePaste, APasteGoesInAsTypedAndIsUndoneAtOnceShortOrLong) {
    QString many;
    for (int i = 0; i < 60000; ++i)
        many += QStringLiteral("pasted %1\r\n").arg(i);
    const struct {
        const char* Name;
        QString Text;
    } cases[] = {{"short", QStringLiteral("a\r\nb")}, {"long", many}};
    for (const auto& c : cases) {
        QTextDocument doc;
        NoteText::SetPlainText(&doc, QStringLiteral("first\nlast"), 16, 2);
        TTransRichEdit editor;
        editor.SetAutoHeight(false);
        editor.resize(200, 100);
        editor.ShareDocument(&doc);
        doc.setUndoRedoEnabled(true);
        QTextCursor at(&doc);
        at.setPosition(5); // after "first"
        editor.setTextCursor(at);
        QApplication::clipboard()->setText(c.Text);
        editor.paste();
        QString expected = c.Text;
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        EXPECT_EQ(NoteText::PlainText(&doc), QStringLiteral("first") + expected + QStringLiteral("\nlast"))
            << c.Name;
        EXPECT_EQ(editor.textCursor().position(), 5 + expected.size()) << c.Name;
        // Typing goes on where the paste ended, and is drawn with its markers.
        QTest::keyClicks(&editor, QStringLiteral("x"));
        EXPECT_TRUE(NoteText::PlainText(&doc).endsWith(QStringLiteral("x\nlast"))) << c.Name;
        doc.undo();
        doc.undo();
        EXPECT_EQ(NoteText::PlainText(&doc), QStringLiteral("first\nlast")) << c.Name;
    }
}

TEST_F(NoteTest, AutoHeightFollowsTheLinesWithinTheWorkAreaAndTheMinimum) {
    Start();
    TFmNote* n = FMain->CreateNewNote(QString());
    const int pitch = n->TextHeight() + NoteText::kLineSpace;
    n->SetNoteText(QStringLiteral("a\nb\nc"));
    n->actAutoHeightExecute();
    EXPECT_EQ(n->height(), 3 * pitch + 25);
    n->SetNoteText(QStringLiteral("a\nb\nc\n")); // a trailing empty line does not count
    EXPECT_EQ(n->height(), 3 * pitch + 25);
    n->SetNoteText(QString());
    EXPECT_EQ(n->height(), 40);
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QStringLiteral("line");
    n->SetNoteText(many.join(QLatin1Char('\n')));
    EXPECT_EQ(n->height(), 1024);
    EXPECT_EQ(n->y(), 0);
}

TEST(TransRichEdit, AsksForLinesTimesPitchAndOnlyWhenAllowed) {
    TTransRichEdit ed;
    ed.resize(200, 10);
    int asked = -1;
    ed.SetOnHeightChange([&](TTransRichEdit*, int& h) { asked = h; });
    const int pitch = ed.TextHeight() + ed.LineSpace();
    EXPECT_EQ(ed.TextHeight(), QFontMetrics(ed.font()).ascent() + QFontMetrics(ed.font()).descent());
    ed.setPlainText(QStringLiteral("a\nb\nc"));
    EXPECT_EQ(asked, 3 * pitch);
    EXPECT_EQ(ed.height(), 3 * pitch);
    ed.setPlainText(QString(400, QLatin1Char('w')).replace(QStringLiteral("wwwww"), QStringLiteral("wwww ")));
    EXPECT_GT(asked, 3 * pitch); // a wrapped paragraph counts each display line
    ed.SetAutoHeight(false);
    const int before = ed.height();
    ed.setPlainText(QStringLiteral("1\n2\n3\n4\n5\n6"));
    EXPECT_EQ(ed.height(), before);
}

TEST(NoteContext, ANoteAsksTheContextItWasMadeWithAndNothingElse) {
    auto context = std::make_shared<TNoteContext>();
    QList<qint32> body(7, 0x00112233);
    context->BodyColors = [&body] { return &body; };
    QList<TFmNote*> checked;
    context->CheckExists = [&checked](TFmNote* n) { checked << n; };

    TFmNote note(context);
    TFmNote bare;
    const qint32 palette = NoteSupport::bodyColor(bare.Context(), 3);
    EXPECT_EQ(NoteSupport::bodyColor(note.Context(), 3), 0x00112233);
    EXPECT_NE(palette, 0x00112233);
    // A table that is not the whole palette is not used.
    body.removeLast();
    EXPECT_EQ(NoteSupport::bodyColor(note.Context(), 3), palette);

    SendMessageW(&note, WM_CHECKNOTEEXISTS, 0, 0);
    SendMessageW(&bare, WM_CHECKNOTEEXISTS, 0, 0);
    note.SetIsPreviewMode(true);
    SendMessageW(&note, WM_CHECKNOTEEXISTS, 0, 0);
    EXPECT_EQ(checked, QList<TFmNote*>{&note});
    EXPECT_NE(NoteSupport::lang(bare.Context()), nullptr);
    EXPECT_EQ(NoteSupport::notes(bare.Context()), nullptr);
}

TEST(NoteLook, FocusBorderStepFollowsTheAlpha) {
    struct TCase {
        bool Layered;
        int Alpha;
        int Step;
    };
    const TCase cases[] = {{true, 255, 5}, {true, 201, 5}, {true, 200, 6}, {true, 151, 6}, {true, 150, 7},
                           {true, 101, 7}, {true, 100, 8}, {true, 0, 8},   {false, 100, 5}};
    TFmNote n;
    for (const TCase& c : cases) {
        n.SetAlpha(c.Alpha);
        n.SetLayered(c.Layered);
        EXPECT_EQ(n.FocusBorderStep(), c.Step) << c.Alpha;
    }
}

TEST(NoteLook, TheFocusBorderIsNineOutlinesLightestOutside) {
    TFmNote n;
    n.resize(220, 100);
    n.SetAlpha(255);
    n.SetLayered(true);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&n, &enter);
    n.DrawNoteFrame();
    const QImage img = n.grab().toImage();
    const QColor body(0xfe, 0xea, 0x3e);
    // Pixel n+1 from the left edge carries the body colour lightened by (8-n)*5.
    for (int k = 1; k <= 8; ++k) {
        const int add = (9 - k) * 5;
        const QColor expected(qMin(255, body.red() + add), qMin(255, body.green() + add),
                              qMin(255, body.blue() + add));
        EXPECT_EQ(img.pixelColor(k, 60), expected) << k;
    }
    EXPECT_EQ(img.pixelColor(9, 60), body);
    EXPECT_EQ(img.pixelColor(110, 10), body); // band and body share the colour
}

namespace {
// Where a picture differs from the note's body colour, away from the rounded corners.
QRect NotBodyColoured(const QImage& img, const QColor& body) {
    QRect found;
    for (int y = 2; y < img.height() - 2; ++y)
        for (int x = 2; x < img.width() - 2; ++x)
            if (img.pixelColor(x, y) != body)
                found |= QRect(x, y, 1, 1);
    return found;
}
} // namespace

TEST(NoteLook, TheUpdatingSpinnerTurnsInItsPlaceOnlyWhileTheNoteIsUpdated) {
    struct TCase {
        bool Docked;
        int Edge;
        QRect Spinner;
    };
    // 220 x 100 undocked; strips are 60 x 16 at the top edge, 16 x 60 at the sides.
    const TCase cases[] = {{false, 0, QRect(198, 8, 16, 16)},
                           {true, 1, QRect(39, 0, 16, 16)},
                           {true, 0, QRect(0, 38, 16, 16)},
                           {true, 2, QRect(0, 38, 16, 16)}};
    const QColor body(0xfe, 0xea, 0x3e);
    for (const TCase& c : cases) {
        TFmNote n;
        n.resize(220, 100);
        NoteRecord rec;
        rec.Note.FmTrans = 255;
        rec.Dock.Docked = c.Docked;
        rec.Dock.Edge = c.Edge;
        n.ShowRecord(rec);
        const int children = int(n.findChildren<QWidget*>().size());
        EXPECT_TRUE(NotBodyColoured(n.grab().toImage(), body).isEmpty()) << c.Edge;

        SendMessageW(&n, WM_UPDATINGBEGIN, 0, 0);
        const QImage turning = n.grab().toImage();
        const QRect drawn = NotBodyColoured(turning, body);
        EXPECT_FALSE(drawn.isEmpty()) << c.Edge;
        EXPECT_TRUE(c.Spinner.contains(drawn)) << c.Edge << " drawn at " << drawn.x() << "," << drawn.y();
        EXPECT_EQ(int(n.findChildren<QWidget*>().size()), children) << "drawn by the note itself";
        ASSERT_TRUE(TSpinnerClock::Instance().IsRunning());
        TSpinnerClock::Instance().StepNow();
        EXPECT_NE(n.grab().toImage(), turning) << "the next step turns it";

        SendMessageW(&n, WM_UPDATINGEND, 0, 0);
        EXPECT_TRUE(NotBodyColoured(n.grab().toImage(), body).isEmpty()) << c.Edge;
        EXPECT_FALSE(TSpinnerClock::Instance().IsRunning()) << "nothing turns, nothing ticks";
    }
}

TEST(NoteLook, ANoteCarriesTheProgramsIconAtSmallSizesFromItsFirstNativeWindow) {
    TFmNote n;
    // The native window is made from this handle and takes its icon then.
    ASSERT_NE(n.windowHandle(), nullptr);
    for (const QIcon& icon : {n.windowIcon(), n.windowHandle()->icon()}) {
        const QList<QSize> sizes = icon.availableSizes();
        ASSERT_FALSE(sizes.isEmpty());
        for (const QSize& size : sizes)
            EXPECT_LE(size.width(), 64) << size.width();
        for (const int size : {16, 32, 48}) {
            const QImage small = icon.pixmap(QSize(size, size)).toImage();
            // Held as the X server takes it, so that no window converts it again.
            EXPECT_EQ(small.format(), QImage::Format_ARGB32) << size;
            EXPECT_EQ(small,
                      AppIcon().pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32))
                << size;
        }
    }
}

namespace {
// A window that counts its paints and the area they covered.
class TCountingWindow : public QWidget {
public:
    TCountingWindow() {
        setAttribute(Qt::WA_NativeWindow);
        resize(240, 200);
    }
    int Paints = 0;
    QRegion Painted;

protected:
    void paintEvent(QPaintEvent* e) override {
        ++Paints;
        Painted += e->region();
        QPainter(this).fillRect(e->rect(), Qt::yellow);
    }
};

bool HoldsStore(QWidget& w) {
    return w.backingStore() && !w.backingStore()->size().isEmpty();
}

// Asks for a repaint of the top left corner and returns what was painted.
QRegion RepaintCorner(TCountingWindow& w) {
    w.Painted = QRegion();
    w.update(QRect(0, 0, 16, 16));
    QCoreApplication::processEvents();
    return w.Painted;
}

void Expose(QWidget& w) {
    QExposeEvent e(QRegion(0, 0, w.width(), w.height()));
    QCoreApplication::sendEvent(w.windowHandle(), &e);
}
} // namespace

TEST(IdleBackingStore, AnIdleWindowGivesBackItsStoreAndRepaintsWhollyWhenExposedAgain) {
    TCountingWindow w;
    bool inUse = false;
    new TIdleBackingStore(&w, [&inUse] { return inUse; });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    EXPECT_GT(w.Paints, 0);
    EXPECT_FALSE(HoldsStore(w));

    // Nothing is dirty, yet the expose must paint: there is no store left to copy from.
    w.Paints = 0;
    w.Painted = QRegion();
    Expose(w);
    EXPECT_EQ(w.Paints, 1);
    EXPECT_EQ(w.Painted, QRegion(w.rect()));
    EXPECT_FALSE(HoldsStore(w));

    // A partial update of a released window still paints it whole.
    EXPECT_EQ(RepaintCorner(w), QRegion(w.rect()));
    EXPECT_FALSE(HoldsStore(w));

    // In use, the window keeps its store and repaints only what changed.
    inUse = true;
    w.update();
    QCoreApplication::processEvents();
    EXPECT_TRUE(HoldsStore(w));
    EXPECT_EQ(RepaintCorner(w), QRegion(0, 0, 16, 16));
    EXPECT_TRUE(HoldsStore(w));
}

TEST(IdleBackingStore, AnAnimatingWindowKeepsItsStoreFromItsOwnRepaintsOnNotFromAnExpose) {
    TCountingWindow w;
    bool animating = true;
    new TIdleBackingStore(
        &w, [] { return false; }, [&animating] { return animating; });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    Expose(w);
    EXPECT_FALSE(HoldsStore(w));
    EXPECT_EQ(RepaintCorner(w), QRegion(w.rect())) << "the first repaint of its own is whole";
    EXPECT_TRUE(HoldsStore(w));
    EXPECT_EQ(RepaintCorner(w), QRegion(0, 0, 16, 16));
    animating = false;
    RepaintCorner(w);
    EXPECT_FALSE(HoldsStore(w));
}

TEST_F(NoteTest, AShownNoteHoldsNoStoreWhileNobodyWorksInIt) {
    Start();
    TFmNote* n = FMain->CreateNewNote(QString());
    ASSERT_NE(n, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(n));
    QCoreApplication::processEvents();
    EXPECT_TRUE(n->isActiveWindow() == HoldsStore(*n)) << "only the note in front keeps its store";
    // Another note comes to the front; this one repaints without its focus and lets go.
    TFmNote* front = FMain->CreateNewNote(QString());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(front));
    front->activateWindow();
    n->update();
    QCoreApplication::processEvents();
    ASSERT_FALSE(n->isActiveWindow());
    EXPECT_FALSE(HoldsStore(*n));
    n->EnableMmoNote();
    n->update();
    QCoreApplication::processEvents();
    EXPECT_TRUE(HoldsStore(*n)) << "the note being edited keeps its store";
}

TEST_F(NoteTest, MessagesChangeTheNoteAndPreviewsIgnoreThem) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) { AddRow(db, "A", "x", 100, 100); });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    n->SetAlpha(160);
    n->show();
    EXPECT_EQ(n->Record().Note.FmTrans, 160);
    SendMessageW(n, WM_SETTRANS, 0, 100);
    EXPECT_EQ(n->Alpha(), 100);
    EXPECT_EQ(Row("A").asInt(0, "form_trans"), 160); // preview only
    SendMessageW(n, WM_SETTRANS, 1, 0);
    EXPECT_EQ(n->Alpha(), 160);
    SendMessageW(n, WM_SETTRANS, 7, 30);
    EXPECT_EQ(n->Alpha(), 160);
    SendMessageW(n, WM_SETTRANS, 2, 90);
    EXPECT_EQ(Row("A").asInt(0, "form_trans"), 90);
    // Only the low byte is an alpha, for the store and for a later revert alike.
    SendMessageW(n, WM_SETTRANS, 2, 0x1234);
    EXPECT_EQ(n->Alpha(), 0x34);
    EXPECT_EQ(Row("A").asInt(0, "form_trans"), 0x34);
    SendMessageW(n, WM_SETTRANS, 1, 0);
    EXPECT_EQ(n->Alpha(), 0x34);
    SendMessageW(n, WM_SETTRANS, 2, 90);
    EXPECT_EQ(FUploads.last().Fields, TUploadFields{utTransparency}.bits());
    EXPECT_FALSE(FUploads.last().Notify);

    SendMessageW(n, WM_SETFONTCOLOR, 2, 0x0000FF);
    EXPECT_EQ(n->FontColor(), 0x0000FF);
    EXPECT_EQ(Row("A").asInt(0, "fontcolor"), 0x0000FF);

    TFontInfo font{QStringLiteral("DejaVu Serif"), 16, 0, true};
    SendMessageW(n, WM_SETNOTEFONT, 0, reinterpret_cast<LPARAM>(&font));
    EXPECT_EQ(Row("A").asText(0, "fontname"), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(Row("A").asInt(0, "fontsize"), 16);
    EXPECT_EQ(Row("A").asInt(0, "fontbold"), 1);
    EXPECT_EQ(FUploads.last().Fields, 28);

    FMain->Db().Exec("update notes set mynote='from server', bgcolorindex=4 where id='A'");
    SendMessageW(n, WM_RELOADNOTE, 0, 0);
    EXPECT_EQ(n->NoteText(), QStringLiteral("from server"));
    EXPECT_EQ(n->BgColorIndex(), 4);

    SendMessageW(n, WM_HIDENOTE, 0, 0);
    EXPECT_FALSE(n->isVisible());
    SendMessageW(n, WM_SHOWNOTE, 0, 0);
    EXPECT_TRUE(n->isVisible());
    SendMessageW(n, WM_UPDATINGBEGIN, 0, 0);
    EXPECT_TRUE(n->IsUpdating());
    SendMessageW(n, WM_UPDATINGEND, 0, 0);
    EXPECT_FALSE(n->IsUpdating());

    n->SetIsPreviewMode(true);
    const int uploads = FUploads.size();
    SendMessageW(n, WM_SETTRANS, 2, 33);
    SendMessageW(n, WM_SETNOTEFONT, 0, reinterpret_cast<LPARAM>(&font));
    SendMessageW(n, WM_SETFONTCOLOR, 2, 0xFF0000);
    EXPECT_EQ(n->Alpha(), 90);
    EXPECT_EQ(FUploads.size(), uploads);
    EXPECT_EQ(Row("A").asInt(0, "form_trans"), 90);
}

TEST_F(NoteOnContext, MenuStateFollowsTheStoreTheAccountAndTheClipboard) {
    TFmNote* n = Load("ONLY", [](TDbConnection& db) { AddRow(db, "ONLY", "  ", 100, 100); });
    QMenu* menu = n->PopupMenu();
    EXPECT_EQ(menu->actions().size(), 31);
    // The tray's own commands only where there is no tray (a context without a shell has one).
    for (QAction* a : {n->actOptions, n->actImportNotes, n->actAbout, n->actLogout})
        EXPECT_FALSE(a->isVisible()) << a->objectName().toStdString();
    EXPECT_FALSE(n->actDelNote->isEnabled()); // the only note, blank
    EXPECT_TRUE(n->actLogin->isVisible());
    EXPECT_FALSE(n->actMyAccount->isVisible());
    EXPECT_FALSE(n->actHideOnThisComputer->isVisible());
    EXPECT_FALSE(n->actPaste->isVisible());
    EXPECT_EQ(n->actClose->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(n->mnuBgColors[0]->text(), QStringLiteral("Yellow"));

    AddRow(Shell.Db(), "SECOND", "", 400, 100);
    AppState().NoteOptions.FconfigUserID = QStringLiteral("5");
    AppState().NoteOptions.FconfigAutoHideNote = true;
    QGuiApplication::clipboard()->setText(QStringLiteral("clip"));
    n->EnableMmoNote();
    n->PopupMenu();
    EXPECT_TRUE(n->actDelNote->isEnabled());
    EXPECT_FALSE(n->actLogin->isVisible());
    EXPECT_TRUE(n->actMyAccount->isVisible());
    EXPECT_TRUE(n->actUpdateHistory->isVisible());
    EXPECT_TRUE(n->actPaste->isVisible());
    EXPECT_TRUE(n->actAutoHide->isChecked());
    AppState().NoteOptions.FconfigUserID.clear();
    AppState().NoteOptions.FconfigAutoHideNote = false;
}

TEST_F(NoteOnContext, BackgroundNamesFollowTheLanguageSettingAtFirstUse) {
    TFmNote* n = Load("A", {}, "[config]\nLanguage=Chinese\n");
    n->PopupMenu();
    EXPECT_EQ(n->mnuBgColors[0]->text(), QStringLiteral("黄色"));
    EXPECT_EQ(n->mnuBgColors[6]->text(), QStringLiteral("灰色"));
}

TEST_F(NoteTest, NewNoteFromANoteCopiesItsLookAndStartsWithTheDateForLists) {
    Start("[config]\nLanguage=English\nInsertDateAuto=1\n",
          [](TDbConnection& db) { AddRow(db, "A", "x", 100, 100, 300, 150); });
    FMain->tmrLoadNotesTimer();
    TFmNote* a = TFmMain::NoteWindows().first();
    NoteRecord look = a->Record();
    look.Note.ShowAsList = 1;
    look.Note.BGColorIdx = 2;
    a->ShowRecord(look);
    a->actAddNewNoteExecute();
    QList<TFmNote*> notes = TFmMain::NoteWindows();
    ASSERT_EQ(notes.size(), 2);
    TFmNote* b = notes[0] == a ? notes[1] : notes[0];
    EXPECT_EQ(b->size(), QSize(300, 150));
    EXPECT_EQ(b->BgColorIndex(), 2);
    const TRowSet r = Row(b->NoteId());
    EXPECT_EQ(r.asInt(0, "commited"), 0);
    EXPECT_EQ(r.asText(0, "mynote"),
              NoteText::FormatDateText(QStringLiteral("mm.dd"), QDateTime::currentDateTime()));
    EXPECT_EQ(r.asInt(0, "showaslist"), 1);
    EXPECT_TRUE(FUploads.isEmpty());
}

TEST_F(NoteOnContext, UpdateNotesWhileSignedOutShowsTheReminder) {
    TFmNote* n = Load("A");
    QString text, title;
    const TMessageBoxHandler old =
        SetMessageBoxHandler([&](QWidget*, const QString& t, const QString& c, unsigned) {
            text = t;
            title = c;
            return IDOK;
        });
    n->actUpdateNotesExecute();
    SetMessageBoxHandler(old);
    EXPECT_EQ(text, QStringLiteral("You have not signed in, please sign in first!"));
    EXPECT_EQ(title, QStringLiteral("Information"));
}

TEST_F(NoteOnContext, CopyWithoutSelectionCopiesTheWholeNote) {
    TFmNote* n = Load("A", [](TDbConnection& db) { AddRow(db, "A", "line one\nline two", 100, 100); });
    n->actCopyExecute();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("line one\nline two"));
}

TEST_F(NoteOnContext, ClickingALinkWhileEditingOpensItWithTheClientMark) {
    TFmNote* n = Load("A", [](TDbConnection& db) {
        AddRow(db, "A", "see http://example.org/a?b=1 and www.example.org/x", 100, 100, 600, 100);
    });
    n->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(n));
    QStringList opened;
    auto old = TFmNote::OpenUrlHook;
    TFmNote::OpenUrlHook = [&](const QString& u) { opened << u; };
    n->EnableMmoNote();
    QTextCursor c(n->Document());
    const QString text = n->NoteText();
    for (const QString& needle : {QStringLiteral("example.org/a"), QStringLiteral("www.example")}) {
        c.setPosition(int(text.indexOf(needle)) + 2);
        const QPoint at = n->mmoNote->cursorRect(c).center();
        QTest::mouseClick(n->mmoNote->viewport(), Qt::LeftButton, {}, at);
    }
    TFmNote::OpenUrlHook = old;
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QStringLiteral("http://example.org/a?b=1&ZuvoClient=http://127.0.0.1:8086/"));
    EXPECT_EQ(opened[1], QStringLiteral("http://www.example.org/x?ZuvoClient=http://127.0.0.1:8086/"));
}

TEST_F(NoteTest, TheTrayToggleHidesAndShowsAllNotesAndSurvivesARestart) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "A", "a", 100, 100);
        AddRow(db, "B", "b", 400, 100);
    });
    FMain->tmrLoadNotesTimer();
    FMain->pmTrayPopup();
    EXPECT_TRUE(FMain->actLogin->isVisible());
    EXPECT_FALSE(FMain->actLogout->isVisible());
    EXPECT_TRUE(FMain->actShowNotesOnDesk->isChecked());
    FMain->actShowNotesOnDesk->trigger();
    for (TFmNote* n : TFmMain::NoteWindows())
        EXPECT_FALSE(n->isVisible());
    EXPECT_FALSE(TIniFile(FSetup.DataFolder() + "config.ini").ReadBool("General", "ShowNotesOnDesk", true));
    FMain->actShowNotesOnDesk->trigger();
    for (TFmNote* n : TFmMain::NoteWindows())
        EXPECT_TRUE(n->isVisible());
    EXPECT_TRUE(TIniFile(FSetup.DataFolder() + "config.ini").ReadBool("General", "ShowNotesOnDesk", false));
    ASSERT_EQ(FMain->pmTray->actions().size(), 13); // with "Import Notes..."
}

TEST_F(NoteTest, ExitClosesEveryNoteAndTheShutdownStillSavesThem) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "A", "a", 100, 100);
        AddRow(db, "B", "b", 400, 100);
    });
    FMain->tmrLoadNotesTimer();
    for (TFmNote* n : TFmMain::NoteWindows())
        n->setGeometry(n->x() + 33, n->y() + 44, 300, 120); // moved and resized, not yet stored
    TFmMain::NoteWindows().first()->actCloseExecute();
    for (TFmNote* n : TFmMain::NoteWindows())
        EXPECT_FALSE(n->isVisible());
    EXPECT_TRUE(FMain->IsShuttingDown());
    auto db = TDbConnection::Open(FSetup.DataFolder() + QStringLiteral("brisel.mdb"));
    const TRowSet r = db->Select(QStringLiteral("select id, form_x, form_y, form_w from notes order by id"));
    EXPECT_EQ(r.asInt(0, "form_x"), 133);
    EXPECT_EQ(r.asInt(0, "form_y"), 144);
    EXPECT_EQ(r.asInt(1, "form_x"), 433);
    EXPECT_EQ(r.asInt(1, "form_w"), 300);
    FMain.reset(); // already shut down
}

TEST_F(NoteTest, DraggingMovesTheNoteAndResizingKeepsTheLimits) {
    Start();
    TFmNote* n = FMain->CreateNewNote(QStringLiteral("drag me"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(n));
    const QRect before = n->geometry();
    QTest::mousePress(n, Qt::LeftButton, {}, QPoint(100, 50));
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 30), n->mapToGlobal(QPointF(60, 30)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(n, &move);
    QTest::mouseRelease(n, Qt::LeftButton, {}, QPoint(60, 30));
    EXPECT_EQ(n->pos(), before.topLeft() + QPoint(-40, -20));
    // Form the bottom-right corner, far inward: the limits hold.
    const QPoint corner(n->width() - 2, n->height() - 2);
    QTest::mousePress(n, Qt::LeftButton, {}, corner);
    QMouseEvent shrink(QEvent::MouseMove, QPointF(5, 5), n->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                       Qt::LeftButton, {});
    QApplication::sendEvent(n, &shrink);
    QTest::mouseRelease(n, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(n->size(), QSize(120, 40));
    // Without auto-hide the new place is not stored until the next save.
    EXPECT_EQ(Row(n->NoteId()).asInt(0, "form_x"), before.x());

    // From the top or left border, past the limit: the opposite edge stays where it was.
    n->setGeometry(QRect(300, 300, 220, 100));
    const struct {
        const char* What;
        QPoint Press;
        QPoint To;
        QRect Expected;
    } borders[] = {
        {"top-left corner", {2, 2}, {400, 300}, QRect(400, 360, 120, 40)},
        {"top border", {110, 2}, {110, 250}, QRect(300, 360, 220, 40)},
        {"left border", {2, 50}, {500, 50}, QRect(400, 300, 120, 100)},
    };
    for (const auto& b : borders) {
        SCOPED_TRACE(b.What);
        n->setGeometry(QRect(300, 300, 220, 100));
        QTest::mousePress(n, Qt::LeftButton, {}, b.Press);
        QMouseEvent drag(QEvent::MouseMove, QPointF(b.To), n->mapToGlobal(QPointF(b.To)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(n, &drag);
        QTest::mouseRelease(n, Qt::LeftButton, {}, b.To);
        EXPECT_EQ(n->geometry(), b.Expected);
    }
}

TEST_F(NoteTest, TheAppearanceDialogsChangeTheNoteThroughItsMessages) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) { AddRow(db, "A", "x", 100, 100); });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    n->SetAlpha(160);
    const TModalHandler old = SetModalHandler([](QDialog& d) {
        d.show();
        if (auto* t = qobject_cast<TFmSetTransValue*>(&d)) {
            EXPECT_EQ(t->TrackBar1->value(), 62); // trunc(160 * 100 / 255)
            t->TrackBar1->setValue(50);
            t->btnOK->click();
        } else {
            static_cast<TFmAppearanceDialog&>(d).btnCancel->click();
        }
        return d.result();
    });
    n->actSetTransValueExecute();
    EXPECT_EQ(n->Alpha(), 50 * 255 / 100);
    EXPECT_EQ(Row("A").asInt(0, "form_trans"), 50 * 255 / 100);
    const qint32 color = n->FontColor();
    n->actSetColorExecute();
    EXPECT_EQ(n->FontColor(), color);
    SetModalHandler(old);
}

TEST_F(NoteTest, AtTheEndOfASessionAnUnsavedEditIsStoredAndStaysPending) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "EDITED", "old", 100, 100);
        AddRow(db, "SAME", "same", 400, 100);
        db.Exec("update notes set commited=1");
    });
    FMain->tmrLoadNotesTimer();
    for (TFmNote* n : TFmMain::NoteWindows()) {
        n->move(n->x() + 5, n->y());
        if (n->NoteId() == QLatin1String("EDITED")) {
            n->EnableMmoNote();
            n->mmoNote->setPlainText(QStringLiteral("typed but never deactivated"));
        }
    }
    FMain->EndSession();
    EXPECT_EQ(Row("EDITED").asText(0, "mynote"), QStringLiteral("typed but never deactivated"));
    EXPECT_EQ(Row("EDITED").asInt(0, "commited"), 0);
    EXPECT_EQ(Row("SAME").asInt(0, "commited"), 1); // only the look changed: nothing to upload
    EXPECT_EQ(Row("SAME").asInt(0, "form_x"), 405);
}

TEST_F(NoteTest, AFaceChangeTheStoreRefusesLeavesTheNoteAndItsMenuAsStored) {
    TFmNote* n = ShowCommittedNote(QStringLiteral("x"));
    n->PopupMenu()->hide();
    TFontInfo font{QStringLiteral("DejaVu Serif"), 16, 0, true};
    const struct {
        const char* Name;
        std::function<void()> Change;
    } cases[] = {
        {"topmost", [n] { n->actTopmost->trigger(); }},
        {"auto height", [n] { n->actAutoHeight->trigger(); }},
        {"list style", [n] { n->actListStyles[2]->trigger(); }},
        {"colour", [n] { n->mnuBgColors[4]->trigger(); }},
        {"transparency", [n] { SendMessageW(n, WM_SETTRANS, 2, 60); }},
        {"text colour", [n] { SendMessageW(n, WM_SETFONTCOLOR, 2, 0x0000FF); }},
        {"font", [n, &font] { SendMessageW(n, WM_SETNOTEFONT, 0, reinterpret_cast<LPARAM>(&font)); }},
    };
    FMain->Db().Exec(QStringLiteral("PRAGMA query_only=1")); // the store refuses every write
    for (const auto& c : cases) {
        const NoteRecord stored = n->Record();
        const NoteRecord shown = n->ShownRecord();
        const qsizetype before = FBoxes.size();
        c.Change();
        EXPECT_EQ(FBoxes.size(), before + 1) << c.Name;
        EXPECT_EQ(n->Record(), stored) << c.Name;
        EXPECT_EQ(n->ShownRecord(), shown) << c.Name;
        EXPECT_FALSE(n->actTopmost->isChecked()) << c.Name;
        EXPECT_FALSE(n->actAutoHeight->isChecked()) << c.Name;
        EXPECT_TRUE(n->actListStyles[stored.Note.ShowAsList]->isChecked()) << c.Name;
        EXPECT_TRUE(n->mnuBgColors[stored.Note.BGColorIdx]->isChecked()) << c.Name;
    }
    EXPECT_EQ(Row("A").asInt(0, "commited"), 1);
    EXPECT_TRUE(FUploads.isEmpty());

    // Taken by the store, the change is the note's.
    FMain->Db().Exec(QStringLiteral("PRAGMA query_only=0"));
    n->mnuBgColors[4]->trigger();
    EXPECT_EQ(n->Record().Note.BGColorIdx, 4);
    EXPECT_EQ(n->ShownRecord().Note.BGColorIdx, 4);
    EXPECT_EQ(Row("A").asInt(0, "bgcolorindex"), 4);
}

TEST_F(NoteTest, AFailedSaveKeepsTheEditUnsavedAndTheSessionEndStoresItPending) {
    TFmNote* n = ShowCommittedNote(QStringLiteral("before"));

    QTest::mouseDClick(n, Qt::LeftButton, {}, QPoint(60, 30));
    ASSERT_NE(n->mmoNote, nullptr);
    n->mmoNote->selectAll();
    QTest::keyClicks(n->mmoNote, QStringLiteral("after"));
    FMain->Db().Exec(QStringLiteral("PRAGMA query_only=1")); // the store refuses every write
    Deactivate(n);
    EXPECT_EQ(FBoxes.size(), 1);
    EXPECT_TRUE(FUploads.isEmpty());
    EXPECT_EQ(n->NoteText(), QStringLiteral("after"));
    EXPECT_EQ(n->StoredNote(), QStringLiteral("before"));
    EXPECT_EQ(Row("A").asText(0, "mynote"), QStringLiteral("before"));

    // Once the store takes writes again, the edit is not lost as "already saved".
    FMain->Db().Exec(QStringLiteral("PRAGMA query_only=0"));
    FMain->EndSession();
    EXPECT_EQ(Row("A").asText(0, "mynote"), QStringLiteral("after"));
    EXPECT_EQ(Row("A").asInt(0, "commited"), 0);
}

TEST_F(NoteTest, AnAudioNoteCarriesItsPlayControlAndNeverEdits) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) {
        AddRow(db, "VOICE", "a recording", 100, 100, 240, 120);
        db.Exec("update notes set notetype=1 where id='VOICE'");
        AddRow(db, "TEXT", "text", 400, 100);
    });
    FMain->tmrLoadNotesTimer();
    TFmNote* voice = nullptr;
    TFmNote* text = nullptr;
    for (TFmNote* n : TFmMain::NoteWindows())
        (n->NoteId() == QLatin1String("VOICE") ? voice : text) = n;
    ASSERT_TRUE(voice && text);
    ASSERT_NE(voice->pnlPlay, nullptr);
    EXPECT_EQ(voice->pnlPlay->NoteId, QStringLiteral("VOICE"));
    EXPECT_EQ(voice->pnlPlay->geometry().topLeft(), QPoint(240 - 66 - 10, 120 - 28 - 10));
    EXPECT_EQ(text->pnlPlay, nullptr); // text notes carry no audio control
    voice->EnableMmoNote();
    EXPECT_FALSE(voice->IsEditing());
    voice->resize(300, 150);
    EXPECT_EQ(voice->pnlPlay->geometry().topLeft(), QPoint(300 - 76, 150 - 38));
}

TEST_F(NoteTest, AddAlertAndOptionsOpenTheirDialogs) {
    Start("[config]\nLanguage=English\n", [](TDbConnection& db) { AddRow(db, "A", "x", 100, 100); });
    FMain->tmrLoadNotesTimer();
    TFmNote* n = TFmMain::NoteWindows().first();
    QStringList opened;
    const TModalHandler old = SetModalHandler([&](QDialog& d) {
        opened << QString::fromLatin1(d.metaObject()->className());
        return int(QDialog::Rejected);
    });
    n->PopupMenu();
    n->actSetupAlert->trigger();
    FMain->actOptions->trigger();
    SetModalHandler(old);
    EXPECT_EQ(opened, (QStringList{"TFmAlertSetup", "TFmOptions"}));
    EXPECT_TRUE(FUploads.isEmpty()); // cancelled: nothing to upload
}
