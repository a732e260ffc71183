// A newcomer's first minutes: a new note takes typing at once, notes are told
// apart by their titles, the note menu opens from the keyboard, and a desktop
// without a tray still reaches every command.

#include "data/uAppState.h"
#include "lang/uLanguageObject.h"
#include "note/uNoteManager.h"
#include "note/uTransRichEdit.h"
#include "shared/uIniFile.h"
#include "support/NoteWindowFixture.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QTextDocument>

namespace {

class Keyboard : public testenv::NoteWindowFixture {
protected:
    [[nodiscard]] static TFmNote* NewestNote(const QList<TFmNote*>& before) {
        for (TFmNote* n : TFmMain::NoteWindows())
            if (!before.contains(n))
                return n;
        return nullptr;
    }
};

} // namespace

TEST_F(Keyboard, ANewNoteFromTheTrayOrANoteMenuTakesTheFirstKeysTyped) {
    Start({}, [](TDbConnection& db) { AddRow(db, "A", "first note", QRect(100, 100, 220, 100)); });
    TFmNote* a = Note("A");
    ASSERT_TRUE(a);
    a->show();
    struct TWay {
        const char* What;
        std::function<void()> Make;
    };
    const TWay ways[] = {
        {"the tray's Add Note", [this] { Main->actNewNote->trigger(); }},
        {"a note's Add Note",
         [a] {
             a->PopupMenu();
             a->actAddNewNote->trigger();
         }},
    };
    for (const TWay& way : ways) {
        SCOPED_TRACE(way.What);
        const QList<TFmNote*> before = TFmMain::NoteWindows();
        way.Make();
        TFmNote* made = NewestNote(before);
        ASSERT_TRUE(made);
        EXPECT_TRUE(made->isVisible());
        EXPECT_TRUE(made->IsEditing());
        ASSERT_TRUE(made->mmoNote);
        EXPECT_TRUE(made->mmoNote->isVisible());
        EXPECT_TRUE(AppState().NoteEditing.load());
        // The keys go wherever the keyboard focus is: that must be the new note's editor.
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == made->mmoNote; }, 5000))
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                            : "none");
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("milk"));
        EXPECT_EQ(made->NoteText(), QStringLiteral("milk"));
        // Typing is kept when the note is left, with numbering off as the window showed it.
        QEvent leave(QEvent::WindowDeactivate);
        QApplication::sendEvent(made, &leave);
        EXPECT_FALSE(made->IsEditing());
        EXPECT_EQ(Row(made->NoteId()).asText(0, "mynote"), QStringLiteral("milk"));
        EXPECT_EQ(Row(made->NoteId()).asInt(0, "showaslist"), made->ShowAsList());
        EXPECT_EQ(made->ShowAsList(), 0);
    }
}

TEST_F(Keyboard, ANoteWindowIsTitledByItsFirstLine) {
    Start({}, [](TDbConnection& db) {
        AddRow(db, "A", "Buy milk\nand bread", QRect(100, 100, 220, 100));
        AddRow(db, "B", "", QRect(400, 100, 220, 100));
    });
    TFmNote* a = Note("A");
    TFmNote* b = Note("B");
    ASSERT_TRUE(a && b);
    const QString longLine(100, QLatin1Char('x'));
    const struct {
        const char* What;
        QString Text;
        QString Title;
    } cases[] = {
        {"first line", QStringLiteral("Buy milk\nand bread"), QStringLiteral("Buy milk")},
        {"blanks folded", QStringLiteral("  Call \t Ann  \nlater"), QStringLiteral("Call Ann")},
        {"empty text", QString(), QStringLiteral("Zuvo Note")},
        {"blank first line", QStringLiteral("\nsecond"), QStringLiteral("Zuvo Note")},
        {"long line cut", longLine, longLine.left(TFmNote::kMaxTitleLength - 1) + QChar(0x2026)},
    };
    for (const auto& c : cases) {
        a->SetNoteText(c.Text);
        EXPECT_EQ(a->windowTitle(), c.Title) << c.What;
    }
    a->SetNoteText(QStringLiteral("Buy milk\nand bread"));
    EXPECT_EQ(a->windowTitle(), QStringLiteral("Buy milk"));
    // The hint of an empty note is no title of it.
    b->SetNoteText(Main->Language()->FmNoteblankNoteHint());
    EXPECT_TRUE(b->ShowsBlankHint());
    EXPECT_EQ(b->windowTitle(), QStringLiteral("Zuvo Note"));
    // Typing changes the title as it goes; the program still finds its notes by id.
    a->show();
    a->EnableMmoNote();
    ASSERT_TRUE(a->mmoNote);
    a->mmoNote->selectAll();
    QTest::keyClicks(a->mmoNote, QStringLiteral("Dentist"));
    EXPECT_EQ(a->windowTitle(), QStringLiteral("Dentist"));
    EXPECT_EQ(Main->Windows().Find(QStringLiteral("A")), a);
}

TEST_F(Keyboard, ShiftF10AndTheMenuKeyOpenTheNoteMenu) {
    Start({}, [](TDbConnection& db) { AddRow(db, "A", "text", QRect(100, 100, 220, 100)); });
    TFmNote* a = Note("A");
    ASSERT_TRUE(a);
    a->show();
    EXPECT_NE(a->focusPolicy() & Qt::TabFocus, 0);
    QTest::keyClick(a, Qt::Key_F10, Qt::ShiftModifier);
    QMenu* menu = a->PopupMenu();
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    // F10 alone is no menu key.
    QTest::keyClick(a, Qt::Key_F10);
    EXPECT_FALSE(menu->isVisible());
    // The Menu key reaches a widget as a context-menu event from the keyboard.
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(10, 15), a->mapToGlobal(QPoint(10, 15)));
    QApplication::sendEvent(a, &key);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    // While the note is edited, Shift+F10 in the editor opens the same menu.
    a->EnableMmoNote();
    ASSERT_TRUE(a->mmoNote);
    QTest::keyClick(a->mmoNote, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    EXPECT_EQ(a->NoteText(), QStringLiteral("text"));
}

TEST_F(Keyboard, WithoutATrayItIsSaidOnceAndEveryNoteMenuCarriesTheTraysCommands) {
    bool trayThere = false;
    TweakEnv = [&trayThere](TFmMainEnv& env) { env.TrayHostPresent = [&trayThere] { return trayThere; }; };
    Start("UserID=7\nUserName=ann@example.com\n",
          [](TDbConnection& db) { AddRow(db, "A", "text", QRect(100, 100, 220, 100)); });
    TFmNote* a = Note("A");
    ASSERT_TRUE(a);
    a->PopupMenu();
    for (QAction* act : {a->actOptions, a->actImportNotes, a->actAbout, a->actLogout, a->actClose})
        EXPECT_TRUE(act->isVisible()) << act->objectName().toStdString();
    EXPECT_EQ(a->actOptions->text(), QStringLiteral("&Options"));
    EXPECT_EQ(a->actLogout->text(), QStringLiteral("&Log Out"));

    // Said once, also over later starts.
    Main->TellTrayMissing();
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes[0].contains(QStringLiteral("tray"))) << Boxes[0].toStdString();
    Main->TellTrayMissing();
    EXPECT_EQ(Boxes.size(), 1);
    EXPECT_EQ(TIniFile(Setup.DataFolder() + QStringLiteral("config.ini"))
                  .ReadString(QStringLiteral("General"), QStringLiteral("NoTrayNoticeShown"), {}),
              QStringLiteral("1"));

    // The commands open what the tray's open.
    Choose(a, &TFmNote::actOptions);
    Choose(a, &TFmNote::actAbout);
    Choose(a, &TFmNote::actLogout);
    EXPECT_EQ(Dialogs, (QStringList{"TFmOptions", "TFmAbout", "TFmLogout"}));

    // A tray host came: the notes' menus are as before.
    trayThere = true;
    a->PopupMenu();
    for (QAction* act : {a->actOptions, a->actImportNotes, a->actAbout, a->actLogout})
        EXPECT_FALSE(act->isVisible()) << act->objectName().toStdString();
    EXPECT_TRUE(a->actClose->isVisible());
}
