#include "reminders/uMissedReminders.h"

#include "reminders/uScheduleObject.h"
#include "shared/uIniFile.h"

#include <algorithm>

namespace {

const QString kSection = QStringLiteral("General");
const QString kKey = QStringLiteral("LastSeenRunning");

// A day of the month that the month may not have falls on its last day, as when it rings.
QDate monthDay(int year, int month, int day) {
    const QDate first(year, month, 1);
    return first.addDays(std::clamp(day, 1, first.daysInMonth()) - 1);
}

QTime fixedTime(const QString& text) {
    return ParseFixedDateTime(text).time();
}

std::optional<QDateTime> latestOccurrence(const TReminderSource& r, const QDateTime& before) {
    const QDate today = before.date();
    switch (r.Type) {
    case stFixedTime: {
        const QDateTime t = ParseFixedDateTime(r.Value1);
        if (t.date() == ZeroDateTime().date())
            return std::nullopt; // unreadable or a time without a date
        return t;
    }
    case stEveryHour: {
        const QDateTime ms = ParseFixedDateTime(QStringLiteral("2000-01-01 00:") + r.Value1);
        if (ms.date() == ZeroDateTime().date())
            return std::nullopt;
        QDateTime t(today, QTime(before.time().hour(), ms.time().minute(), ms.time().second()));
        return t < before ? t : t.addSecs(-3600);
    }
    case stEveryDay: {
        const QDateTime t(today, fixedTime(r.Value1));
        return t < before ? t : t.addDays(-1);
    }
    case stEveryWeek: {
        const qsizetype day = StoredWeekdayNames().indexOf(r.Value1);
        if (day < 0)
            return std::nullopt;
        const QTime time = ParseRegionalTime(r.Value2);
        for (int back = 0; back <= 7; ++back) {
            const QDate d = today.addDays(-back);
            if (d.dayOfWeek() == day + 1 && QDateTime(d, time) < before)
                return QDateTime(d, time);
        }
        return std::nullopt;
    }
    case stEveryMonth: {
        bool ok = false;
        int day = r.Value1.trimmed().toInt(&ok);
        if (!ok)
            day = 1;
        const QTime time = fixedTime(r.Value2);
        const QDateTime t(monthDay(today.year(), today.month(), day), time);
        if (t < before)
            return t;
        const QDate prev = today.addMonths(-1);
        return QDateTime(monthDay(prev.year(), prev.month(), day), time);
    }
    case stEveryWeekByDay: {
        const QTime time = fixedTime(r.Value2);
        for (int back = 0; back <= 7; ++back) {
            const QDate d = today.addDays(-back);
            const int dow = d.dayOfWeek();
            if (r.Value1.size() >= dow && r.Value1.at(dow - 1) == QLatin1Char('1') &&
                QDateTime(d, time) < before)
                return QDateTime(d, time);
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

namespace MissedReminders {

std::optional<QDateTime> LastOccurrence(const TReminderSource& r, const QDateTime& since,
                                        const QDateTime& now) {
    // The current second still rings through the usual check.
    const QTime nt = now.time();
    const QDateTime before(now.date(), QTime(nt.hour(), nt.minute(), nt.second()));
    const std::optional<QDateTime> t = latestOccurrence(r, before);
    if (!t || *t <= since || *t >= before)
        return std::nullopt;
    return t;
}

QList<TMissedReminder> Collect(const QList<TReminderSource>& reminders, const QDateTime& since,
                               const QDateTime& now) {
    QList<TMissedReminder> out;
    for (const TReminderSource& r : reminders)
        if (const std::optional<QDateTime> due = LastOccurrence(r, since, now))
            out.append({r.NoteId, r.Text, *due});
    std::stable_sort(out.begin(), out.end(),
                     [](const TMissedReminder& a, const TMissedReminder& b) { return a.Due < b.Due; });
    return out;
}

std::optional<QDateTime> ReadLastSeen(const QString& configPath) {
    const QString text = TIniFile(configPath).ReadString(kSection, kKey, QString());
    // Kept in UTC, so a change of time zone or summer time moves nothing.
    QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    if (!t.isValid())
        return std::nullopt;
    return t.toLocalTime();
}

bool WriteLastSeen(const QString& configPath, const QDateTime& when) {
    TIniFile ini(configPath);
    ini.WriteString(kSection, kKey, when.toUTC().toString(Qt::ISODate));
    return ini.UpdateFile();
}

} // namespace MissedReminders

std::optional<QDateTime> TWallClockWatch::Look(const QDateTime& wallNow, qint64 monotonicMs) {
    std::optional<QDateTime> jumped;
    if (FLastWall.isValid()) {
        const qint64 wallStep = FLastWall.msecsTo(wallNow);
        const qint64 monoStep = monotonicMs - FLastMonotonic;
        if (wallStep - monoStep > FThresholdMs)
            jumped = FLastWall;
    }
    FLastWall = wallNow;
    FLastMonotonic = monotonicMs;
    return jumped;
}

std::optional<QDateTime> TWallClockWatch::Look() {
    if (!FMonotonic.isValid())
        FMonotonic.start();
    return Look(QDateTime::currentDateTime(), FMonotonic.elapsed());
}
