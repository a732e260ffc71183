#pragma once
// Keeps every note reachable: at start-up and whenever a screen is added,
// removed or resized, a note of which too little shows on any screen is moved
// onto the nearest one, and a docked strip whose edge is gone goes to the same
// edge of the nearest screen. A note moved this way keeps its stored place and
// goes back there once a screen shows it again (a monitor plugged back in, the
// scaling restored); a strip's new place along its edge is stored.

#include "data/uScreenFit.h"

#include <QObject>

class QScreen;
class NoteRepository;
class TFmNote;
class TNoteManager;

class TScreenWatch : public QObject {
    Q_OBJECT
public:
    TScreenWatch(NoteRepository& notes, const TNoteManager& windows, QObject* parent = nullptr);

    // The screens as they are now.
    [[nodiscard]] static QList<TScreenArea> CurrentScreens();
    // Applies the rule to every note window; returns how many were moved.
    int FitAll();
    int FitAll(const QList<TScreenArea>& screens);

private:
    void WatchScreen(QScreen* screen);
    // The screen list settles after the signal: look once the event loop turns.
    void FitSoon();
    [[nodiscard]] bool FitNote(TFmNote* note, const QList<TScreenArea>& screens);

    NoteRepository& FNotes;
    const TNoteManager& FWindows;
    bool FPending = false;
};
