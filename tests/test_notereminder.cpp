// Reminders of real note windows: a reminder loaded with its note rings on the
// real clock, opens one alarm window owned by the note, never in a preview, and
// "Add Alert" uploads the reminder when saved.

#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "data/uNoteStore.h"
#include "note/uFmNote.h"
#include "note/uNoteReminder.h"
#include "platform/gui/uAudioPlayer.h"
#include "platform/gui/uDesktop.h"
#include "platform/gui/uWindows.h"
#include "reminders/gui/uFmAlertSetup.h"
#include "reminders/gui/uFmAlertWindow.h"
#include "reminders/uScheduleObject.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kId = QStringLiteral("5B0C7A10-1111-4222-8333-944455556666");

QList<TFmAlertWindow*> alarmWindows() {
    QList<TFmAlertWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* a = qobject_cast<TFmAlertWindow*>(w); a && a->isVisible())
            out << a;
    return out;
}

class NoteReminder : public ::testing::Test {
protected:
    void SetUp() override {
        TAudioPlayer::SetForceNullOutput(true);
        SetWorkAreaOverride(QRect(0, 0, 1280, 1024));
        AppState().OpenAlarmList.clear();
        Setup = testenv::MakeProgramSetup();
        QDir().mkpath(Setup.DataFolder());
        testenv::writeFile(Setup.DataFolder() + QStringLiteral("config.ini"), "[config]\nLanguage=English\n");
        Main = std::make_unique<TFmMain>(Setup.Env());
        QString error;
        ASSERT_TRUE(Main->Startup(&error)) << error.toStdString();
        Main->tmrLoadNotes->stop();
        QObject::connect(Main.get(), &TFmMain::UploadRequested, [this](const QString& id, quint16 f, bool n) {
            Uploads.push_back({id, f, n});
        });
    }
    void TearDown() override {
        SetModalHandler({});
        for (TFmNote* n : TFmMain::NoteWindows())
            delete n;
        Main->Shutdown();
        Main.reset();
        SetWorkAreaOverride(QRect());
        TAudioPlayer::SetForceNullOutput(false);
    }
    TFmNote* LoadNote(int kind, const QString& v1, const QString& v2, const QString& v3) {
        NoteStore::InsertFromShell(Main->Db(), kId, 100, 100);
        Main->Db().Exec(
            QStringLiteral("update notes set mynote=?, alerttype=?, alertvalue1=?, alertvalue2=?, "
                           "alertvalue3=? where id=?"),
            {QStringLiteral("Water the plants"), kind, v1, v2, v3, kId});
        Main->tmrLoadNotesTimer();
        const QList<TFmNote*> notes = TFmMain::NoteWindows();
        return notes.size() == 1 ? notes.first() : nullptr;
    }

    struct TUpload {
        QString Id;
        quint16 Fields;
        bool Notify;
    };
    testenv::TProgramSetup Setup;
    std::unique_ptr<TFmMain> Main;
    std::vector<TUpload> Uploads;
};

} // namespace

TEST_F(NoteReminder, AReminderAFewSecondsAheadRingsOnTheRealClock) {
    const QDateTime due = QDateTime::currentDateTime().addSecs(2);
    TFmNote* note = LoadNote(stFixedTime, due.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             QStringLiteral("Alarm sound"), {});
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(NoteSchedule(note)->ScheduleType(), stFixedTime);
    ASSERT_TRUE(QTest::qWaitFor([] { return !alarmWindows().isEmpty(); }, 5000));
    QTest::qWait(1200);
    const QList<TFmAlertWindow*> alarms = alarmWindows();
    ASSERT_EQ(alarms.size(), 1);
    TFmAlertWindow* alarm = alarms.first();
    EXPECT_EQ(alarm->parent(), note);
    EXPECT_EQ(alarm->NoteID, kId);
    EXPECT_EQ(alarm->mmoAlertText->toPlainText(), QStringLiteral("Water the plants"));
    EXPECT_EQ(alarm->SchObject, NoteSchedule(note));
    EXPECT_EQ(AppState().OpenAlarmList, QStringList{kId});
    // The program folder built here carries the synthesised sounds.
    EXPECT_EQ(alarm->MediaPlayer1()->State() == TAudioPlayer::psClosed,
              !QFileInfo::exists(Setup.ProgramFolder + QStringLiteral("sound/Alarm sound.mp3")));

    // The note goes while its alarm is open: the alarm goes with it, and so does its id.
    delete note;
    EXPECT_TRUE(alarmWindows().isEmpty());
    EXPECT_TRUE(AppState().OpenAlarmList.isEmpty());
}

TEST_F(NoteReminder, APreviewNeverFires) {
    TFmNote* note = LoadNote(stEveryDay, QStringLiteral("09:00:00"), {}, {});
    ASSERT_NE(note, nullptr);
    note->SetIsPreviewMode(true);
    ApplyNoteReminder(note, stEveryDay, QStringLiteral("09:00:00"), {}, {});
    EXPECT_FALSE(NoteSchedule(note)->TickEnabled());
    const QDateTime at(QDate::currentDate(), QTime(9, 0, 0));
    NoteSchedule(note)->Tick(at);
    NoteSchedule(note)->CheckScheduleStatus(at);
    CheckNoteReminder(note);
    EXPECT_TRUE(alarmWindows().isEmpty());
    EXPECT_TRUE(AppState().OpenAlarmList.isEmpty());
}

TEST_F(NoteReminder, AddAlertSavesAndUploadsTheReminderOnly) {
    TFmNote* note = LoadNote(stNone, {}, {}, {});
    ASSERT_NE(note, nullptr);
    for (bool save : {false, true}) {
        Uploads.clear();
        SetModalHandler([save](QDialog& dialog) {
            auto& setup = dynamic_cast<TFmAlertSetup&>(dialog);
            setup.LoadReminder();
            setup.rbEveryDay->setChecked(true);
            setup.dtpEveryDay->setTime(QTime(7, 30, 0));
            if (save)
                setup.btnSaveClick();
            else
                setup.reject();
            return setup.result();
        });
        EXPECT_EQ(SetupNoteReminder(note), save ? int(QDialog::Accepted) : int(QDialog::Rejected));
        if (!save) {
            EXPECT_TRUE(Uploads.empty());
            EXPECT_EQ(NoteSchedule(note)->ScheduleType(), stNone);
            continue;
        }
        ASSERT_EQ(Uploads.size(), 1u);
        EXPECT_EQ(Uploads[0].Id, kId);
        EXPECT_EQ(Uploads[0].Fields, quint16(1u << utAlert));
        EXPECT_TRUE(Uploads[0].Notify);
        EXPECT_EQ(NoteSchedule(note)->ScheduleType(), stEveryDay);
        EXPECT_EQ(NoteSchedule(note)->SchValue1(), QStringLiteral("07:30:00"));
    }
}
