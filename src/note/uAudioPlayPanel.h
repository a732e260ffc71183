#pragma once
// The play control of an audio note (66 x 28, lower right corner of the note):
// a background picture, the play/stop icon, the caption and a 2-pixel progress
// bar. It only starts and stops the main window's shared player; the main
// window moves the bar and puts the control back to "Play" at the end.

#include "note/uNoteContext.h"

#include <QString>
#include <QWidget>

class QLabel;
class QProgressBar;

class TAudioPlayPanel : public QWidget {
    Q_OBJECT
public:
    // The context gives the texts and the shared player.
    explicit TAudioPlayPanel(QWidget* parent = nullptr, TNoteContextPtr context = {});

    // The note whose recording this control plays.
    QString NoteId;

    QLabel* imgPanelBackground;
    QLabel* imgAudioCtrl;
    QLabel* lblAudioCtrl;
    QProgressBar* ProgressBar1;

    // A click on the caption or the background: starts or stops playback.
    void Toggle();
    // WM_RESETAUDIOCTRL: back to the idle look, bar at 0; the player is not touched.
    void ResetAudioCtrl();
    // WM_UPDATELANGUAGE: the caption becomes the play text, even while playing.
    void UpdateLanguage();
    [[nodiscard]] bool ShowsStop() const;

protected:
    // A press on the icon is left to the note window, which starts a drag.
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    TNoteContextPtr FContext;
    bool FPressed = false;
};
