#pragma once
// What a note window, and the dialogs and alarm windows it opens, ask of the
// program around it: the store, the language table, the colour tables, the
// folders, the shared player and the few services of the shell. The shell
// builds the real one; a window made without one (as in tests) gets an empty
// context, whose lookups answer null or empty and whose services do nothing.

#include <QList>
#include <QPoint>
#include <QString>
#include <functional>
#include <memory>

class NoteRepository;
class QAbstractButton;
class QLabel;
class QProgressBar;
class TAudioPlayer;
class TFmNote;
class TNoteManager;
class TLanguageObject;
struct NoteRecord;

struct TNoteContext {
    // Lookups: each may answer null or empty before start-up and after shutdown.
    std::function<NoteRepository*()> Notes;
    std::function<const TLanguageObject*()> Language;
    std::function<const QList<qint32>*()> TitleColors;
    std::function<const QList<qint32>*()> BodyColors;
    // Both end with a separator.
    std::function<QString()> DataFolder;
    std::function<QString()> ProgramFolder;
    // The one player every note recording and alarm window plays on.
    std::function<TAudioPlayer*()> SharedPlayer;
    // The note windows of the program (a window joins them when it is made).
    std::function<TNoteManager*()> Windows;

    // Services of the shell.
    std::function<QPoint(int width, int height)> NewNotePos;
    std::function<void(TFmNote*)> AdoptNote;
    std::function<void(TFmNote*)> RefreshNote;
    std::function<bool(TFmNote*)> TryDock;
    std::function<void(TFmNote*)> DockedMoved;
    std::function<void(TFmNote*)> CheckExists;
    std::function<void(TFmNote*, int type, const QString& v1, const QString& v2, const QString& v3)>
        ApplyReminder;
    std::function<void(TFmNote*)> Tick;
    std::function<void(const QString& noteId)> DeleteOnServer;
    std::function<void()> DownloadAll;
    std::function<void()> Quit;
    // The shared player's progress follows these controls from now on (null for
    // those the window does not have); a button that showed the earlier
    // playback goes back to the play text.
    std::function<void(QProgressBar* bar, QLabel* image, QLabel* label, QAbstractButton* button)>
        FollowPlayback;
    // A note hidden on this computer is shown again from its stored row.
    std::function<void(const NoteRecord& row)> ShowNoteAgain;
    // The notes were shown on or hidden from the desktop by the user's option.
    std::function<void(bool shown)> NotesShownChanged;
    // No tray host shows the program's icon: the notes' menus carry its commands.
    std::function<bool()> TrayMissing;
};

using TNoteContextPtr = std::shared_ptr<const TNoteContext>;

// The context of a window made without one.
[[nodiscard]] const TNoteContextPtr& EmptyNoteContext();
// The given context, or the empty one for null.
[[nodiscard]] TNoteContextPtr OrEmpty(TNoteContextPtr context);

// What the context's lookups answer; without the lookup, an empty language
// table, null and empty folders.
[[nodiscard]] const TLanguageObject& LanguageOf(const TNoteContext& context);
[[nodiscard]] NoteRepository* NotesOf(const TNoteContext& context);
[[nodiscard]] QString DataFolderOf(const TNoteContext& context);
[[nodiscard]] QString ProgramFolderOf(const TNoteContext& context);
