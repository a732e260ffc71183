#include "note/uNoteReminder.h"

#include "note/uFmNote.h"
#include "reminders/gui/uFmAlertSetup.h"
#include "reminders/gui/uFmAlertWindow.h"
#include "reminders/uScheduleObject.h"

#include <QPointer>

TScheduleObject* NoteSchedule(TFmNote* note) {
    if (auto* s = note->findChild<TScheduleObject*>(QString(), Qt::FindDirectChildrenOnly))
        return s;
    auto* s = new TScheduleObject(note);
    QPointer<TFmNote> guard(note);
    s->OnTimeToGo = [guard, s] {
        if (guard && !guard->IsPreviewMode())
            OpenAlarmWindow(guard, {guard->NoteId(), guard->NoteType(), guard->NoteText(), s,
                                    QDateTime::currentDateTime(), guard->ContextPtr()});
    };
    return s;
}

void ApplyNoteReminder(TFmNote* note, int type, const QString& v1, const QString& v2, const QString& v3) {
    TScheduleObject* s = NoteSchedule(note);
    s->SetTickEnabled(!note->IsPreviewMode());
    s->SetScheduleType(type >= 0 && type < kScheduleTypeCount ? TScheduleType(type) : stNone);
    s->SetSchValues(v1, v2, v3);
}

void CheckNoteReminder(TFmNote* note) {
    if (!note->IsPreviewMode())
        NoteSchedule(note)->CheckScheduleStatus();
}

int SetupNoteReminder(TFmNote* note) {
    // The saved reminder goes up through the store's change report.
    return TFmAlertSetup::Execute(note, note->NoteId(), NoteSchedule(note), note->ContextPtr());
}
