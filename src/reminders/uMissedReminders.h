#pragma once
// Reminders that fell due while the program was not running or the computer
// slept. Nothing rings for them; they are collected once and listed, so that
// none is lost without a word.

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <optional>

struct TReminderSource {
    QString NoteId;
    QString Text;
    int Type = 0; // the stored alerttype
    QString Value1;
    QString Value2;
    QString Value3;
};

struct TMissedReminder {
    QString NoteId;
    QString Text;
    QDateTime Due; // local wall-clock time

    friend bool operator==(const TMissedReminder&, const TMissedReminder&) = default;
};

namespace MissedReminders {

// The latest occurrence of a reminder that lies after since and before the
// second of now (that second still rings as usual). Nothing for kinds that do
// not recur by the clock (idle, uptime) or when no occurrence lies in between.
[[nodiscard]] std::optional<QDateTime> LastOccurrence(const TReminderSource& r, const QDateTime& since,
                                                      const QDateTime& now);
// One entry per reminder with an occurrence in between, the oldest first.
[[nodiscard]] QList<TMissedReminder> Collect(const QList<TReminderSource>& reminders, const QDateTime& since,
                                             const QDateTime& now);

// "Last seen running", kept in the settings file: read at start, written at
// most once a minute and at exit.
[[nodiscard]] std::optional<QDateTime> ReadLastSeen(const QString& configPath);
bool WriteLastSeen(const QString& configPath, const QDateTime& when);

} // namespace MissedReminders

// Watches the wall clock on the one-second tick: a jump ahead of the monotonic
// clock by more than a minute means the computer slept (the monotonic clock
// stands still in suspend) or the time was set forward; either way the seconds
// in between were never checked.
class TWallClockWatch {
public:
    explicit TWallClockWatch(qint64 thresholdMs = 60 * 1000) : FThresholdMs(thresholdMs) {}
    // Returns the wall-clock time of the previous look when the clock jumped since then.
    [[nodiscard]] std::optional<QDateTime> Look(const QDateTime& wallNow, qint64 monotonicMs);
    [[nodiscard]] std::optional<QDateTime> Look();

private:
    qint64 FThresholdMs;
    QDateTime FLastWall;
    qint64 FLastMonotonic = 0;
    QElapsedTimer FMonotonic;
};
