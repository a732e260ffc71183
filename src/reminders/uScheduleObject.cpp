#include "reminders/uScheduleObject.h"

#include "platform/uIdleTime.h"
#include "platform/uTicks.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

const QDate kZeroDate(1899, 12, 30);

// Same second: both written as "yyyyMMddHHmmss" give the same text.
bool sameSecond(const QDate& d1, const QTime& t1, const QDate& d2, const QTime& t2) {
    return d1 == d2 && t1.hour() == t2.hour() && t1.minute() == t2.minute() && t1.second() == t2.second();
}

QString secondKey(const QDateTime& dt) {
    return dt.toString(QStringLiteral("yyyyMMddHHmmss"));
}

// A day of the month that the month may not have falls on its last day.
QDate clampedDate(int year, int month, int day) {
    const int last = QDate(year, month, 1).daysInMonth();
    return QDate(year, month, std::clamp(day, 1, last));
}

QTime fixedTimeOf(const QString& text) {
    return ParseFixedDateTime(text).time();
}

// The local wall-clock time, cheaply: its date() and time() are the local ones.
// Converting to local time costs microseconds, and a desktop full of notes asks
// thousands of times a second, so the offset is looked up once per second and
// the fields are carried in a UTC date-time, which needs no conversion.
QDateTime wallClockNow() {
    const qint64 utc = QDateTime::currentMSecsSinceEpoch();
    thread_local qint64 cachedSecond = -1;
    thread_local qint64 offsetMs = 0;
    if (utc / 1000 != cachedSecond) {
        cachedSecond = utc / 1000;
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(utc).offsetFromUtc()) * 1000;
    }
    return QDateTime::fromMSecsSinceEpoch(utc + offsetMs, Qt::UTC);
}

// How far into each second the shared tick runs.
constexpr int kTickOffsetMs = 20;

// One timer for every schedule object's own tick.
class TScheduleTicker : public QObject {
public:
    static TScheduleTicker& Instance() {
        static TScheduleTicker* ticker = new TScheduleTicker;
        return *ticker;
    }
    void Add(TScheduleObject* o) {
        FObjects.push_back(o);
        if (!FTimer.isActive())
            ArmNext();
    }
    void Remove(TScheduleObject* o) {
        std::erase(FObjects, o);
        // A tick in progress may be removing objects as it goes.
        FChanged = true;
    }

private:
    TScheduleTicker() {
        FTimer.setSingleShot(true);
        FTimer.setTimerType(Qt::PreciseTimer);
        connect(&FTimer, &QTimer::timeout, this, &TScheduleTicker::Tick);
    }
    // Just after the start of the next wall-clock second: a plain one-second
    // timer drifts and now and then skips a second, and with it a reminder.
    void ArmNext() {
        const qint64 intoSecond = QDateTime::currentMSecsSinceEpoch() % 1000;
        FTimer.start(int(1000 - intoSecond + kTickOffsetMs));
    }
    void Tick() {
        ArmNext();
        const QDateTime now = wallClockNow();
        // A handler may open windows that create or free notes; walk a copy.
        const std::vector<TScheduleObject*> objects = FObjects;
        FChanged = false;
        for (TScheduleObject* o : objects) {
            if (FChanged && std::find(FObjects.begin(), FObjects.end(), o) == FObjects.end())
                continue;
            o->Tick(now);
        }
    }

    QTimer FTimer;
    std::vector<TScheduleObject*> FObjects;
    bool FChanged = false;
};

} // namespace

QDateTime ZeroDateTime() {
    return QDateTime(kZeroDate, QTime(0, 0));
}

QDateTime ParseFixedDateTime(const QString& text) {
    // Lenient about digit counts, as the desktop's parser is; strict about the separators.
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(?:(\d{1,4})-(\d{1,2})-(\d{1,2}))?\s*(?:(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,3}))?)?)?\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch() || (m.capturedLength(1) == 0 && m.capturedLength(4) == 0))
        return ZeroDateTime();
    QDate date = kZeroDate;
    if (m.capturedLength(1) > 0) {
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!date.isValid())
            return ZeroDateTime();
    }
    QTime time(0, 0);
    if (m.capturedLength(4) > 0) {
        const int ms = m.capturedLength(7) > 0 ? m.captured(7).leftJustified(3, QLatin1Char('0')).toInt() : 0;
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
        if (!time.isValid())
            return ZeroDateTime();
    }
    return QDateTime(date, time);
}

QTime ParseRegionalTime(const QString& text) {
    const QLocale locale = QLocale::system();
    for (QLocale::FormatType f : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const QTime t = locale.toTime(text.trimmed(), f);
        if (t.isValid())
            return t;
    }
    // The dialog writes the fixed format; a locale with other separators must still read it.
    return fixedTimeOf(text);
}

const QStringList& StoredWeekdayNames() {
    static const QStringList names{QStringLiteral("Monday"),    QStringLiteral("Tuesday"),
                                   QStringLiteral("Wednesday"), QStringLiteral("Thursday"),
                                   QStringLiteral("Friday"),    QStringLiteral("Saturday"),
                                   QStringLiteral("Sunday")};
    return names;
}

TScheduleObject::TScheduleObject(QObject* parent)
    : QObject(parent), FScheduleDate(kZeroDate), FScheduleClock(0, 0) {
    FClock.TickCount = [] { return GetTickCount(); };
    FClock.LastInputTick = [] { return GetLastInputTick(); };
    TScheduleTicker::Instance().Add(this);
}

TScheduleObject::~TScheduleObject() {
    TScheduleTicker::Instance().Remove(this);
}

void TScheduleObject::SetScheduled(const QDate& date, const QTime& time) {
    FScheduleDate = date;
    FScheduleClock = time;
}

void TScheduleObject::SetScheduleTime(const QDateTime& time) {
    SetScheduled(time.date(), time.time());
    FTimeAssigned = true;
}

void TScheduleObject::SetSchValues(const QString& value1, const QString& value2, const QString& value3) {
    SetSchValues(value1, value2, value3, wallClockNow());
}

void TScheduleObject::SetSchValues(const QString& value1, const QString& value2, const QString& value3,
                                   const QDateTime& now) {
    FSchValue1 = value1;
    FSchValue2 = value2;
    FSchValue3 = value3;
    // Stored values carry no idle or uptime threshold.
    FTimeAssigned = false;
    FFiredSecond.clear();
    // New values start from nothing: a kind that finds no due time (a week-day
    // reminder with no day ticked) must not inherit the previous kind's.
    SetScheduled(kZeroDate, QTime(0, 0));
    ParseValues();
    CalcScheduleTime(now);
}

void TScheduleObject::ParseValues() {
    FValue1Parsed = ParseFixedDateTime(FSchValue1);
    // Minute and second behind any hour: the hour never makes the text unreadable.
    const QDateTime hourly = ParseFixedDateTime(QStringLiteral("2000-01-01 00:") + FSchValue1);
    FHourlyMinSec = hourly.date() == kZeroDate ? QTime() : hourly.time();
    FTimeOfDay = FScheduleType == stEveryWeek ? ParseRegionalTime(FSchValue2) : fixedTimeOf(FSchValue2);
    FWeekday = StoredWeekdayNames().indexOf(FSchValue1);
    bool ok = false;
    FMonthDay = FSchValue1.trimmed().toInt(&ok);
    if (!ok)
        FMonthDay = 1;
}

void TScheduleObject::CalcScheduleTime(const QDateTime& now) {
    const QDate today = now.date();
    switch (FScheduleType) {
    case stFixedTime:
    case stEveryDay:
        SetScheduled(FValue1Parsed.date(), FValue1Parsed.time());
        break;
    case stEveryHour:
        if (FHourlyMinSec.isValid())
            SetScheduled(today, QTime(now.time().hour(), FHourlyMinSec.minute(), FHourlyMinSec.second()));
        else
            SetScheduled(kZeroDate, QTime(0, 0));
        break;
    case stEveryWeek: {
        if (FWeekday < 0) {
            // No such weekday: never due.
            SetScheduled(kZeroDate, QTime(0, 0));
            break;
        }
        // Monday = 2 ... Sunday = 8 on both sides, so the offset is the same as Monday = 1 ... Sunday = 7.
        const int target = int(FWeekday) + 1;
        const int current = today.dayOfWeek();
        const int offset = target >= current ? target - current : target - current + 7;
        SetScheduled(today.addDays(offset), FTimeOfDay);
        break;
    }
    case stEveryMonth:
        SetScheduled(clampedDate(today.year(), today.month(), FMonthDay), FTimeOfDay);
        break;
    case stEveryWeekByDay: {
        // A candidate within the current second still counts, so that this
        // recompute and the check that follows agree on the due second.
        const QTime nt = now.time();
        const QTime earliest(nt.hour(), nt.minute(), nt.second());
        for (int i = 0; i < 7; ++i) {
            if (i == 0 && FTimeOfDay < earliest)
                continue;
            const QDate date = today.addDays(i);
            const int dow = date.dayOfWeek();
            if (FSchValue1.size() >= dow && FSchValue1.at(dow - 1) == QLatin1Char('1')) {
                SetScheduled(date, FTimeOfDay);
                break;
            }
        }
        break;
    }
    case stNone:
    case stSystemIdle:
    case stSinceOSStart:
        break;
    }
}

bool TScheduleObject::IsDueThreshold(std::uint32_t seconds) const {
    if (!FTimeAssigned)
        return false;
    const QTime& t = FScheduleClock;
    const std::uint32_t threshold = std::uint32_t(t.hour() * 3600 + t.minute() * 60 + t.second());
    return seconds == threshold;
}

bool TScheduleObject::IsDue(const QDateTime& now) const {
    const QDate& sd = FScheduleDate;
    const QTime& st = FScheduleClock;
    switch (FScheduleType) {
    case stNone:
        return false;
    case stFixedTime:
    case stEveryWeek:
    case stEveryWeekByDay:
        return sameSecond(sd, st, now.date(), now.time());
    case stEveryHour: {
        const QTime nt = now.time();
        return nt.minute() == st.minute() && nt.second() == st.second();
    }
    case stEveryDay:
        return sameSecond(now.date(), st, now.date(), now.time());
    case stEveryMonth: {
        // A 29 February in a year without one falls on the 28th.
        const QDate nd = now.date();
        return sameSecond(clampedDate(nd.year(), sd.month(), sd.day()), st, nd, now.time());
    }
    case stSystemIdle: {
        const std::uint32_t idleMs = FClock.TickCount() - FClock.LastInputTick();
        return IsDueThreshold(idleMs / 1000u);
    }
    case stSinceOSStart:
        return IsDueThreshold(FClock.TickCount() / 1000u);
    }
    return false;
}

void TScheduleObject::CheckScheduleStatus(const QDateTime& now) {
    if (!IsDue(now))
        return;
    const QString key = secondKey(now);
    if (key == FFiredSecond)
        return;
    FFiredSecond = key;
    if (OnTimeToGo)
        OnTimeToGo();
}

void TScheduleObject::CheckScheduleStatus() {
    CheckScheduleStatus(wallClockNow());
}

QString TScheduleObject::SoundName() const {
    switch (FScheduleType) {
    case stFixedTime:
    case stEveryHour:
    case stEveryDay:
        return FSchValue2;
    case stEveryWeek:
    case stEveryMonth:
    case stEveryWeekByDay:
        return FSchValue3;
    default:
        return {};
    }
}

void TScheduleObject::SetTickEnabled(bool on) {
    FTickEnabled = on;
}

bool TScheduleObject::TickEnabled() const {
    return FTickEnabled;
}

void TScheduleObject::Tick() {
    Tick(wallClockNow());
}

void TScheduleObject::Tick(const QDateTime& now) {
    if (!FTickEnabled)
        return;
    // Recomputing at every tick keeps the recurring kinds due at every later
    // occurrence, also after one has fired.
    CalcScheduleTime(now);
    CheckScheduleStatus(now);
}
