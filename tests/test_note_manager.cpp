// The hidden-notes manager: its list, Show bringing a hidden note back (also a
// docked one, also with desktop notes off), a note that vanished meanwhile, and
// how a stored text becomes one line of the list.

#include "note/uNoteReminder.h"
#include "reminders/uScheduleObject.h"
#include "support/NoteTestContext.h"
#include "support/NoteWindowFixture.h"
#include "ui/uFmNoteManager.h"

#include <QApplication>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace {

class NoteManager : public testenv::NoteWindowFixture {
protected:
    // "SHOWN" on the desktop; "H1" and "H2" hidden on this computer, "H2" docked
    // when it was hidden.
    void StartWithHidden(const QByteArray& config = {}) { Start(config, AddRowsWithHidden); }
    static void AddRowsWithHidden(TDbConnection& db) {
        AddRow(db, "SHOWN", "on the desk", QRect(100, 100, 220, 100));
        AddRow(db, "H1", "first\nsecond", QRect(300, 310, 240, 120));
        AddRow(db, "H2", "docked one", QRect(500, 320, 220, 100));
        db.Exec("update notes set ishiddenmode=1, hiddenpos=0, hiddenposy=400, fontname='DejaVu Sans', "
                "fontsize=12, bgcolorindex=4 where id='H2'");
        db.Exec("update notes set shownote=0, commited=1 where id in ('H1','H2')");
        db.Exec("update notes set ctime='2026-03-04 05:06:07', alerttype=3, alertvalue1='09:00:00' "
                "where id='H1'");
    }

    static QStringList Ids(const TFmNoteManager& m) {
        QStringList ids;
        for (int r = 0; r < m.ListView1->rowCount(); ++r)
            ids.append(m.ListView1->item(r, TFmNoteManager::colId)->text());
        return ids;
    }

    static void Select(TFmNoteManager& m, const QString& id) {
        m.ListView1->clearSelection();
        for (int r = 0; r < m.ListView1->rowCount(); ++r)
            if (m.ListView1->item(r, TFmNoteManager::colId)->text() == id)
                m.ListView1->selectRow(r);
    }
};

// The list on a test context: no main window; a note shown again is only recorded.
class HiddenNotesList : public NoteManager {
protected:
    void SetUp() override {
        NoteManager::SetUp();
        AddRowsWithHidden(Shell.Db());
    }

    testenv::TTestNoteContext Shell;
};

TEST_F(HiddenNotesList, ListsTheHiddenNotesOnOneLineWithTheirCreationTime) {
    TFmNoteManager m(Shell.NewNote("SHOWN"), Shell.Context());
    EXPECT_EQ(m.windowTitle(), QStringLiteral("Note Manager"));
    EXPECT_EQ(m.grpHidedNotes->title(), QStringLiteral("Hidden Notes"));
    EXPECT_EQ(m.btnShow->text(), QStringLiteral("&Show Notes"));
    EXPECT_EQ(m.btnClose->text(), QStringLiteral("Cancel"));
    ASSERT_EQ(Ids(m), (QStringList{"H1", "H2"}));
    EXPECT_EQ(m.ListView1->item(0, TFmNoteManager::colText)->text(), QStringLiteral("first \u00B6 second"));
    EXPECT_EQ(m.ListView1->item(0, TFmNoteManager::colTime)->text(),
              QLocale::system().toString(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)), QLocale::ShortFormat));
    EXPECT_EQ(m.ListView1->columnWidth(TFmNoteManager::colId), 1);
}

TEST_F(NoteManager, ShowBringsBackEachChosenNoteAndKeepsTheDialogOpen) {
    StartWithHidden("[General]\nShowNotesOnDesk=0\n");
    TFmNote* opener = Note("SHOWN");
    DriveDialog = [&](QDialog& d) {
        auto& m = dynamic_cast<TFmNoteManager&>(d);
        EXPECT_EQ(m.parentWidget(), opener);
        m.ListView1->clearSelection();
        m.btnShow->click(); // nothing selected: nothing happens
        EXPECT_EQ(Ids(m).size(), 2);
        Select(m, "H2");
        m.btnShow->click();
        EXPECT_EQ(Ids(m), QStringList{"H1"});
        EXPECT_TRUE(m.isVisible());
        Select(m, "H1");
        m.btnShow->click();
        EXPECT_TRUE(Ids(m).isEmpty());
        m.btnClose->click();
    };
    Choose(opener, &TFmNote::actNoteManager);
    ASSERT_EQ(Dialogs, QStringList{"TFmNoteManager"});

    // Shown although desktop notes are off; undocked at its stored place; its row
    // shown and no longer docked, and nothing for the server.
    TFmNote* docked = Note("H2");
    ASSERT_NE(docked, nullptr);
    EXPECT_TRUE(docked->isVisible());
    EXPECT_FALSE(docked->IsDocked());
    EXPECT_EQ(docked->geometry(), QRect(500, 320, 220, 100));
    EXPECT_EQ(docked->EditorFont().family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(docked->BgColorIndex(), 4);
    EXPECT_EQ(docked->NoteText(), QStringLiteral("docked one"));
    EXPECT_EQ(docked->StoredNote(), QStringLiteral("docked one"));
    EXPECT_TRUE(docked->ShowAd);
    for (const char* id : {"H1", "H2"}) {
        const TRowSet r = Row(id);
        EXPECT_EQ(r.asInt(0, "shownote"), 1) << id;
        EXPECT_EQ(r.asInt(0, "commited"), 1) << id;
        EXPECT_EQ(r.asInt(0, "ishiddenmode"), 0) << id;
    }
    EXPECT_TRUE(Uploads.isEmpty());
    EXPECT_TRUE(Deletes.isEmpty());
    ASSERT_NE(Note("H1"), nullptr);
    EXPECT_EQ(Note("H1")->geometry(), QRect(300, 310, 240, 120));
    // Its daily reminder is active again at once.
    const TScheduleObject* reminder = NoteSchedule(Note("H1"));
    EXPECT_EQ(reminder->ScheduleType(), stEveryDay);
    EXPECT_TRUE(reminder->TickEnabled());
    EXPECT_EQ(reminder->ScheduleTime().time(), QTime(9, 0, 0));
}

TEST_F(HiddenNotesList, TheKeyboardAloneShowsNotesEnterAndADoubleClickShowTheChosenOne) {
    TFmNoteManager m(Shell.NewNote("SHOWN"), Shell.Context());
    m.show();
    // Ready for Enter at once: the first note chosen, the list focused, Show the default.
    EXPECT_TRUE(m.btnShow->isDefault());
    EXPECT_FALSE(m.ListView1->tabKeyNavigation());
    ASSERT_EQ(Ids(m), (QStringList{"H1", "H2"}));
    EXPECT_EQ(m.ListView1->selectedItems().value(0)->row(), 0);
    QTest::keyClick(m.ListView1, Qt::Key_Return);
    EXPECT_EQ(Ids(m), QStringList{"H2"});
    EXPECT_EQ(Shell.ShownAgain, QStringList{"H1"});
    // The next one is chosen: a double-click on it shows it too.
    const QRect cell = m.ListView1->visualRect(m.ListView1->model()->index(0, TFmNoteManager::colText));
    QWidget* viewport = m.ListView1->viewport();
    const QPointF at = cell.center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &e);
    }
    EXPECT_TRUE(Ids(m).isEmpty());
    EXPECT_EQ(Shell.ShownAgain, (QStringList{"H1", "H2"}));
    EXPECT_TRUE(m.isVisible());
}

TEST_F(NoteManager, ANoteHiddenFromItsMenuComesBackFromTheManager) {
    StartWithHidden("UserID=5\nUserName=me\n");
    Main->Db().Exec("update notes set commited=1 where id='SHOWN'");
    QPointer<TFmNote> shown = Note("SHOWN");
    Choose(shown, &TFmNote::actHideOnThisComputer);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(shown.isNull());
    EXPECT_EQ(Row("SHOWN").asInt(0, "shownote"), 0);

    // From another note's menu: the manager lists it with the others, and shows it.
    auto* other = new TFmNote(Main->NoteContext());
    DriveDialog = [&](QDialog& d) {
        auto& m = dynamic_cast<TFmNoteManager&>(d);
        EXPECT_EQ(Ids(m), (QStringList{"SHOWN", "H1", "H2"}));
        Select(m, "SHOWN");
        m.btnShow->click();
        m.btnClose->click();
    };
    Choose(other, &TFmNote::actNoteManager);
    TFmNote* back = Note("SHOWN");
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->isVisible());
    EXPECT_EQ(back->NoteText(), QStringLiteral("on the desk"));
    EXPECT_EQ(Row("SHOWN").asInt(0, "shownote"), 1);
    EXPECT_EQ(Row("SHOWN").asInt(0, "commited"), 1);
    EXPECT_TRUE(Uploads.isEmpty());
    EXPECT_TRUE(Deletes.isEmpty());
}

TEST_F(HiddenNotesList, ANoteGoneFromTheStoreMeanwhileIsOnlyTakenOffTheList) {
    TFmNoteManager m(nullptr, Shell.Context());
    Shell.Db().Exec("delete from notes where id='H1'");
    Select(m, "H1");
    m.btnShow->click();
    EXPECT_EQ(Ids(m), QStringList{"H2"});
    EXPECT_TRUE(Shell.ShownAgain.isEmpty());
    EXPECT_TRUE(Boxes.isEmpty());
    // The one still there is shown again.
    Select(m, "H2");
    m.btnShow->click();
    EXPECT_TRUE(Ids(m).isEmpty());
    EXPECT_EQ(Shell.ShownAgain, QStringList{"H2"});
}

TEST_F(NoteManager, WithNoHiddenNotesTheListIsEmpty) {
    Start({}, [](TDbConnection& db) { AddRow(db, "SHOWN", "x", QRect(100, 100, 220, 100)); });
    TFmNoteManager m(nullptr, Main->NoteContext());
    EXPECT_EQ(m.ListView1->rowCount(), 0);
    m.btnShow->click();
    EXPECT_EQ(TFmMain::NoteWindows().size(), 1);
}

TEST(NoteManagerLine, AStoredTextBecomesOneLine) {
    const QString mark = QStringLiteral(" \u00B6 ");
    struct TCase {
        QString Stored;
        QString Shown;
    } cases[] = {
        {"", ""},
        {"one line", "one line"},
        {"a\nb", "a" + mark + "b"},
        {"a\r\n\r\n  b  \rc", "a" + mark + "b" + mark + "c"},
        {"\n\nlead and trail\n", "lead and trail"},
        {"tab\tinside", "tab inside"},
        {QString(400, QLatin1Char('x')), QString(299, QLatin1Char('x')) + QChar(0x2026)},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TFmNoteManager::OneLine(c.Stored), c.Shown) << c.Stored.toStdString();
}

} // namespace
