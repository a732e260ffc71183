#pragma once
// One note's reminder: the stored kind and three texts turned into a due time,
// and the once-a-second question "is this second the due second?".
//
// Every computation takes the current local time as an argument; only the
// one-second timer reads the clock, so each kind can be checked at any chosen
// instant.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

// The stored alerttype is the ordinal.
enum TScheduleType : int {
    stNone = 0,
    stFixedTime = 1,
    stEveryHour = 2,
    stEveryDay = 3,
    stEveryWeek = 4,
    stEveryMonth = 5,
    stEveryWeekByDay = 6,
    stSystemIdle = 7,
    stSinceOSStart = 8,
};
inline constexpr int kScheduleTypeCount = 9;

// The desktop's date-time zero (30 December 1899, 00:00), which stands for
// "could not be parsed" and carries the time of a time-only value.
[[nodiscard]] QDateTime ZeroDateTime();
// Parses a stored value written with the fixed formats: "yyyy-mm-dd HH:mm:ss",
// a date alone or a time alone ("HH:mm" and "HH:mm:ss"). Anything else gives
// ZeroDateTime(), never an error. A time alone lies on the zero date.
[[nodiscard]] QDateTime ParseFixedDateTime(const QString& text);
// A time of day written in the user's regional time format, or, failing that,
// in the fixed format; midnight when neither reads it.
[[nodiscard]] QTime ParseRegionalTime(const QString& text);

// The weekday names a kind-4 reminder stores (English, case-sensitive), Monday first.
[[nodiscard]] const QStringList& StoredWeekdayNames();

class TScheduleObject : public QObject {
    Q_OBJECT
public:
    // The clocks behind the idle and uptime kinds, in milliseconds of the
    // 32-bit wrapping tick count. Tests replace them.
    struct TSystemClock {
        std::function<std::uint32_t()> TickCount;
        std::function<std::uint32_t()> LastInputTick;
    };

    // Starts the object's own one-second tick (recompute, then check). All
    // objects share one timer, which reads the clock once per second for all.
    explicit TScheduleObject(QObject* parent = nullptr);
    ~TScheduleObject() override;

    [[nodiscard]] TScheduleType ScheduleType() const { return FScheduleType; }
    void SetScheduleType(TScheduleType type) { FScheduleType = type; }
    [[nodiscard]] QDateTime ScheduleTime() const { return QDateTime(FScheduleDate, FScheduleClock); }
    // A direct assignment; the only way the idle and uptime kinds get a threshold.
    void SetScheduleTime(const QDateTime& time);
    [[nodiscard]] const QString& SchValue1() const { return FSchValue1; }
    [[nodiscard]] const QString& SchValue2() const { return FSchValue2; }
    [[nodiscard]] const QString& SchValue3() const { return FSchValue3; }

    // Stores the three texts and recomputes the due time at once.
    void SetSchValues(const QString& value1, const QString& value2, const QString& value3);
    void SetSchValues(const QString& value1, const QString& value2, const QString& value3,
                      const QDateTime& now);

    void CalcScheduleTime(const QDateTime& now);
    // Whether now lies in the due second (no side effects).
    [[nodiscard]] bool IsDue(const QDateTime& now) const;
    // Calls OnTimeToGo when now lies in the due second; at most once per due
    // second, however many checks run within it.
    void CheckScheduleStatus(const QDateTime& now);
    // The note window's own check, against the local clock.
    void CheckScheduleStatus();
    // The object's own tick: recompute, then check, against the local clock.
    void Tick();
    void Tick(const QDateTime& now);

    // The alarm sound's base name: value 2 for kinds 1-3, value 3 for kinds 4-6.
    [[nodiscard]] QString SoundName() const;

    void SetSystemClock(TSystemClock clock) { FClock = std::move(clock); }
    // The object's own tick (false stops it, e.g. in tests that drive the checks).
    void SetTickEnabled(bool on);
    [[nodiscard]] bool TickEnabled() const;

    std::function<void()> OnTimeToGo;

private:
    void ParseValues();
    void SetScheduled(const QDate& date, const QTime& time);
    [[nodiscard]] bool IsDueThreshold(std::uint32_t seconds) const;

    bool FTickEnabled = true;
    TScheduleType FScheduleType = stNone;
    // Local wall-clock date and time, kept apart so that no check converts time zones.
    QDate FScheduleDate;
    QTime FScheduleClock;
    QString FSchValue1;
    QString FSchValue2;
    QString FSchValue3;
    // The values as parsed when they were set; the formats never change while we run.
    QDateTime FValue1Parsed;
    QTime FHourlyMinSec;
    QTime FTimeOfDay;
    qsizetype FWeekday = -1;
    int FMonthDay = 1;
    // Set by SetScheduleTime: the idle and uptime kinds have a threshold only then.
    bool FTimeAssigned = false;
    // The due second that already called OnTimeToGo ("yyyyMMddHHmmss"), so the
    // two checks within one second call it once.
    QString FFiredSecond;
    TSystemClock FClock;
};
