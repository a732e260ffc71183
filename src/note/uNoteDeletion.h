#pragma once
// How a note leaves the desktop: deleted by the user (the row goes here and on the
// server, the window falls off the screen), deleted on the server (a countdown
// panel, then the same fall), or hidden on this computer only (the row stays,
// marked not shown, for the hidden-notes manager to bring back).

#include <QObject>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;
class TFmNote;

// The parts of a note window that only a leaving note needs: made on first need,
// owned by the note.
class TNoteDeletion : public QObject {
    Q_OBJECT
public:
    // The note's own, made when missing.
    [[nodiscard]] static TNoteDeletion* Of(TFmNote* note);
    // The note's own, or null when it never needed one.
    [[nodiscard]] static TNoteDeletion* Find(const TFmNote* note);

    // The server-deletion panel, made when the countdown first starts.
    QFrame* pnlDelAlert = nullptr;
    QLabel* lblDeleteAlert = nullptr;
    QLabel* lblCounter = nullptr;
    QFrame* bvlSeparator = nullptr;
    QPushButton* btnCopyNote = nullptr;
    QPushButton* btnCloseDelAlert = nullptr;

    QTimer* tmrHideAnimation;
    QTimer* tmrDelAlert;
    QTimer* tmrFlashDelAlert;

    // The window falls off the bottom of the screen, then closes.
    void StartHideAnimation();
    [[nodiscard]] bool Sliding() const { return FSliding; }
    // The note was deleted on the server: 30 seconds to copy its text.
    void StartCountdown();
    [[nodiscard]] bool CountingDown() const;
    void CenterDelAlert();

    // The seconds left to copy the text; the note has no menu once the countdown began.
    [[nodiscard]] int SecondsLeft() const { return FSecondsLeft; }
    [[nodiscard]] bool MenuRemoved() const { return FMenuRemoved; }

    // "Delete Note": asks, then deletes the row (or only empties the last one).
    static void DeleteNote(TFmNote* note);
    // "Hide on this PC": asks, then marks the row not shown here and closes the window.
    static void HideOnThisComputer(TFmNote* note);
    // The download removed rows the server no longer has: a note whose row is gone
    // starts its countdown.
    static void CheckExists(TFmNote* note);
    // The window goes for good (its row is gone or hidden).
    static void CloseNote(TFmNote* note);

    // One step of each timer.
    void tmrHideAnimationTimer();
    void tmrDelAlertTimer();
    void tmrFlashDelAlertTimer();
    void btnCopyNoteClick();
    void btnCloseDelAlertClick();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    explicit TNoteDeletion(TFmNote* note);
    void EnsurePanel();

    TFmNote* FNote;
    bool FSliding = false;
    bool FMenuRemoved = false;
    int FSecondsLeft = 30;
};
