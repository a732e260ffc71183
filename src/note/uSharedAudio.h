#pragma once
// What the windows that play a note's recording share: the play and stop
// pictures, the texts of the current language, and starting or stopping the
// main window's one player with the controls it is to drive.

#include <QPixmap>
#include <QString>

class QAbstractButton;
class QLabel;
class QProgressBar;
class QWidget;
class TAudioPlayer;

// The play and stop pictures of the audio controls (20 x 22).
[[nodiscard]] QPixmap AudioPlayPicture();
[[nodiscard]] QPixmap AudioStopPicture();

// The program and data folders of the main window, ending with a separator;
// empty without a main window.
[[nodiscard]] QString CurrentProgramFolder();
[[nodiscard]] QString CurrentDataFolder();
// The recording of an audio note: data folder + "audio/" + note id.
[[nodiscard]] QString AudioFilePath(const QString& noteId);

// Points the main window's four references at the given controls (null for
// those the starting window does not have, so no earlier window's control
// follows this playback) and opens the file in the shared player. A button
// that showed the earlier playback goes back to the play text.
// False when there is no main window or the file cannot be played.
bool StartSharedPlayback(const QString& path, QProgressBar* bar, QLabel* image, QLabel* label,
                         QAbstractButton* button);
void StopSharedPlayback();
// The shared player, or null without a main window.
[[nodiscard]] TAudioPlayer* SharedPlayer();

// Sends WM_RESETAUDIOCTRL to every note window but `except` (null: to all),
// with `except` as lParam.
void ResetOtherAudioControls(QWidget* except);
