#pragma once
// Reminders that fell due while the program was not running or the computer
// slept are listed once in one window. "Last seen running" goes to the settings
// at most once a minute and at exit; a jump of the wall clock past the
// monotonic clock on the shared tick tells of a sleep.

#include "note/uNoteContext.h"
#include "reminders/gui/uFmMissedAlerts.h"
#include "reminders/uMissedReminders.h"

#include <QObject>
#include <QPointer>

class TNoteManager;

class TMissedReminderWatch : public QObject {
    Q_OBJECT
public:
    // The context gives the list window its texts.
    TMissedReminderWatch(QString configPath, TNoteContextPtr context, const TNoteManager& windows,
                         QObject* parent = nullptr);
    ~TMissedReminderWatch() override;

    // Once the notes are loaded: what fell due since the program last ran. Then
    // the watch starts looking once a second.
    void CheckSinceLastRun(const QDateTime& now = QDateTime::currentDateTime());
    // One look of the shared tick (tests give the clocks).
    void Tick(const QDateTime& wallNow, qint64 monotonicMs);
    // At exit.
    void RecordNow(const QDateTime& now = QDateTime::currentDateTime());

    // The reminders of the note windows, with their texts.
    [[nodiscard]] QList<TReminderSource> NoteReminders() const;
    [[nodiscard]] TFmMissedAlerts* Window() const { return FWindow; }

private:
    void Show(const QList<TMissedReminder>& missed);
    void OpenNote(const QString& noteId) const;

    QString FConfigPath;
    TNoteContextPtr FContext;
    const TNoteManager& FWindows;
    TWallClockWatch FClock;
    QDateTime FLastRecord;
    quint64 FTicket = 0;
    QPointer<TFmMissedAlerts> FWindow;
};
