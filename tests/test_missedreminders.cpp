// Reminders that fell due while the program was not running or the computer
// slept: which occurrence of each kind is reported, and the wall-clock jump
// that gives a sleep away.

#include "reminders/uMissedReminders.h"
#include "support/TestEnv.h"

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
