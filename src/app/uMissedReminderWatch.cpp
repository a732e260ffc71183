#include "app/uMissedReminderWatch.h"

#include "note/uFmNote.h"
#include "note/uNoteManager.h"
#include "platform/uSharedTicker.h"
#include "reminders/gui/uFmMissedAlerts.h"
#include "reminders/uScheduleObject.h"

#include <QElapsedTimer>

namespace {
constexpr qint64 kRecordEverySecs = 60;
} // namespace

TMissedReminderWatch::TMissedReminderWatch(QString configPath, TNoteContextPtr context,
                                           const TNoteManager& windows, QObject* parent)
    : QObject(parent), FConfigPath(std::move(configPath)), FContext(OrEmpty(std::move(context))),
      FWindows(windows) {}

TMissedReminderWatch::~TMissedReminderWatch() {
    if (FTicket)
        TSharedTicker::Instance().Unsubscribe(FTicket);
}

QList<TReminderSource> TMissedReminderWatch::NoteReminders() const {
    QList<TReminderSource> out;
    for (TFmNote* n : FWindows.Windows()) {
        if (n->IsPreviewMode())
            continue;
        const auto* s = n->findChild<TScheduleObject*>(QString(), Qt::FindDirectChildrenOnly);
        if (s && s->ScheduleType() != stNone)
            out.append({n->NoteId(), n->NoteText(), int(s->ScheduleType()), s->SchValue1(), s->SchValue2(),
                        s->SchValue3()});
    }
    return out;
}

void TMissedReminderWatch::CheckSinceLastRun(const QDateTime& now) {
    // Never run before: nothing can have been missed.
    if (const std::optional<QDateTime> since = MissedReminders::ReadLastSeen(FConfigPath))
        Show(MissedReminders::Collect(NoteReminders(), *since, now));
    RecordNow(now);
    if (!FTicket) {
        auto monotonic = std::make_shared<QElapsedTimer>();
        monotonic->start();
        FTicket = TSharedTicker::Instance().Subscribe(
            [this, monotonic] { Tick(QDateTime::currentDateTime(), monotonic->elapsed()); });
    }
}

void TMissedReminderWatch::Tick(const QDateTime& wallNow, qint64 monotonicMs) {
    if (const std::optional<QDateTime> asleepSince = FClock.Look(wallNow, monotonicMs))
        Show(MissedReminders::Collect(NoteReminders(), *asleepSince, wallNow));
    if (!FLastRecord.isValid() || FLastRecord.secsTo(wallNow) >= kRecordEverySecs || wallNow < FLastRecord)
        RecordNow(wallNow);
}

void TMissedReminderWatch::RecordNow(const QDateTime& now) {
    FLastRecord = now;
    (void)MissedReminders::WriteLastSeen(FConfigPath, now);
}

void TMissedReminderWatch::Show(const QList<TMissedReminder>& missed) {
    if (missed.isEmpty())
        return;
    if (!FWindow) {
        FWindow = new TFmMissedAlerts(nullptr, FContext);
        connect(FWindow, &TFmMissedAlerts::OpenNoteRequested, this, &TMissedReminderWatch::OpenNote);
    }
    FWindow->AddMissed(missed);
    FWindow->show();
    FWindow->raise();
}

void TMissedReminderWatch::OpenNote(const QString& noteId) const {
    if (TFmNote* n = FWindows.Find(noteId)) {
        n->show();
        n->raise();
        n->activateWindow();
    }
}
