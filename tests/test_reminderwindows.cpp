// The reminder set-up dialog (load and save of every kind, the warnings, the
// weekday picker, the sound lists and the preview) and the alarm window (the
// open-alarm rule, shake, the repeated sound on the null output, Esc, "Setup
// Alert", the recording on the shared player).

#include "app/uFmMain.h"
#include "audio/uAudioEncoder.h"
#include "data/uAppState.h"
#include "data/uNoteStore.h"
#include "lang/uLanguageObject.h"
#include "note/uAudioPlayPanel.h"
#include "note/uNoteManager.h"
#include "note/uSharedAudio.h"
#include "platform/gui/uAudioPlayer.h"
#include "platform/gui/uWindows.h"
#include "reminders/gui/uFmAlertSetup.h"
#include "reminders/gui/uFmAlertWindow.h"
#include "reminders/gui/uFmSelectWeekday.h"
#include "reminders/uAlarmSounds.h"
#include "reminders/uScheduleObject.h"
#include "support/NoteTestContext.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kNote = QStringLiteral("7C1D2E3F-4A5B-4C6D-8E9F-A0B1C2D3E4F5");

struct TBox {
    QString Text;
    QString Caption;
    unsigned Type;
};

void writeTone(const QString& path, double seconds, const QString& format = {}) {
    std::vector<float> s(std::size_t(seconds * 22050));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = float(0.4 * std::sin(double(i) * 0.12));
    ASSERT_TRUE(EncodeAudioFile(path, s, 22050, format));
}

// The dialogs and the alarm window on a test context: no main window.
class Reminders : public ::testing::Test {
protected:
    void SetUp() override {
        TAudioPlayer::SetForceNullOutput(true);
        Shell = std::make_unique<testenv::TTestNoteContext>();
        Context = Shell->Context();
        // Short stand-ins for the shipped sounds keep the waits short.
        QDir().mkpath(ProgramFolder() + QStringLiteral("sound"));
        for (const QString& name : AlarmSoundNames())
            writeTone(AlarmSoundPath(ProgramFolder(), name), 0.3, QStringLiteral("mp3"));
        NoteStore::InsertFromShell(Db(), kNote, 10, 10);
        Db().Exec(QStringLiteral("update notes set commited=1 where id=?"), {kNote});
        Schedule = std::make_unique<TScheduleObject>();
        Schedule->SetTickEnabled(false);
        OldBox = SetMessageBoxHandler(
            [this](QWidget*, const QString& text, const QString& caption, unsigned type) {
                Boxes.push_back({text, caption, type});
                return IDOK;
            });
        AppState().OpenAlarmList.clear();
    }
    void TearDown() override {
        SetMessageBoxHandler(OldBox);
        SetModalHandler({});
        Schedule.reset();
        Context.reset();
        Shell.reset();
        TAudioPlayer::SetForceNullOutput(false);
    }

    [[nodiscard]] TDbConnection& Db() const { return Shell->Db(); }
    [[nodiscard]] QString ProgramFolder() const { return Shell->Setup.ProgramFolder; }

    void Store(int kind, const QString& v1, const QString& v2, const QString& v3) {
        Db().Exec(QStringLiteral(
                      "update notes set alerttype=?, alertvalue1=?, alertvalue2=?, alertvalue3=? where id=?"),
                  {kind, v1, v2, v3, kNote});
    }
    struct TStored {
        int Kind;
        QString V1, V2, V3;
        int Committed;
    };
    TStored Stored() {
        const TRowSet r = Db().Select(QStringLiteral("select * from notes where id=?"), {kNote});
        return {r.asInt(0, "alerttype"), r.asText(0, "alertvalue1"), r.asText(0, "alertvalue2"),
                r.asText(0, "alertvalue3"), r.asInt(0, "commited")};
    }
    [[nodiscard]] TAlarmRequest request(TScheduleObject* s, int noteType = 0,
                                        const QString& id = kNote) const {
        return {id,
                noteType,
                QStringLiteral("Call the dentist"),
                s,
                QDateTime(QDate(2026, 3, 2), QTime(9, 0, 0)),
                Context};
    }
    std::unique_ptr<TFmAlertSetup> OpenSetup() {
        auto d = std::make_unique<TFmAlertSetup>(nullptr, Context);
        d->NoteId = kNote;
        d->schObject = Schedule.get();
        d->LoadReminder();
        return d;
    }

    std::unique_ptr<testenv::TTestNoteContext> Shell;
    // The context the windows are made on.
    TNoteContextPtr Context;
    std::unique_ptr<TScheduleObject> Schedule;
    TMessageBoxHandler OldBox;
    std::vector<TBox> Boxes;
};

} // namespace

TEST_F(Reminders, SetupLoadsEveryKindAndSavesItBackUnchanged) {
    struct Case {
        int kind;
        const char* v1;
        const char* v2;
        const char* v3;
        QRadioButton* TFmAlertSetup::*radio;
        bool visibleRadio;
    };
    const Case cases[] = {
        {0, "", "", "", &TFmAlertSetup::rbNoAlert, true},
        {1, "2014-01-22 09:05:00", "Alarm sound", "", &TFmAlertSetup::rbFixedTime, true},
        {2, "05:30", "Meow", "", &TFmAlertSetup::rbEveryHour, true},
        {3, "09:00:00", "Sea gull", "", &TFmAlertSetup::rbEveryDay, true},
        {3, "23:59:59", "", "", &TFmAlertSetup::rbEveryDay, true},
        {4, "Monday", "08:30:00", "Vireo call", &TFmAlertSetup::rbEveryWeek, false},
        {5, "15", "10:00:00", "School bell rings", &TFmAlertSetup::rbEveryMonth, true},
        {6, "1010100", "07:45:00", "Electronic alarm", &TFmAlertSetup::rbEveryWeekByday, true},
        {6, "0000000", "07:45:00", "", &TFmAlertSetup::rbEveryWeekByday, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " " + c.v1);
        const QString v1 = QString::fromUtf8(c.v1), v2 = QString::fromUtf8(c.v2),
                      v3 = QString::fromUtf8(c.v3);
        Store(c.kind, v1, v2, v3);
        Schedule->SetScheduleType(stNone);
        auto d = OpenSetup();
        EXPECT_TRUE((d.get()->*c.radio)->isChecked());
        if (!c.visibleRadio) {
            for (QRadioButton* r : {d->rbNoAlert, d->rbFixedTime, d->rbEveryHour, d->rbEveryDay,
                                    d->rbEveryWeekByday, d->rbEveryMonth})
                EXPECT_FALSE(r->isChecked());
        }
        const QString sound = c.kind >= 4 ? v3 : v2;
        EXPECT_EQ(d->chkSound->isChecked(), !sound.isEmpty());
        EXPECT_EQ(d->cbbSound->isEnabled(), !sound.isEmpty());
        d->btnSaveClick();
        EXPECT_EQ(d->result(), QDialog::Accepted);
        const TStored s = Stored();
        EXPECT_EQ(s.Kind, c.kind);
        EXPECT_EQ(s.V1, v1);
        EXPECT_EQ(s.V2, v2);
        EXPECT_EQ(s.V3, v3);
        EXPECT_EQ(s.Committed, 0);
        EXPECT_EQ(Schedule->ScheduleType(), TScheduleType(c.kind));
        if (c.kind != 0) {
            EXPECT_EQ(Schedule->SchValue1(), v1);
            EXPECT_EQ(Schedule->SchValue2(), v2);
            EXPECT_EQ(Schedule->SchValue3(), v3);
        }
        EXPECT_TRUE(Boxes.empty());
    }
}

TEST_F(Reminders, SetupWritesTheEncodingFromThePickers) {
    struct Case {
        const char* name;
        std::function<void(TFmAlertSetup&)> choose;
        int kind;
        const char* v1;
        const char* v2;
        const char* v3;
    };
    const Case cases[] = {
        {"hourly ignores the hour",
         [](TFmAlertSetup& d) {
             d.rbEveryHour->setChecked(true);
             d.dtpEveryHour->setTime(QTime(10, 5, 9));
         },
         2, "05:09", "", ""},
        {"fixed date and time",
         [](TFmAlertSetup& d) {
             d.rbFixedTime->setChecked(true);
             d.dtpFixedDate->setDate(QDate(2014, 1, 22));
             d.dtpFixedTime->setTime(QTime(9, 5, 0));
             d.chkSound->setChecked(true);
             d.cbbSound->setCurrentIndex(3);
         },
         1, "2014-01-22 09:05:00", "Meow", ""},
        {"sound box checked, nothing chosen",
         [](TFmAlertSetup& d) {
             d.rbEveryDay->setChecked(true);
             d.dtpEveryDay->setTime(QTime(18, 30, 0));
             d.chkSound->setChecked(true);
         },
         3, "18:30:00", "", ""},
        {"a chosen sound with the box cleared",
         [](TFmAlertSetup& d) {
             d.rbEveryDay->setChecked(true);
             d.chkSound->setChecked(true);
             d.cbbSound->setCurrentIndex(1);
             d.chkSound->setChecked(false);
         },
         3, "00:00:00", "", ""},
        {"weekly without a day chosen",
         [](TFmAlertSetup& d) {
             d.rbEveryWeekByday->setChecked(true);
             d.dtpEveryWeekByday->setTime(QTime(7, 0, 0));
         },
         6, "0000000", "07:00:00", ""},
        {"monthly",
         [](TFmAlertSetup& d) {
             d.rbEveryMonth->setChecked(true);
             d.cboEveryMonth->setCurrentIndex(30);
             d.dtpEveryMonth->setTime(QTime(6, 0, 1));
             d.chkSound->setChecked(true);
             d.cbbSound->setCurrentIndex(7);
         },
         5, "31", "06:00:01", "Electronic alarm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Store(0, {}, {}, {});
        auto d = OpenSetup();
        c.choose(*d);
        d->btnSaveClick();
        const TStored s = Stored();
        EXPECT_EQ(s.Kind, c.kind);
        EXPECT_EQ(s.V1, QString::fromUtf8(c.v1));
        EXPECT_EQ(s.V2, QString::fromUtf8(c.v2));
        EXPECT_EQ(s.V3, QString::fromUtf8(c.v3));
        EXPECT_EQ(Schedule->SchValue1(), QString::fromUtf8(c.v1));
    }
}

TEST_F(Reminders, SetupWithoutAReminderStartsWithEverythingDisabled) {
    auto d = OpenSetup();
    EXPECT_TRUE(d->rbNoAlert->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{
             d->dtpFixedDate, d->dtpFixedTime, d->dtpEveryHour, d->dtpEveryDay, d->dtpEveryWeekByday,
             d->dtpEveryMonth, d->cboEveryMonth, d->btnSelectWeekday, d->cbbSound, d->btnPlay})
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_FALSE(d->chkSound->isChecked());
    // Each kind enables its own controls only.
    d->rbEveryWeekByday->setChecked(true);
    EXPECT_TRUE(d->btnSelectWeekday->isEnabled());
    EXPECT_TRUE(d->dtpEveryWeekByday->isEnabled());
    EXPECT_FALSE(d->cboEveryMonth->isEnabled());
    d->rbEveryMonth->setChecked(true);
    EXPECT_FALSE(d->btnSelectWeekday->isEnabled());
    EXPECT_TRUE(d->cboEveryMonth->isEnabled());
    d->chkSound->setChecked(true);
    EXPECT_TRUE(d->cbbSound->isEnabled());
    EXPECT_TRUE(d->btnPlay->isEnabled());
    // "No Alert" sets only the kind of the schedule object.
    Schedule->SetScheduleType(stEveryDay);
    Schedule->SetSchValues(QStringLiteral("09:00:00"), QStringLiteral("Meow"), {});
    d->rbNoAlert->setChecked(true);
    d->btnSaveClick();
    EXPECT_EQ(Schedule->ScheduleType(), stNone);
    EXPECT_EQ(Schedule->SchValue1(), QStringLiteral("09:00:00"));
}

TEST_F(Reminders, SetupWarnsAboutAMissingDayAndStays) {
    struct Case {
        const char* name;
        int storedKind;
        const char* v1;
        const char* expectedText;
    };
    const Case cases[] = {
        {"stored weekly kind with an unknown weekday", 4, "Funday", "alertSelWeekday"},
        {"monthly without a day", 5, "", "alertSelMonthday"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Boxes.clear();
        Store(c.storedKind, QString::fromLatin1(c.v1), QStringLiteral("08:30:00"), {});
        Db().Exec(QStringLiteral("update notes set commited=1 where id=?"), {kNote});
        auto d = OpenSetup();
        d->btnSaveClick();
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, Shell->Language().Text(QStringLiteral("FmAlertSetup"),
                                                        QString::fromLatin1(c.expectedText)));
        EXPECT_EQ(Boxes[0].Caption, Shell->Language().Otherstitle_dlghint());
        EXPECT_EQ(Boxes[0].Type, MB_ICONWARNING);
        EXPECT_NE(d->result(), QDialog::Accepted);
        EXPECT_EQ(Stored().Committed, 1);
    }
}

TEST_F(Reminders, SetupUnknownSoundShowsTheBoxCheckedWithNothingChosenAndSavesNoSound) {
    Store(3, QStringLiteral("09:00:00"), QStringLiteral("Doorbell"), {});
    auto d = OpenSetup();
    EXPECT_TRUE(d->chkSound->isChecked());
    EXPECT_EQ(d->cbbSound->currentIndex(), -1);
    d->btnSaveClick();
    EXPECT_EQ(Stored().V2, QString());
}

TEST_F(Reminders, WeekdayPickerTakesAndReturnsTheFlags) {
    Store(6, QStringLiteral("1000001"), QStringLiteral("07:00:00"), {});
    auto d = OpenSetup();
    std::vector<bool> seen;
    SetModalHandler([&](QDialog& dialog) {
        auto& picker = dynamic_cast<TFmSelectWeekday&>(dialog);
        picker.show();
        seen.clear();
        for (QCheckBox* c : picker.chkDay)
            seen.push_back(c->isChecked());
        picker.chkDay[0]->setChecked(false);
        picker.chkDay[2]->setChecked(true);
        picker.btnOKClick();
        return int(picker.result());
    });
    d->btnSelectWeekdayClick();
    EXPECT_EQ(seen, (std::vector<bool>{true, false, false, false, false, false, true}));
    EXPECT_EQ(d->strEveryWeekByDay, QStringLiteral("0010001"));

    SetModalHandler([](QDialog& dialog) {
        auto& picker = dynamic_cast<TFmSelectWeekday&>(dialog);
        picker.show();
        picker.chkDay[4]->setChecked(true);
        picker.btnCancel->click();
        return int(picker.result());
    });
    d->btnSelectWeekdayClick();
    EXPECT_EQ(d->strEveryWeekByDay, QStringLiteral("0010001"));
    d->btnSaveClick();
    EXPECT_EQ(Stored().V1, QStringLiteral("0010001"));
}

TEST_F(Reminders, SoundListsFollowTheSystemLanguage) {
    struct Case {
        const char* locale;
        const QStringList* names;
    };
    const Case cases[] = {{"zh_CN.UTF-8", &AlarmSoundChineseNames()},
                          {"en_US.UTF-8", &AlarmSoundNames()},
                          {"de_DE.UTF-8", &AlarmSoundNames()},
                          {"zh_TW.UTF-8", &AlarmSoundNames()}};
    const QByteArray old = qgetenv("LC_ALL");
    for (const Case& c : cases) {
        qputenv("LC_ALL", c.locale);
        TFmAlertSetup d;
        QStringList shown;
        for (int i = 0; i < d.cbbSound->count(); ++i)
            shown << d.cbbSound->itemText(i);
        EXPECT_EQ(shown, *c.names) << c.locale;
        EXPECT_EQ(d.cbbSound->currentIndex(), -1);
        // Choosing a shown name chooses the stored name.
        d.cbbSound->setCurrentIndex(5);
        EXPECT_EQ(d.cbbSoundName->currentText(), QStringLiteral("The stream water"));
    }
    qputenv("LC_ALL", old);
}

TEST_F(Reminders, PreviewPlaysStopsAndEndsByItself) {
    auto d = OpenSetup();
    d->chkSound->setChecked(true);
    d->cbbSound->setCurrentIndex(2);
    d->btnPlayClick();
    EXPECT_EQ(d->SoundStatus, 1);
    EXPECT_FALSE(d->cbbSound->isEnabled());
    EXPECT_EQ(d->PreviewPlayer()->State(), TAudioPlayer::psPlaying);
    d->btnPlayClick();
    EXPECT_EQ(d->SoundStatus, 0);
    EXPECT_TRUE(d->cbbSound->isEnabled());
    EXPECT_EQ(d->PreviewPlayer()->State(), TAudioPlayer::psStopped);

    // Left alone, the preview ends with the sound.
    d->btnPlayClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return d->SoundStatus == 0; }, 3000));
    EXPECT_EQ(d->PreviewPlayer()->State(), TAudioPlayer::psEnded);
    EXPECT_TRUE(d->cbbSound->isEnabled());

    // A missing file: nothing happens.
    QFile::remove(AlarmSoundPath(ProgramFolder(), AlarmSoundNames()[2]));
    d->btnPlayClick();
    EXPECT_EQ(d->SoundStatus, 0);
}

TEST_F(Reminders, OneAlarmWindowPerNoteAndTheListFollowsItsLife) {
    Schedule->SetScheduleType(stEveryDay);
    Schedule->SetSchValues(QStringLiteral("09:00:00"), {}, {});
    auto owner = std::make_unique<QWidget>();
    QPointer<TFmAlertWindow> first = OpenAlarmWindow(owner.get(), request(Schedule.get()));
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(first->mmoAlertText->toPlainText(), QStringLiteral("Call the dentist"));
    EXPECT_EQ(first->lblAlertTime->text(), AlarmTimeCaption(QDateTime(QDate(2026, 3, 2), QTime(9, 0, 0))));
    // A second due second of the same note opens nothing.
    EXPECT_EQ(OpenAlarmWindow(owner.get(), request(Schedule.get())), nullptr);
    // Another note due in the same second gets its own window.
    const QString other = QStringLiteral("00000000-0000-4000-8000-000000000002");
    QPointer<TFmAlertWindow> second = OpenAlarmWindow(owner.get(), request(Schedule.get(), 0, other));
    ASSERT_TRUE(second);
    EXPECT_EQ(AppState().OpenAlarmList, (QStringList{kNote, other}));

    // Closed by Esc: freed, the sound stopped, the id released.
    QTest::keyClick(first.data(), Qt::Key_Escape);
    QTest::qWait(20);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(AppState().OpenAlarmList, QStringList{other});
    EXPECT_NE(OpenAlarmWindow(owner.get(), request(Schedule.get())), nullptr);

    // The note window goes with its alarm windows open: their ids go too.
    owner.reset();
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(AppState().OpenAlarmList.isEmpty());
}

TEST_F(Reminders, AlarmShakesInBurstsOfSeventeenMoves) {
    TFmAlertWindow w;
    w.tmrShake1->stop();
    w.tmrShake2->stop();
    const int rest = w.imgAlarm->x();
    std::vector<int> burst;
    for (int tick = 0; tick < 18; ++tick) {
        w.tmrShake2Timer();
        burst.push_back(w.imgAlarm->x());
    }
    std::vector<int> expected;
    for (int i = 1; i <= 17; ++i)
        expected.push_back(i % 2 ? rest + 3 : rest);
    expected.push_back(rest + 3); // the 18th tick only stops the burst
    EXPECT_EQ(burst, expected);
    EXPECT_EQ(w.ShakeTimes, 17);
    // The next burst starts from where the last one ended.
    w.tmrShake1Timer();
    EXPECT_EQ(w.ShakeTimes, 0);
    EXPECT_TRUE(w.tmrShake2->isActive());
    w.tmrShake2Timer();
    EXPECT_EQ(w.imgAlarm->x(), rest);
    // Both timers run from creation at their intervals.
    TFmAlertWindow fresh;
    EXPECT_TRUE(fresh.tmrShake1->isActive());
    EXPECT_TRUE(fresh.tmrShake2->isActive());
    EXPECT_EQ(fresh.tmrShake1->interval(), 5000);
    EXPECT_EQ(fresh.tmrShake2->interval(), 100);
}

TEST_F(Reminders, AlarmSoundRepeatsWithAPauseUntilTheWindowCloses) {
    struct Case {
        TScheduleType type;
        const char* v1;
        const char* v2;
        const char* v3;
        bool sounds;
    };
    const Case cases[] = {
        {stEveryDay, "09:00:00", "Meow", "", true},
        {stEveryWeekByDay, "1111111", "09:00:00", "Sea gull", true},
        {stEveryMonth, "2", "09:00:00", "Cricket call", true},
        {stEveryDay, "09:00:00", "", "", false},
        {stEveryDay, "09:00:00", "No such sound", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.v2) + c.v3);
        Schedule->SetScheduleType(c.type);
        Schedule->SetSchValues(QString::fromUtf8(c.v1), QString::fromUtf8(c.v2), QString::fromUtf8(c.v3));
        auto* w = OpenAlarmWindow(nullptr, request(Schedule.get()));
        ASSERT_NE(w, nullptr);
        QPointer<TFmAlertWindow> guard(w);
        if (!c.sounds) {
            EXPECT_EQ(w->MediaPlayer1()->State(), TAudioPlayer::psClosed);
            EXPECT_FALSE(w->tmrAlarmSoundTrack->isActive());
            w->close();
            continue;
        }
        EXPECT_EQ(w->MediaPlayer1()->State(), TAudioPlayer::psPlaying);
        EXPECT_TRUE(w->tmrAlarmSoundTrack->isActive());
        // The 0.3 s sound ends, the track timer notices within a second, and
        // the pause timer plays it again two seconds later.
        int plays = 1;
        QObject::connect(w->MediaPlayer1(), &TAudioPlayer::StateChanged, [&](int s) {
            if (s == TAudioPlayer::psPlaying)
                ++plays;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->tmrPlayerYanshi->isActive(); }, 2000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return plays == 2; }, 3000));
        EXPECT_FALSE(w->tmrPlayerYanshi->isActive());
        w->btnClose->click();
        QTest::qWait(10);
        EXPECT_TRUE(guard.isNull());
    }
    EXPECT_TRUE(AppState().OpenAlarmList.isEmpty());
}

TEST_F(Reminders, SetupAlertClosesTheAlarmWhateverTheDialogSays) {
    for (int answer : {int(QDialog::Accepted), int(QDialog::Rejected)}) {
        Schedule->SetScheduleType(stEveryDay);
        Schedule->SetSchValues(QStringLiteral("09:00:00"), QStringLiteral("Meow"), {});
        QPointer<TFmAlertWindow> w = OpenAlarmWindow(nullptr, request(Schedule.get()));
        ASSERT_TRUE(w);
        bool sawDialog = false;
        SetModalHandler([&](QDialog& dialog) {
            auto& setup = dynamic_cast<TFmAlertSetup&>(dialog);
            sawDialog = true;
            EXPECT_EQ(setup.NoteId, kNote);
            EXPECT_EQ(setup.schObject, Schedule.get());
            // The alarm sound stopped before the dialog came up.
            EXPECT_NE(w->MediaPlayer1()->State(), TAudioPlayer::psPlaying);
            return answer;
        });
        w->btnSetupAlert->click();
        QTest::qWait(10);
        EXPECT_TRUE(sawDialog);
        EXPECT_TRUE(w.isNull());
        EXPECT_TRUE(AppState().OpenAlarmList.isEmpty());
    }
}

// The shared player is the main window's.
using SharedPlayerReminders = testenv::TOnStartedMain<Reminders>;

TEST_F(SharedPlayerReminders, AlarmPlaysTheRecordingOnTheSharedPlayer) {
    const QString audio = Started->Setup.DataFolder() + QStringLiteral("audio/");
    QDir().mkpath(audio);
    writeTone(audio + kNote, 0.4, QStringLiteral("ipod"));
    // A note whose control showed "Stop" is reset when the alarm window starts playing.
    QWidget note;
    Main->Windows().Register(&note);
    int resets = 0;
    struct TFilter : QObject {
        int* Count;
        bool eventFilter(QObject*, QEvent* e) override {
            if (int(e->type()) == WM_RESETAUDIOCTRL)
                ++*Count;
            return false;
        }
    } filter;
    filter.Count = &resets;
    note.installEventFilter(&filter);
    auto* bar = new QProgressBar(&note);
    Main->AudioProgressBar = bar;

    Schedule->SetScheduleType(stEveryDay);
    Schedule->SetSchValues(QStringLiteral("09:00:00"), {}, {});
    QPointer<TFmAlertWindow> w = OpenAlarmWindow(nullptr, request(Schedule.get(), 1));
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->btnPlay->isVisible());
    const QString play = Main->Language()->FmNoteaudioPlayCaption();
    EXPECT_EQ(w->btnPlay->text(), play);
    w->btnPlay->click();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(w->btnPlay->text(), Main->Language()->FmNoteaudioStopCaption());
    EXPECT_EQ(Main->AudioBtnCtrl, w->btnPlay);
    // The note's bar no longer follows this playback.
    EXPECT_TRUE(Main->AudioProgressBar.isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Main->FFPlayer1->State() == TAudioPlayer::psEnded; }, 3000));
    EXPECT_EQ(w->btnPlay->text(), play);

    // A note that starts playing puts the alarm window's button back to "Play".
    w->btnPlay->click();
    TAudioPlayPanel panel(&note, Main->NoteContext());
    panel.NoteId = kNote;
    panel.Toggle();
    EXPECT_EQ(w->btnPlay->text(), play);
    EXPECT_EQ(Main->AudioProgressBar, panel.ProgressBar1);
    EXPECT_TRUE(Main->AudioBtnCtrl.isNull());
    panel.Toggle();

    // Stop while playing; then the window goes while the shared player still plays.
    w->btnPlay->click();
    w->btnPlay->click();
    EXPECT_EQ(Main->FFPlayer1->State(), TAudioPlayer::psStopped);
    EXPECT_EQ(w->btnPlay->text(), play);
    w->btnPlay->click();
    w->close();
    QTest::qWait(10);
    ASSERT_TRUE(w.isNull());
    EXPECT_TRUE(Main->AudioBtnCtrl.isNull());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Main->FFPlayer1->State() == TAudioPlayer::psEnded; }, 3000));
}

TEST_F(Reminders, AdvertisementLineIsHiddenWithoutText) {
    struct Case {
        QList<TAdItem> ads;
        bool visible;
    };
    const Case cases[] = {
        {{}, false},
        {{TAdItem{QString(), QStringLiteral("https://example.org/")}}, false},
        {{TAdItem{QStringLiteral("Fresh coffee"), QStringLiteral("https://example.org/coffee")}}, true},
    };
    const auto oldAds = TFmAlertWindow::AdListProvider;
    const auto oldOpen = TFmAlertWindow::OpenUrlHook;
    QStringList opened;
    TFmAlertWindow::OpenUrlHook = [&](const QString& url) { opened << url; };
    for (const Case& c : cases) {
        TFmAlertWindow::AdListProvider = [&] { return c.ads; };
        TFmAlertWindow w;
        w.show();
        EXPECT_EQ(w.lblAd->isVisible(), c.visible);
        if (c.visible) {
            EXPECT_EQ(w.lblAd->text(), QStringLiteral("Fresh coffee"));
            QTest::mouseClick(w.lblAd, Qt::LeftButton);
            EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.org/coffee")});
        }
    }
    // The service's line is shown as written, and only a web address opens.
    const QString markup = QStringLiteral("<b>Big</b> sale");
    opened.clear();
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)"}) {
        TFmAlertWindow::AdListProvider = [&] { return QList<TAdItem>{{markup, QString::fromLatin1(url)}}; };
        TFmAlertWindow w;
        w.show();
        EXPECT_EQ(w.lblAd->textFormat(), Qt::PlainText);
        EXPECT_EQ(w.lblAd->text(), markup);
        QTest::mouseClick(w.lblAd, Qt::LeftButton);
    }
    EXPECT_TRUE(opened.isEmpty());
    TFmAlertWindow::AdListProvider = oldAds;
    TFmAlertWindow::OpenUrlHook = oldOpen;
}
