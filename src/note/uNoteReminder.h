#pragma once
// A note window's reminder: its schedule object (a child of the window, so it
// lives exactly as long as the window), the window's own once-a-second check,
// the alarm window when it falls due, and the "Add Alert" command.

class QString;
class TFmNote;
class TScheduleObject;

// The note's schedule object, made on first use.
[[nodiscard]] TScheduleObject* NoteSchedule(TFmNote* note);
// Loading and reloading: the row's kind, then its three values. A preview
// window's object never ticks, so a preview never fires.
void ApplyNoteReminder(TFmNote* note, int type, const QString& v1, const QString& v2, const QString& v3);
// The note window's own check of its reminder (not in a preview).
void CheckNoteReminder(TFmNote* note);
// "Add Alert": the set-up dialog owned by the note; on Save the reminder goes
// up to the server. Returns the dialog's result.
int SetupNoteReminder(TFmNote* note);
