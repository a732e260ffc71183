// The reminder arithmetic at chosen instants: every kind's due time and due
// second, the two checks a second, and what happens after a reminder fired.

#include "reminders/uScheduleObject.h"

#include <QDateTime>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// 2026-03-02 is a Monday.
QDateTime dt(const char* text) {
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    if (!t.isValid())
        t = QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_TRUE(t.isValid()) << text;
    return t;
}

std::string str(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toStdString();
}

struct TQuietObject {
    TScheduleObject Obj;
    int Fired = 0;
    TQuietObject() {
        Obj.SetTickEnabled(false);
        Obj.OnTimeToGo = [this] { ++Fired; };
    }
    void Set(TScheduleType type, const char* v1, const char* v2, const char* v3, const QDateTime& now) {
        Obj.SetScheduleType(type);
        Obj.SetSchValues(QString::fromUtf8(v1), QString::fromUtf8(v2), QString::fromUtf8(v3), now);
    }
};

} // namespace

TEST(ScheduleParse, FixedFormatsAndFailuresGiveTheZeroTime) {
    struct Case {
        const char* text;
        const char* expected; // empty: the zero time
    };
    const Case cases[] = {
        {"2014-01-22 09:05:00", "2014-01-22 09:05:00"},
        {"2014-1-2 9:5:7", "2014-01-02 09:05:07"},
        {"2014-01-22", "2014-01-22 00:00:00"},
        {"09:05:00", "1899-12-30 09:05:00"},
        {"23:59", "1899-12-30 23:59:00"},
        {"", ""},
        {"garbage", ""},
        {"25:00:00", ""},
        {"2014-02-30 10:00:00", ""},
        {"2014/01/22 09:05:00", ""},
        {"22.01.2014", ""},
    };
    for (const Case& c : cases) {
        const QDateTime expected = *c.expected ? dt(c.expected) : ZeroDateTime();
        EXPECT_EQ(ParseFixedDateTime(QString::fromLatin1(c.text)), expected) << c.text;
    }
}

TEST(ScheduleCalc, DueTimeOfEachKindAtAChosenInstant) {
    struct Case {
        const char* name;
        TScheduleType type;
        const char* v1;
        const char* v2;
        const char* v3;
        const char* now;
        const char* expected; // empty: the zero time
    };
    const Case cases[] = {
        {"fixed", stFixedTime, "2014-01-22 09:05:00", "Alarm sound", "", "2026-03-02 07:00:00",
         "2014-01-22 09:05:00"},
        {"fixed unparsable", stFixedTime, "tomorrow", "", "", "2026-03-02 07:00:00", ""},
        {"hourly", stEveryHour, "05:30", "", "", "2026-03-02 07:40:00", "2026-03-02 07:05:30"},
        {"hourly unparsable", stEveryHour, "5 past", "", "", "2026-03-02 07:40:00", ""},
        {"daily carries only a time", stEveryDay, "09:00:00", "", "", "2026-03-02 08:00:00",
         "1899-12-30 09:00:00"},
        {"weekly before the time on the day", stEveryWeek, "Monday", "08:30:00", "", "2026-03-02 07:00:00",
         "2026-03-02 08:30:00"},
        {"weekly after the time on the day", stEveryWeek, "Monday", "08:30:00", "", "2026-03-02 09:00:00",
         "2026-03-02 08:30:00"},
        {"weekly the day after", stEveryWeek, "Monday", "08:30:00", "", "2026-03-03 07:00:00",
         "2026-03-09 08:30:00"},
        {"weekly from Sunday", stEveryWeek, "Monday", "08:30:00", "", "2026-03-08 07:00:00",
         "2026-03-09 08:30:00"},
        {"weekly Sunday from Monday", stEveryWeek, "Sunday", "08:30:00", "", "2026-03-02 07:00:00",
         "2026-03-08 08:30:00"},
        {"weekly unknown weekday", stEveryWeek, "monday", "08:30:00", "", "2026-03-02 07:00:00", ""},
        {"monthly day 15 in March", stEveryMonth, "15", "10:00:00", "", "2026-03-20 07:00:00",
         "2026-03-15 10:00:00"},
        {"monthly not a number", stEveryMonth, "x", "10:00:00", "", "2026-03-20 07:00:00",
         "2026-03-01 10:00:00"},
        {"monthly day 31 in April", stEveryMonth, "31", "10:00:00", "", "2026-04-02 07:00:00",
         "2026-04-30 10:00:00"},
        {"monthly day 29 in a short February", stEveryMonth, "29", "10:00:00", "", "2026-02-02 07:00:00",
         "2026-02-28 10:00:00"},
        {"by day today still ahead", stEveryWeekByDay, "1010000", "08:30:00", "", "2026-03-02 07:00:00",
         "2026-03-02 08:30:00"},
        {"by day within the due second", stEveryWeekByDay, "1010000", "08:30:00", "",
         "2026-03-02 08:30:00.700", "2026-03-02 08:30:00"},
        {"by day next flagged day", stEveryWeekByDay, "1010000", "08:30:00", "", "2026-03-02 08:30:01",
         "2026-03-04 08:30:00"},
        {"by day wraps to next week", stEveryWeekByDay, "1000000", "08:30:00", "", "2026-03-03 07:00:00",
         "2026-03-09 08:30:00"},
        {"by day short flag text", stEveryWeekByDay, "001", "08:30:00", "", "2026-03-02 07:00:00",
         "2026-03-04 08:30:00"},
    };
    for (const Case& c : cases) {
        TQuietObject o;
        o.Set(c.type, c.v1, c.v2, c.v3, dt(c.now));
        const QDateTime expected = *c.expected ? dt(c.expected) : ZeroDateTime();
        EXPECT_EQ(o.Obj.ScheduleTime(), expected) << c.name << ": " << str(o.Obj.ScheduleTime());
    }
}

TEST(ScheduleCalc, ByDayWithNoLaterCandidateKeepsThePreviousTime) {
    TQuietObject o;
    o.Set(stEveryWeekByDay, "1000000", "08:30:00", "", dt("2026-03-02 07:00:00"));
    o.Obj.CalcScheduleTime(dt("2026-03-02 09:00:00"));
    EXPECT_EQ(o.Obj.ScheduleTime(), dt("2026-03-02 08:30:00"));
    EXPECT_FALSE(o.Obj.IsDue(dt("2026-03-02 09:00:00")));

    TQuietObject none;
    none.Set(stEveryWeekByDay, "0000000", "08:30:00", "", dt("2026-03-02 07:00:00"));
    EXPECT_EQ(none.Obj.ScheduleTime(), ZeroDateTime());
}

// One note's schedule object is reused when the user picks another reminder:
// the due time of the previous kind must not survive into a week-day reminder
// with no day ticked.
TEST(ScheduleCalc, NewValuesWithNoDayTickedDropTheEarlierDueTime) {
    struct Case {
        const char* name;
        TScheduleType type;
        const char* v1;
        const char* v2;
    };
    const Case earlier[] = {
        {"fixed time", stFixedTime, "2026-03-02 08:30:00", ""},
        {"weekly by name", stEveryWeek, "Monday", "08:30:00"},
        {"monthly", stEveryMonth, "2", "08:30:00"},
        {"by day", stEveryWeekByDay, "1111111", "08:30:00"},
    };
    for (const Case& c : earlier) {
        TQuietObject o;
        o.Set(c.type, c.v1, c.v2, "", dt("2026-03-02 07:00:00"));
        ASSERT_EQ(o.Obj.ScheduleTime(), dt("2026-03-02 08:30:00")) << c.name;
        o.Set(stEveryWeekByDay, "0000000", "08:30:00", "", dt("2026-03-02 07:00:00"));
        EXPECT_EQ(o.Obj.ScheduleTime(), ZeroDateTime()) << c.name;
        o.Obj.CalcScheduleTime(dt("2026-03-02 08:30:00"));
        o.Obj.CheckScheduleStatus(dt("2026-03-02 08:30:00.500"));
        EXPECT_EQ(o.Fired, 0) << c.name;
    }
}

// Runs both one-second checks over a stretch of seconds around each probe time,
// the object's tick (recompute, then check) and the note window's (check only)
// in either order within the second, and counts the calls of OnTimeToGo.
TEST(ScheduleFiring, OccurrencesOverTime) {
    struct Case {
        const char* name;
        TScheduleType type;
        const char* v1;
        const char* v2;
        const char* setAt;
        const char* firstProbe;
        qint64 probeStepSecs;
        int probes;
        int expectedFires;
    };
    const qint64 hour = 3600, day = 86400;
    const Case cases[] = {
        {"daily today and every following day", stEveryDay, "09:00:00", "", "2026-03-02 08:00:00",
         "2026-03-02 09:00:00", day, 3, 3},
        {"hourly 00:00 at every full hour", stEveryHour, "00:00", "", "2026-03-02 08:00:00",
         "2026-03-02 09:00:00", hour, 5, 5},
        {"fixed time in the past never", stFixedTime, "2014-01-22 09:05:00", "", "2026-03-02 08:00:00",
         "2026-03-02 09:05:00", day, 3, 0},
        {"fixed time ahead once", stFixedTime, "2026-03-03 09:05:00", "", "2026-03-02 08:00:00",
         "2026-03-02 09:05:00", day, 3, 1},
        {"weekly Monday in two weeks", stEveryWeek, "Monday", "08:30:00", "2026-03-02 07:00:00",
         "2026-03-02 08:30:00", day, 14, 2},
        {"monthly 15th over three months", stEveryMonth, "15", "10:00:00", "2026-03-01 07:00:00",
         "2026-03-01 10:00:00", day, 92, 3},
        {"monthly 31st: last day of short months", stEveryMonth, "31", "10:00:00", "2026-03-01 07:00:00",
         "2026-03-01 10:00:00", day, 92, 3},
        {"by day Monday and Wednesday in two weeks", stEveryWeekByDay, "1010000", "08:30:00",
         "2026-03-02 07:00:00", "2026-03-02 08:30:00", day, 14, 4},
        {"by day no day chosen", stEveryWeekByDay, "0000000", "08:30:00", "2026-03-02 07:00:00",
         "2026-03-02 08:30:00", day, 14, 0},
        {"weekly unknown weekday", stEveryWeek, "Mon", "08:30:00", "2026-03-02 07:00:00",
         "2026-03-02 08:30:00", day, 14, 0},
    };
    for (const Case& c : cases) {
        for (bool windowFirst : {false, true}) {
            TQuietObject o;
            const bool valueInColumn2 = c.type >= stEveryWeek;
            o.Set(c.type, c.v1, valueInColumn2 ? c.v2 : "Alarm sound", valueInColumn2 ? "Alarm sound" : "",
                  dt(c.setAt));
            for (int p = 0; p < c.probes; ++p) {
                const QDateTime base = dt(c.firstProbe).addSecs(p * c.probeStepSecs);
                for (int s = -3; s <= 3; ++s) {
                    const QDateTime second = base.addSecs(s);
                    const QDateTime own = second.addMSecs(windowFirst ? 600 : 200);
                    const QDateTime window = second.addMSecs(windowFirst ? 200 : 600);
                    if (windowFirst)
                        o.Obj.CheckScheduleStatus(window);
                    o.Obj.CalcScheduleTime(own);
                    o.Obj.CheckScheduleStatus(own);
                    if (!windowFirst)
                        o.Obj.CheckScheduleStatus(window);
                }
            }
            EXPECT_EQ(o.Fired, c.expectedFires) << c.name << (windowFirst ? " (window first)" : "");
        }
    }
}

TEST(ScheduleFiring, FixedTimeInThePastStaysAsStored) {
    TQuietObject o;
    o.Set(stFixedTime, "2014-01-22 09:05:00", "Alarm sound", "", dt("2026-03-02 08:00:00"));
    o.Obj.CalcScheduleTime(dt("2026-03-02 09:05:00"));
    o.Obj.CheckScheduleStatus(dt("2026-03-02 09:05:00"));
    EXPECT_EQ(o.Fired, 0);
    EXPECT_EQ(o.Obj.SchValue1(), QStringLiteral("2014-01-22 09:05:00"));
    EXPECT_EQ(o.Obj.ScheduleTime(), dt("2014-01-22 09:05:00"));
    EXPECT_TRUE(o.Obj.IsDue(dt("2014-01-22 09:05:00.999")));
}

TEST(ScheduleFiring, MonthlyTimeOnTwentyNinthFebruaryFallsOnTheTwentyEighthInOtherYears) {
    TQuietObject o;
    o.Set(stEveryMonth, "29", "10:00:00", "", dt("2028-02-10 07:00:00"));
    ASSERT_EQ(o.Obj.ScheduleTime(), dt("2028-02-29 10:00:00"));
    // Only the window's check runs in a later year (no recompute).
    EXPECT_TRUE(o.Obj.IsDue(dt("2029-02-28 10:00:00")));
    EXPECT_FALSE(o.Obj.IsDue(dt("2029-03-01 10:00:00")));
}

TEST(ScheduleFiring, NoneNeverFires) {
    TQuietObject o;
    o.Obj.SetScheduleTime(dt("2026-03-02 09:00:00"));
    o.Obj.CheckScheduleStatus(dt("2026-03-02 09:00:00"));
    EXPECT_EQ(o.Fired, 0);
}

TEST(ScheduleFiring, IdleAndUptimeKinds) {
    struct Case {
        const char* name;
        TScheduleType type;
        bool assignThreshold; // 00:05:00, i.e. 300 s
        std::uint32_t tick;   // ms since boot
        std::uint32_t lastInput;
        bool due;
    };
    const Case cases[] = {
        {"idle, stored row carries no threshold", stSystemIdle, false, 1'000'000, 1'000'000, false},
        {"idle exactly 300 s", stSystemIdle, true, 1'300'500, 1'000'000, true},
        {"idle 299 s", stSystemIdle, true, 1'299'999, 1'000'000, false},
        {"idle 301 s", stSystemIdle, true, 1'301'000, 1'000'000, false},
        {"idle across the tick wrap", stSystemIdle, true, 100'000, 0xFFFFFFFFu - 199'999u, true},
        {"uptime, stored row carries no threshold", stSinceOSStart, false, 0, 0, false},
        {"uptime 300 s", stSinceOSStart, true, 300'999, 0, true},
        {"uptime 301 s", stSinceOSStart, true, 301'000, 0, false},
    };
    for (const Case& c : cases) {
        TQuietObject o;
        o.Obj.SetSystemClock({[&] { return c.tick; }, [&] { return c.lastInput; }});
        o.Set(c.type, "", "", "", dt("2026-03-02 07:00:00"));
        if (c.assignThreshold)
            o.Obj.SetScheduleTime(QDateTime(QDate(1899, 12, 30), QTime(0, 5, 0)));
        EXPECT_EQ(o.Obj.IsDue(dt("2026-03-02 07:00:00")), c.due) << c.name;
    }
}

TEST(ScheduleSound, ColumnByKind) {
    struct Case {
        TScheduleType type;
        const char* expected;
    };
    const Case cases[] = {
        {stNone, ""},        {stFixedTime, "B"},  {stEveryHour, "B"},      {stEveryDay, "B"},
        {stEveryWeek, "C"},  {stEveryMonth, "C"}, {stEveryWeekByDay, "C"}, {stSystemIdle, ""},
        {stSinceOSStart, ""}};
    for (const Case& c : cases) {
        TQuietObject o;
        o.Set(c.type, "A", "B", "C", dt("2026-03-02 07:00:00"));
        EXPECT_EQ(o.Obj.SoundName(), QString::fromLatin1(c.expected)) << int(c.type);
    }
}

TEST(ScheduleTicker, OneSharedTickDrivesEveryObjectAndSurvivesAHandlerFreeingAnother) {
    // Uptime exactly at the threshold all the time: due at every tick.
    const TScheduleObject::TSystemClock clock{[] { return std::uint32_t(300'000); },
                                              [] { return std::uint32_t(0); }};
    auto a = std::make_unique<TScheduleObject>();
    auto b = std::make_unique<TScheduleObject>();
    auto c = std::make_unique<TScheduleObject>();
    int firedA = 0, firedC = 0;
    for (TScheduleObject* o : {a.get(), b.get(), c.get()}) {
        o->SetSystemClock(clock);
        o->SetScheduleType(stSinceOSStart);
        o->SetScheduleTime(QDateTime(QDate(1899, 12, 30), QTime(0, 5, 0)));
    }
    a->OnTimeToGo = [&] {
        ++firedA;
        b.reset();
    };
    c->OnTimeToGo = [&] { ++firedC; };
    QTest::qWait(2300);
    EXPECT_GE(firedA, 2);
    EXPECT_LE(firedA, 3);
    EXPECT_EQ(firedC, firedA);
    EXPECT_EQ(b, nullptr);
}

TEST(ScheduleTicker, TicksOncePerWallClockSecond) {
    std::vector<qint64> seconds;
    TScheduleObject o;
    o.SetSystemClock({[&] {
                          seconds.push_back(QDateTime::currentMSecsSinceEpoch() / 1000);
                          return std::uint32_t(0);
                      },
                      [] { return std::uint32_t(0); }});
    o.SetScheduleType(stSinceOSStart);
    QTest::qWait(3300);
    ASSERT_GE(seconds.size(), 2u);
    for (std::size_t i = 1; i < seconds.size(); ++i)
        EXPECT_GT(seconds[i], seconds[i - 1]);
}
