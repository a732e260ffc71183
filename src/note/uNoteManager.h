#pragma once
// The note windows of one program: it makes them, knows each one until it is
// destroyed, finds them by note id and sends them numbered messages. Every window
// made with the manager's context joins its list on construction (also those a
// note makes itself, such as the preview of a docked note), so the list is the
// same set of windows the desktop shows titled as notes.

#include "note/uNoteContext.h"
#include "platform/uMessages.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

class QWidget;
class TFmNote;
struct NoteRecord;
struct TNoteItem;

class TNoteManager : public QObject {
    Q_OBJECT
public:
    // Windows are made with this context; whoever builds it lets its Windows
    // lookup answer this manager.
    explicit TNoteManager(TNoteContextPtr context, QObject* parent = nullptr);
    ~TNoteManager() override;

    TNoteManager(const TNoteManager&) = delete;
    TNoteManager& operator=(const TNoteManager&) = delete;

    // ---- making windows ----
    // A window of the context with nothing in it yet, hidden, and adopted.
    [[nodiscard]] TFmNote* Create();
    // A window showing one stored row; withDocking false brings it back undocked
    // at its stored place whatever the row says of an edge. Hidden, adopted.
    [[nodiscard]] TFmNote* Create(const NoteRecord& record, bool withDocking = true);
    // The windows of the shown notes at start-up (the first carries the
    // advertisement), on screen when show; returns how many were made.
    int CreateAll(const QList<NoteRecord>& rows, bool show);
    // A new empty note stored and shown at a free place; null when the store refused it.
    TFmNote* CreateNew(const QString& initText);
    // The window of a note the download brought that has none yet.
    TFmNote* CreateDownloaded(const TNoteItem& item);
    // Gives a window what one stored row says (see Create above for withDocking).
    void ApplyRecord(TFmNote* note, const NoteRecord& record, bool withDocking = true) const;

    // ---- the list ----
    // Puts a window on the list; a note window made with the manager's context
    // calls it from its constructor. Any other window put there hears the
    // broadcasts too, but is neither listed nor found. A window leaves the list
    // when it is destroyed.
    void Register(QWidget* window);
    // Routes the window's commands to CommandRequested.
    void Adopt(TFmNote* note);
    // Every window, previews included, oldest first.
    [[nodiscard]] QList<TFmNote*> Windows() const;
    // The window of this note (never a preview), or null.
    [[nodiscard]] TFmNote* Find(const QString& noteId) const;
    // Sends the message to each window but except in turn, synchronously. A
    // handler may close or make windows: the ones present at the start are
    // addressed, those gone by their turn skipped.
    void Broadcast(int msg, WPARAM wParam = 0, LPARAM lParam = 0, const QObject* except = nullptr) const;

    // Takes a window off the desktop without touching its note: it hides,
    // saves its look and place, and goes.
    void Dismiss(TFmNote* note) const;

    // ---- all at once ----
    // Session end: every note saves, in one batch where the store allows.
    void SaveAll() const;
    // Shutdown: every window hides and saves its look and place, in one batch.
    void HideAndSaveAll() const;

    // ---- placement ----
    // The first free place for a new note (the column nearest the right edge first).
    [[nodiscard]] QPoint NewNotePos(int width, int height) const;
    // Where an undocked note built from a stored place and size goes: at least as
    // large as a note can be, and placed as a new note when no size is stored.
    [[nodiscard]] QRect UndockedGeometry(const QRect& stored) const;

signals:
    // An adopted window asked for a command whose window lives elsewhere.
    void CommandRequested(const QString& action, TFmNote* note);

private:
    void Forget(QObject* window);
    // The windows a broadcast addresses now.
    [[nodiscard]] QList<QPointer<QWidget>> Targets() const;

    TNoteContextPtr FContext;
    // Raw pointers: an entry leaves at destroyed(), and is read only through
    // qobject_cast, which a window half-way through its destruction fails.
    QList<QObject*> FWindows;
};

// The manager a window's context answers, or null (a window made without one).
[[nodiscard]] TNoteManager* NoteWindows(const TNoteContext& context);
