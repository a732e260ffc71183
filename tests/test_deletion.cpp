// How notes leave: "Delete Note" with its fall off the screen, the last note that
// is only emptied, the countdown after a deletion on the server, and hiding on
// this computer.

#include "data/uAppState.h"
#include "lang/uLanguageObject.h"
#include "note/uNoteDeletion.h"
#include "note/uNoteManager.h"
#include "note/uNoteText.h"
#include "note/uTransRichEdit.h"
#include "support/NoteWindowFixture.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {

class Deletion : public testenv::NoteWindowFixture {
protected:
    // "A" at (100, 200) and "B", both committed; signed in when asked.
    void StartWithTwo(const QByteArray& config = {}) {
        Start(config, [](TDbConnection& db) {
            AddRow(db, "A", "keep this text", QRect(100, 200, 220, 100));
            AddRow(db, "B", "other", QRect(500, 200, 220, 100));
            db.Exec("update notes set commited=1");
        });
    }

    static void Flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static QColor LabelColor(const TNoteDeletion* d) {
        return d->lblDeleteAlert->palette().color(QPalette::WindowText);
    }

    // The download worker removed the row, then told every note.
    void RemovedOnServer(const QString& id) {
        Main->Db().Exec(QStringLiteral("delete from notes where id=?"), {id});
        Main->Windows().Broadcast(WM_CHECKNOTEEXISTS);
    }
};

// Counts the steps of a window's fall.
class TMoveCounter : public QObject {
public:
    int Moves = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Move)
            ++Moves;
        return false;
    }
};

TEST_F(Deletion, DeletingOneOfTwoRemovesRowAndAudioAsksTheServerAndTheWindowFallsOff) {
    StartWithTwo();
    QPointer<TFmNote> n = Note("A");
    const QString audio = Setup.DataFolder() + QStringLiteral("audio/A");
    QDir().mkpath(Setup.DataFolder() + QStringLiteral("audio"));
    testenv::writeFile(audio, "recording");

    BoxAnswer = IDNO;
    Choose(n, &TFmNote::actDelNote);
    EXPECT_EQ(Boxes, QStringList{QStringLiteral("Are you sure you want to delete this note?")});
    EXPECT_EQ(Row("A").rowCount(), 1);
    EXPECT_TRUE(QFile::exists(audio));

    BoxAnswer = IDYES;
    TMoveCounter moves;
    n->installEventFilter(&moves);
    Choose(n, &TFmNote::actDelNote);
    EXPECT_EQ(Row("A").rowCount(), 0);
    EXPECT_EQ(Row("B").rowCount(), 1);
    EXPECT_FALSE(QFile::exists(audio));
    EXPECT_EQ(Deletes, QStringList{QStringLiteral("A")});
    EXPECT_TRUE(Uploads.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(n.isNull(), 5000);
    const int H = Screen().height();
    EXPECT_EQ(moves.Moves, (H - 200 + 49) / 50);
    EXPECT_EQ(Deletes.size(), 1);
    EXPECT_NE(Note("B"), nullptr);
}

TEST_F(Deletion, ARowWhoseIdIsAPathRemovesNothingOutsideTheAudioFolder) {
    // Rows written before ids were checked where they come in.
    Start({}, [](TDbConnection& db) {
        AddRow(db, "../config.ini", "planted", QRect(100, 200, 220, 100));
        AddRow(db, "../brisel.mdb", "planted too", QRect(300, 200, 220, 100));
        AddRow(db, "B", "other", QRect(500, 200, 220, 100));
        db.Exec("update notes set commited=1");
    });
    const QString config = Setup.DataFolder() + QStringLiteral("config.ini");
    const QString store = Setup.DataFolder() + QStringLiteral("brisel.mdb");
    QDir().mkpath(Setup.DataFolder() + QStringLiteral("audio"));
    ASSERT_TRUE(QFile::exists(config));
    BoxAnswer = IDYES;
    for (const char* id : {"../config.ini", "../brisel.mdb"}) {
        SCOPED_TRACE(id);
        QPointer<TFmNote> n = Note(id);
        ASSERT_TRUE(n);
        Choose(n, &TFmNote::actDelNote);
        EXPECT_EQ(Row(id).rowCount(), 0);
    }
    EXPECT_TRUE(QFile::exists(config));
    EXPECT_TRUE(QFile::exists(store));
    EXPECT_EQ(Row("B").rowCount(), 1);
}

TEST_F(Deletion, EachStepOfTheFallMovesDownAndRightAndNarrowsToTheLimit) {
    StartWithTwo();
    TFmNote* n = Note("A");
    Choose(n, &TFmNote::actDelNote);
    TNoteDeletion* d = TNoteDeletion::Find(n);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->tmrHideAnimation->isActive());
    d->tmrHideAnimation->stop();
    QList<QRect> steps;
    for (int i = 0; i < 12; ++i) {
        d->tmrHideAnimationTimer();
        steps.append(n->geometry());
    }
    EXPECT_EQ(steps[0], QRect(105, 250, 210, 100));
    EXPECT_EQ(steps[9], QRect(150, 700, 120, 100));
    EXPECT_EQ(steps[11], QRect(160, 800, 120, 100));
}

TEST_F(Deletion, ADockedStripFallsAsAStripOnItsEdge) {
    Start("AutoHideNote=1\n", [](TDbConnection& db) {
        AddRow(db, "A", "docked", QRect(100, 200, 220, 100));
        AddRow(db, "B", "other", QRect(500, 200, 220, 100));
        db.Exec("update notes set commited=1");
        db.Exec("update notes set ishiddenmode=1, hiddenpos=1, hiddenposx=0, hiddenposy=300 where id='A'");
    });
    TFmNote* n = Note("A");
    ASSERT_TRUE(n->IsDocked());
    const QRect strip = n->geometry();
    ASSERT_EQ(strip.x(), 0);
    Choose(n, &TFmNote::actDelNote);
    TNoteDeletion* d = TNoteDeletion::Find(n);
    ASSERT_NE(d, nullptr);
    d->tmrHideAnimation->stop();
    for (int i = 1; i <= 4; ++i) {
        d->tmrHideAnimationTimer();
        EXPECT_EQ(n->geometry(), strip.translated(0, 50 * i)) << i;
        EXPECT_TRUE(n->IsDocked());
        EXPECT_EQ(n->Dock().Edge, 1);
    }
}

TEST_F(Deletion, DeletingTheLastNoteOnlyEmptiesItAndThenTheItemIsDisabled) {
    Start({}, [](TDbConnection& db) {
        AddRow(db, "A", "hello", QRect(100, 200, 220, 100));
        db.Exec("update notes set commited=1");
    });
    TFmNote* n = Note("A");
    Choose(n, &TFmNote::actDelNote);
    const TRowSet r = Row("A");
    ASSERT_EQ(r.rowCount(), 1);
    EXPECT_EQ(r.asText(0, "mynote"), QString());
    EXPECT_EQ(r.asInt(0, "commited"), 1);
    EXPECT_TRUE(n->ShowsBlankHint());
    EXPECT_EQ(TNoteDeletion::Find(n), nullptr);
    // Losing activation afterwards sends nothing either.
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(n, &deactivate);
    EXPECT_TRUE(Uploads.isEmpty());
    EXPECT_TRUE(Deletes.isEmpty());
    n->PopupMenu();
    EXPECT_FALSE(n->actDelNote->isEnabled());
}

TEST_F(Deletion, TheLastNoteEmptiedWhileEditedShowsTheHintOnlyWhenEditingEnds) {
    Start({}, [](TDbConnection& db) { AddRow(db, "A", "hello", QRect(100, 200, 220, 100)); });
    TFmNote* n = Note("A");
    n->EnableMmoNote();
    Choose(n, &TFmNote::actDelNote);
    EXPECT_FALSE(n->ShowsBlankHint());
    EXPECT_EQ(NoteText::PlainText(n->Document()), QString());
    n->mmoNote->insertPlainText(QStringLiteral("typed again"));
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(n, &deactivate);
    EXPECT_EQ(Row("A").asText(0, "mynote"), QStringLiteral("typed again"));
}

TEST_F(Deletion, ANoteDeletedOnTheServerCountsDownThirtySecondsThenGoes) {
    StartWithTwo();
    TFmNote* n = Note("A");
    RemovedOnServer("A");
    EXPECT_EQ(TNoteDeletion::Find(Note("B")), nullptr);
    TNoteDeletion* d = TNoteDeletion::Find(n);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->pnlDelAlert->isVisible());
    EXPECT_EQ(d->pnlDelAlert->geometry(), QRect((220 - 131) / 2, (100 - 129) / 2, 131, 129));
    EXPECT_EQ(d->lblDeleteAlert->text(),
              QStringLiteral("The note was deleted on server, local note will be deleted now."));
    EXPECT_EQ(d->btnCopyNote->text(), QStringLiteral("&Copy Note"));
    EXPECT_EQ(d->btnCloseDelAlert->text(), QStringLiteral("OK"));
    EXPECT_EQ(d->lblCounter->text(), QString());
    EXPECT_TRUE(n->MenuRemoved());
    EXPECT_TRUE(d->tmrDelAlert->isActive());
    EXPECT_TRUE(d->tmrFlashDelAlert->isActive());
    d->tmrDelAlert->stop();

    d->tmrDelAlertTimer();
    EXPECT_EQ(d->lblCounter->text(), QStringLiteral("29"));
    d->tmrFlashDelAlertTimer();
    EXPECT_EQ(LabelColor(d), QColor(0, 0x80, 0));
    d->tmrFlashDelAlertTimer();
    EXPECT_EQ(LabelColor(d), QColor(Qt::black));
    d->btnCopyNoteClick();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("keep this text"));
    // A resize keeps the panel in the middle.
    n->resize(300, 200);
    EXPECT_EQ(d->pnlDelAlert->pos(), QPoint((300 - 131) / 2, (200 - 129) / 2));

    for (int s = 2; s < 30; ++s)
        d->tmrDelAlertTimer();
    EXPECT_EQ(d->lblCounter->text(), QStringLiteral("1"));
    EXPECT_TRUE(Deletes.isEmpty());
    EXPECT_FALSE(d->Sliding());
    d->tmrDelAlertTimer();
    EXPECT_EQ(Deletes, QStringList{QStringLiteral("A")});
    EXPECT_TRUE(d->Sliding());
    EXPECT_FALSE(d->tmrDelAlert->isActive());
    EXPECT_FALSE(d->tmrFlashDelAlert->isActive());
    EXPECT_TRUE(d->tmrHideAnimation->isActive());
}

TEST_F(Deletion, OkEndsTheCountdownAtOnceAndOnlyOnce) {
    StartWithTwo();
    QPointer<TFmNote> n = Note("A");
    RemovedOnServer("A");
    TNoteDeletion* d = TNoteDeletion::Find(n);
    ASSERT_NE(d, nullptr);
    d->tmrDelAlertTimer();
    d->btnCloseDelAlert->click();
    d->btnCloseDelAlert->click();
    RemovedOnServer("A");
    EXPECT_EQ(Deletes, QStringList{QStringLiteral("A")});
    EXPECT_FALSE(d->tmrDelAlert->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(n.isNull(), 5000);
    EXPECT_EQ(Deletes.size(), 1);
}

TEST_F(Deletion, ADockedNoteOpensOutToShowItsCountdown) {
    Start("AutoHideNote=1\n", [](TDbConnection& db) {
        AddRow(db, "A", "docked", QRect(100, 200, 220, 100));
        AddRow(db, "B", "other", QRect(500, 200, 220, 100));
        db.Exec("update notes set ishiddenmode=1, hiddenpos=2, hiddenposx=?, hiddenposy=900 where id='A'",
                {Screen().width() - 16});
    });
    TFmNote* n = Note("A");
    ASSERT_TRUE(n->IsDocked());
    RemovedOnServer("A");
    EXPECT_FALSE(n->IsDocked());
    EXPECT_TRUE(Screen().contains(n->geometry()));
    const TNoteDeletion* d = TNoteDeletion::Find(n);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(n->rect().contains(d->pnlDelAlert->geometry()));
}

TEST_F(Deletion, APreviewIgnoresTheCheckAndEveryTimer) {
    StartWithTwo();
    auto* p = new TFmNote(Main->NoteContext());
    p->SetIsPreviewMode(true);
    NoteRecord shown;
    shown.Note.NoteID = QStringLiteral("A");
    p->ShowRecord(shown);
    p->setGeometry(100, 200, 220, 100);
    Main->Db().Exec("delete from notes where id='A'");
    SendMessageW(p, WM_CHECKNOTEEXISTS, 0, 0);
    EXPECT_EQ(TNoteDeletion::Find(p), nullptr);

    TNoteDeletion* d = TNoteDeletion::Of(p);
    d->StartCountdown();
    const QColor color = LabelColor(d);
    d->tmrDelAlertTimer();
    d->tmrFlashDelAlertTimer();
    d->tmrHideAnimationTimer();
    EXPECT_EQ(d->SecondsLeft(), 30);
    EXPECT_EQ(LabelColor(d), color);
    EXPECT_EQ(p->geometry(), QRect(100, 200, 220, 100));
    EXPECT_TRUE(Deletes.isEmpty());
    delete p;
}

TEST_F(Deletion, HidingOnThisComputerClosesTheWindowAndKeepsTheRowHidden) {
    StartWithTwo("UserID=5\nUserName=me\n");
    QPointer<TFmNote> n = Note("A");
    n->PopupMenu();
    EXPECT_TRUE(n->actHideOnThisComputer->isVisible());

    BoxAnswer = IDNO;
    Choose(n, &TFmNote::actHideOnThisComputer);
    ASSERT_EQ(Boxes.size(), 1);
    EXPECT_TRUE(Boxes.first().startsWith(QStringLiteral("You will never see the note on THIS computer")));
    EXPECT_EQ(Row("A").asInt(0, "shownote"), 1);
    EXPECT_FALSE(n.isNull());

    BoxAnswer = IDYES;
    n->EnableMmoNote();
    Choose(n, &TFmNote::actHideOnThisComputer);
    Flush();
    EXPECT_FALSE(AppState().NoteEditing.load());
    EXPECT_TRUE(n.isNull());
    const TRowSet r = Row("A");
    EXPECT_EQ(r.asInt(0, "shownote"), 0);
    EXPECT_EQ(r.asInt(0, "commited"), 1);
    EXPECT_EQ(r.asText(0, "mynote"), QStringLiteral("keep this text"));
    EXPECT_TRUE(Uploads.isEmpty());
    EXPECT_TRUE(Deletes.isEmpty());
}

} // namespace
