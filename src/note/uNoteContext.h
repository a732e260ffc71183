#pragma once
// What a note window asks of the program around it: the store, the language
// table, the colour tables and the few services of the shell. The shell builds
// the real one; a window made without one (as in tests) gets an empty context,
// whose lookups answer null or empty and whose services do nothing.

#include <QList>
#include <QPoint>
#include <QString>
#include <functional>
#include <memory>

class NoteRepository;
class TFmNote;
class TLanguageObject;

struct TNoteContext {
    // Lookups: each may answer null or empty before start-up and after shutdown.
    std::function<NoteRepository*()> Notes;
    std::function<const TLanguageObject*()> Language;
    std::function<const QList<qint32>*()> TitleColors;
    std::function<const QList<qint32>*()> BodyColors;
    std::function<QString()> DataFolder;

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
};

using TNoteContextPtr = std::shared_ptr<const TNoteContext>;

// The context of a window made without one.
[[nodiscard]] const TNoteContextPtr& EmptyNoteContext();
