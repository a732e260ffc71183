#pragma once
// What the windows that play a note's recording share: the play and stop
// pictures, the texts of the current language, and starting or stopping the
// shell's one player with the controls it is to drive. The player and the
// folders come from the window's context.

#include <QPixmap>
#include <QString>

class QAbstractButton;
class QLabel;
class QProgressBar;
class QWidget;
class TAudioPlayer;
struct TNoteContext;

// The play and stop pictures of the audio controls (20 x 22).
[[nodiscard]] QPixmap AudioPlayPicture();
[[nodiscard]] QPixmap AudioStopPicture();

// The recording of an audio note: data folder + "audio/" + note id; empty for
// an id that would name a file outside that folder.
[[nodiscard]] QString AudioFilePath(const TNoteContext& context, const QString& noteId);

// Points the shared player's four controls at the given ones (null for those
// the starting window does not have, so no earlier window's control follows
// this playback) and opens the file in the shared player. A button that
// showed the earlier playback goes back to the play text.
// False when the context has no player or the file cannot be played.
bool StartSharedPlayback(const TNoteContext& context, const QString& path, QProgressBar* bar, QLabel* image,
                         QLabel* label, QAbstractButton* button);
void StopSharedPlayback(const TNoteContext& context);
// The shared player, or null when the context has none.
[[nodiscard]] TAudioPlayer* SharedPlayer(const TNoteContext& context);

// Sends WM_RESETAUDIOCTRL to every note window but `except` (null: to all),
// with `except` as lParam.
void ResetOtherAudioControls(const TNoteContext& context, QWidget* except);
