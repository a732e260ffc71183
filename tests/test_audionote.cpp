// Audio notes: the play control of two notes on the main window's shared
// player, the reset of the other notes, the end of playback, and a control
// that is gone before the player reports.

#include "app/uFmMain.h"
#include "audio/uAudioEncoder.h"
#include "lang/uLanguageObject.h"
#include "note/uAudioPlayPanel.h"
#include "note/uNoteManager.h"
#include "note/uSharedAudio.h"
#include "platform/gui/uAudioPlayer.h"
#include "platform/gui/uWindows.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Stands in for a note window, answering the reset the way a note window does.
class THostNote : public QWidget {
public:
    THostNote(const QString& noteId, TNoteContextPtr context) {
        resize(220, 120);
        Panel = new TAudioPlayPanel(this, std::move(context));
        Panel->NoteId = noteId;
        Panel->move(width() - 76, height() - 38);
    }
    TAudioPlayPanel* Panel;
    int Presses = 0;

protected:
    bool event(QEvent* e) override {
        if (int(e->type()) == WM_RESETAUDIOCTRL) {
            Panel->ResetAudioCtrl();
            return true;
        }
        return QWidget::event(e);
    }
    void mousePressEvent(QMouseEvent*) override { ++Presses; }
};

void makeRecording(const QString& dataFolder, const QString& id, double seconds) {
    QDir().mkpath(dataFolder + QStringLiteral("audio"));
    std::vector<float> s(std::size_t(seconds * 16000));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = float(0.3 * std::sin(double(i) * 0.2));
    ASSERT_TRUE(
        EncodeAudioFile(dataFolder + QStringLiteral("audio/") + id, s, 16000, QStringLiteral("ipod")));
}

bool showsPlayPicture(const TAudioPlayPanel& p) {
    return p.imgAudioCtrl->pixmap().toImage() == AudioPlayPicture().toImage();
}

void clickCaption(TAudioPlayPanel* p) {
    QTest::mouseClick(p, Qt::LeftButton, {}, p->lblAudioCtrl->geometry().center());
}

class AudioNote : public ::testing::Test {
protected:
    void SetUp() override {
        TAudioPlayer::SetForceNullOutput(true);
        Setup = testenv::MakeProgramSetup();
        Main = std::make_unique<TFmMain>(Setup.Env());
        QString error;
        ASSERT_TRUE(Main->Startup(&error)) << error.toStdString();
        makeRecording(Setup.DataFolder(), QStringLiteral("A"), 1.2);
        makeRecording(Setup.DataFolder(), QStringLiteral("B"), 0.6);
        A = std::make_unique<THostNote>(QStringLiteral("A"), Main->NoteContext());
        B = std::make_unique<THostNote>(QStringLiteral("B"), Main->NoteContext());
        Main->Windows().Register(A.get());
        Main->Windows().Register(B.get());
        A->show();
        B->show();
    }
    void TearDown() override {
        A.reset();
        B.reset();
        Main->Shutdown();
        Main.reset();
        TAudioPlayer::SetForceNullOutput(false);
    }

    // The started program's language (Chinese by default).
    [[nodiscard]] QString playText() const { return Main->Language()->FmNoteaudioPlayCaption(); }
    [[nodiscard]] QString stopText() const { return Main->Language()->FmNoteaudioStopCaption(); }

    testenv::TProgramSetup Setup;
    std::unique_ptr<TFmMain> Main;
    std::unique_ptr<THostNote> A;
    std::unique_ptr<THostNote> B;
};

} // namespace

TEST_F(AudioNote, StartingBTurnsABackToPlayAndTheEndOfBRestoresIt) {
    clickCaption(A->Panel);
    EXPECT_EQ(A->Panel->lblAudioCtrl->text(), stopText());
    EXPECT_EQ(Main->AudioProgressBar, A->Panel->ProgressBar1);
    EXPECT_EQ(Main->AudioLblCtrl, A->Panel->lblAudioCtrl);
    EXPECT_EQ(Main->FFPlayer1->State(), TAudioPlayer::psPlaying);
    ASSERT_TRUE(QTest::qWaitFor([&] { return A->Panel->ProgressBar1->value() > 0; }, 2000));
    EXPECT_NEAR(A->Panel->ProgressBar1->maximum(), 1200, 80);

    clickCaption(B->Panel);
    EXPECT_EQ(A->Panel->lblAudioCtrl->text(), playText());
    EXPECT_TRUE(showsPlayPicture(*A->Panel));
    EXPECT_EQ(A->Panel->ProgressBar1->value(), 0);
    EXPECT_EQ(B->Panel->lblAudioCtrl->text(), stopText());
    EXPECT_FALSE(showsPlayPicture(*B->Panel));
    EXPECT_EQ(Main->AudioProgressBar, B->Panel->ProgressBar1);
    EXPECT_EQ(Main->FFPlayer1->FileName(), AudioFilePath(*Main->NoteContext(), QStringLiteral("B")));

    ASSERT_TRUE(QTest::qWaitFor([&] { return Main->FFPlayer1->State() == TAudioPlayer::psEnded; }, 3000));
    EXPECT_EQ(B->Panel->lblAudioCtrl->text(), playText());
    EXPECT_TRUE(showsPlayPicture(*B->Panel));
    // The bar stays where the last position left it.
    EXPECT_GT(B->Panel->ProgressBar1->value(), 0);
    // A kept its idle look; its bar never moved again.
    EXPECT_EQ(A->Panel->ProgressBar1->value(), 0);
}

TEST_F(AudioNote, ClickingStopStopsThePlayerAndEmptiesTheBarAtOnce) {
    clickCaption(A->Panel);
    ASSERT_TRUE(QTest::qWaitFor([&] { return A->Panel->ProgressBar1->value() > 0; }, 2000));
    clickCaption(A->Panel);
    EXPECT_EQ(Main->FFPlayer1->State(), TAudioPlayer::psStopped);
    EXPECT_EQ(A->Panel->ProgressBar1->value(), 0);
    EXPECT_EQ(A->Panel->lblAudioCtrl->text(), playText());
    EXPECT_TRUE(showsPlayPicture(*A->Panel));
    // A language change while playing puts the caption back, so the next click starts again.
    clickCaption(A->Panel);
    A->Panel->UpdateLanguage();
    EXPECT_EQ(A->Panel->lblAudioCtrl->text(), playText());
    clickCaption(A->Panel);
    EXPECT_EQ(Main->FFPlayer1->State(), TAudioPlayer::psPlaying);
}

TEST_F(AudioNote, APressOnTheIconDragsTheNoteInsteadOfPlaying) {
    QTest::mousePress(A->Panel, Qt::LeftButton, {}, A->Panel->imgAudioCtrl->geometry().center());
    QTest::mouseRelease(A->Panel, Qt::LeftButton, {}, A->Panel->imgAudioCtrl->geometry().center());
    EXPECT_EQ(A->Presses, 1);
    EXPECT_EQ(A->Panel->lblAudioCtrl->text(), playText());
    EXPECT_EQ(Main->FFPlayer1->State(), TAudioPlayer::psClosed);
    // The background toggles like the caption.
    QTest::mouseClick(A->Panel, Qt::LeftButton, {}, QPoint(55, 20));
    EXPECT_EQ(A->Panel->lblAudioCtrl->text(), stopText());
}

TEST_F(AudioNote, AMissingRecordingLeavesStopShownAndNothingPlays) {
    A->Panel->NoteId = QStringLiteral("no-such-recording");
    clickCaption(A->Panel);
    EXPECT_EQ(A->Panel->lblAudioCtrl->text(), stopText());
    EXPECT_EQ(Main->FFPlayer1->State(), TAudioPlayer::psClosed);
}

TEST_F(AudioNote, ANoteClosedWhilePlayingIsNeverTouchedByTheLaterEvents) {
    clickCaption(B->Panel);
    B.reset();
    EXPECT_TRUE(Main->AudioProgressBar.isNull());
    EXPECT_TRUE(Main->AudioLblCtrl.isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Main->FFPlayer1->State() == TAudioPlayer::psEnded; }, 3000));
}
