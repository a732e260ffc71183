// Reminders that fell due while the program was not running or the computer
// slept: which occurrence of each kind is reported, and the wall-clock jump
// that gives a sleep away.

#include "app/uMissedReminderWatch.h"
#include "reminders/gui/uFmMissedAlerts.h"
#include "reminders/uMissedReminders.h"
#include "support/NoteWindowFixture.h"
#include "support/TestEnv.h"

#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

QDateTime at(const char* text) {
    return QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

TReminderSource reminder(int type, const char* v1, const char* v2 = "", const char* v3 = "") {
    return {QStringLiteral("N%1").arg(type),
            QStringLiteral("text"),
            type,
            QLatin1String(v1),
            QLatin1String(v2),
            QLatin1String(v3)};
}

} // namespace

// Thursday 2026-12-10, 09:30:10; the program last ran on Monday 2026-12-07 at 18:00.
TEST(MissedReminders, TheLastOccurrenceOfEachKindBetweenTheLastRunAndNow) {
    const QDateTime since = at("2026-12-07 18:00:00");
    const QDateTime now = at("2026-12-10 09:30:10");
    const struct {
        const char* What;
        TReminderSource R;
        const char* Expected; // nullptr: nothing missed
    } cases[] = {
        {"fixed time in between", reminder(1, "2026-12-09 12:00:00", "Alarm"), "2026-12-09 12:00:00"},
        {"fixed time before the last run never fires", reminder(1, "2026-12-07 17:59:59"), nullptr},
        {"fixed time still ahead", reminder(1, "2026-12-10 09:31:00"), nullptr},
        {"fixed time in the current second rings as usual", reminder(1, "2026-12-10 09:30:10"), nullptr},
        {"fixed time unreadable", reminder(1, "tomorrow"), nullptr},
        {"every hour", reminder(2, "15:00"), "2026-12-10 09:15:00"},
        {"every hour, this hour's still ahead", reminder(2, "45:00"), "2026-12-10 08:45:00"},
        {"every day", reminder(3, "08:00:00"), "2026-12-10 08:00:00"},
        {"every day, today's still ahead", reminder(3, "10:00:00"), "2026-12-09 10:00:00"},
        {"every week on Tuesday", reminder(4, "Tuesday", "07:00:00"), "2026-12-08 07:00:00"},
        {"every week on Monday, before the last run", reminder(4, "Monday", "07:00:00"), nullptr},
        {"every week on a day that does not exist", reminder(4, "Caturday", "07:00:00"), nullptr},
        {"every month on the 9th", reminder(5, "9", "23:00:00"), "2026-12-09 23:00:00"},
        {"every month on the 31st, last fell in November", reminder(5, "31", "12:00:00"), nullptr},
        {"weekdays Mon+Wed", reminder(6, "1010000", "20:00:00"), "2026-12-09 20:00:00"},
        {"weekdays none", reminder(6, "0000000", "20:00:00"), nullptr},
        {"idle", reminder(7, ""), nullptr},
        {"none", reminder(0, ""), nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<QDateTime> got = MissedReminders::LastOccurrence(c.R, since, now);
        if (c.Expected)
            EXPECT_EQ(got, at(c.Expected)) << c.What;
        else
            EXPECT_EQ(got, std::nullopt) << c.What;
    }

    // The program's last second, as the settings file keeps it (whole seconds, UTC):
    // a reminder due in that very second rang then and is not missed; one due a
    // second later is.
    const QString config =
        testenv::freshDir(QStringLiteral("missed-boundary")) + QStringLiteral("/config.ini");
    const QDateTime lastRun = at("2026-12-07 18:00:00").addMSecs(700);
    ASSERT_TRUE(MissedReminders::WriteLastSeen(config, lastRun));
    const std::optional<QDateTime> seen = MissedReminders::ReadLastSeen(config);
    ASSERT_TRUE(seen);
    const struct {
        const char* What;
        const char* Due;
        bool Missed;
    } boundary[] = {
        {"due in the last second seen", "2026-12-07 18:00:00", false},
        {"due the second after", "2026-12-07 18:00:01", true},
        {"due the second before", "2026-12-07 17:59:59", false},
    };
    for (const auto& b : boundary)
        EXPECT_EQ(MissedReminders::LastOccurrence(reminder(1, b.Due), *seen, now).has_value(), b.Missed)
            << b.What;

    // A month that lacks the day: the occurrence falls on its last day, as when it rings.
    EXPECT_EQ(MissedReminders::LastOccurrence(reminder(5, "31", "12:00:00"), at("2026-11-01 00:00:00"),
                                              at("2026-12-10 09:30:10")),
              at("2026-11-30 12:00:00"));
}

TEST(MissedReminders, CollectedOnceEachOldestFirst) {
    const QList<TReminderSource> all = {reminder(3, "08:00:00"), reminder(1, "2026-12-08 12:00:00"),
                                        reminder(0, ""), reminder(2, "00:00")};
    const QList<TMissedReminder> missed =
        MissedReminders::Collect(all, at("2026-12-07 18:00:00"), at("2026-12-10 09:30:10"));
    ASSERT_EQ(missed.size(), 3);
    EXPECT_EQ(missed[0].NoteId, QStringLiteral("N1"));
    EXPECT_EQ(missed[1],
              (TMissedReminder{QStringLiteral("N3"), QStringLiteral("text"), at("2026-12-10 08:00:00")}));
    EXPECT_EQ(missed[2].Due, at("2026-12-10 09:00:00"));
}

TEST(MissedReminders, LastSeenRunningSurvivesInTheSettingsBesideOtherKeys) {
    const QString config = testenv::freshDir(QStringLiteral("lastseen")) + QStringLiteral("/config.ini");
    EXPECT_EQ(MissedReminders::ReadLastSeen(config), std::nullopt);
    testenv::writeFile(config, "[config]\nLanguage=English\n[General]\nShowNotesOnDesk=1\n");
    const QDateTime when = at("2026-12-10 09:30:10");
    ASSERT_TRUE(MissedReminders::WriteLastSeen(config, when));
    EXPECT_EQ(MissedReminders::ReadLastSeen(config), when);
    const QByteArray text = testenv::readFile(config);
    EXPECT_TRUE(text.contains("Language=English")) << text.constData();
    EXPECT_TRUE(text.contains("ShowNotesOnDesk=1")) << text.constData();

    testenv::writeFile(config, "[General]\nLastSeenRunning=yesterday\n");
    EXPECT_EQ(MissedReminders::ReadLastSeen(config), std::nullopt);
}

TEST(MissedReminders, AWallClockJumpAheadOfTheMonotonicClockIsASleep) {
    TWallClockWatch watch;
    const QDateTime t0 = at("2026-12-10 09:00:00");
    EXPECT_EQ(watch.Look(t0, 1000), std::nullopt);
    // Ordinary ticks, a late one, and the clock set back: no sleep.
    EXPECT_EQ(watch.Look(t0.addSecs(1), 2000), std::nullopt);
    EXPECT_EQ(watch.Look(t0.addSecs(5), 6000), std::nullopt);
    EXPECT_EQ(watch.Look(t0.addSecs(-3600), 7000), std::nullopt);
    // Two hours pass on the wall clock while the monotonic clock moves one second.
    EXPECT_EQ(watch.Look(t0.addSecs(7200), 8000), t0.addSecs(-3600));
    // A minute ahead is not yet a jump; more is.
    EXPECT_EQ(watch.Look(t0.addSecs(7261), 9000), std::nullopt);
    EXPECT_EQ(watch.Look(t0.addSecs(7330), 10000), t0.addSecs(7261));
}

namespace {

class MissedReminderWindowTest : public testenv::NoteWindowFixture {
protected:
    static QString stamp(const QDateTime& t) { return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }
};

} // namespace

TEST_F(MissedReminderWindowTest, ListedOnceWithAButtonThatOpensTheNoteAndAgainAfterASleep) {
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray lastRun = now.addDays(-1).toUTC().toString(Qt::ISODate).toLatin1();
    Start("[General]\nLastSeenRunning=" + lastRun + "\n", [&](TDbConnection& db) {
        AddRow(db, QStringLiteral("FIXED"), QStringLiteral("Dentist at nine"), QRect(100, 100, 220, 100));
        db.Exec(QStringLiteral("update notes set alerttype=1, alertvalue1=? where id='FIXED'"),
                {stamp(now.addSecs(-3600))});
        AddRow(db, QStringLiteral("HOURLY"), QStringLiteral("Stretch"), QRect(400, 100, 220, 100));
        db.Exec(QStringLiteral("update notes set alerttype=2, alertvalue1='30:00' where id='HOURLY'"));
        AddRow(db, QStringLiteral("NONE"), QStringLiteral("no reminder"), QRect(700, 100, 220, 100));
    });
    TFmNote* fixed = nullptr;
    for (TFmNote* n : TFmMain::NoteWindows())
        if (n->NoteId() == QLatin1String("FIXED"))
            fixed = n;
    ASSERT_TRUE(fixed);
    fixed->hide();

    TMissedReminderWatch& watch = *Main->MissedReminderWatch();
    watch.CheckSinceLastRun(now);
    TFmMissedAlerts* window = watch.Window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Missed Reminders"));
    ASSERT_EQ(window->Count(), 2);
    QStringList listed;
    for (int i = 0; i < window->Count(); ++i)
        listed.append(window->lvMissed->topLevelItem(i)->text(1));
    EXPECT_TRUE(listed.contains(QStringLiteral("Dentist at nine"))) << listed.join('|').toStdString();
    EXPECT_TRUE(listed.contains(QStringLiteral("Stretch")));

    QPushButton* open = nullptr;
    for (auto* b : window->findChildren<QPushButton*>(QStringLiteral("btnOpenNote")))
        if (b->property("noteId").toString() == QLatin1String("FIXED"))
            open = b;
    ASSERT_TRUE(open);
    EXPECT_EQ(open->text(), QStringLiteral("&Open Note"));
    open->click();
    EXPECT_TRUE(fixed->isVisible());

    // Recorded as seen now: the next start lists nothing again.
    const std::optional<QDateTime> seen =
        MissedReminders::ReadLastSeen(Setup.DataFolder() + QStringLiteral("config.ini"));
    ASSERT_TRUE(seen);
    EXPECT_LE(std::abs(seen->secsTo(now)), 1);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(watch.Window());
    watch.CheckSinceLastRun(now.addSecs(5));
    EXPECT_FALSE(watch.Window());

    // Three hours asleep: the hourly reminder fell due in between, the fixed one did not.
    watch.Tick(now.addSecs(10), 100000);
    watch.Tick(now.addSecs(10 + 3 * 3600), 101000);
    ASSERT_TRUE(watch.Window());
    ASSERT_EQ(watch.Window()->Count(), 1);
    EXPECT_EQ(watch.Window()->lvMissed->topLevelItem(0)->text(1), QStringLiteral("Stretch"));
    watch.Window()->close();
}
