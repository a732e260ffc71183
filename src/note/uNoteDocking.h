#pragma once
// Edge docking: a note dragged against the left, top or right screen edge shrinks
// to a coloured strip there; hovering the strip shows a read-only preview, a click
// restores the note, a drag slides the strip along its edge. The docked state and
// the strip's place live in the note's row, so strips come back at start-up.

#include <QPoint>
#include <QPointer>
#include <QRect>

class NoteRepository;
class TFmNote;

namespace NoteDocking {

inline constexpr int kEdgeLeft = 0;
inline constexpr int kEdgeTop = 1;
inline constexpr int kEdgeRight = 2;
inline constexpr int kStripThickness = 16;
inline constexpr int kStripLength = 60;
// The preview keeps this far from the screen edge: 2 pixels clear of the strip,
// so moving the mouse towards it leaves the strip and releases it.
inline constexpr int kPreviewGap = 18;
// A restored note is at least this wide.
inline constexpr int kRestoreMinWidth = 220;

// The full primary screen (docking is tested against it, not the work area).
[[nodiscard]] QRect ScreenRect();

// The strip of a note docked at edge whose top-left is wanted at topLeft: held on
// its edge, and wholly on the screen along it.
[[nodiscard]] QRect StripGeometry(int edge, QPoint topLeft);

// The preview's place next to a strip at this edge, for a preview of this size.
[[nodiscard]] QPoint PreviewPlace(int edge, const QRect& strip, QSize size);

} // namespace NoteDocking

// A note window's docking: it changes the note's docked state and strip place
// once the store has them, and owns what only a strip needs (where a press on it
// began, the preview shown while the mouse is over it).
class TNoteDocking {
public:
    explicit TNoteDocking(TFmNote& note);
    ~TNoteDocking();
    TNoteDocking(const TNoteDocking&) = delete;
    TNoteDocking& operator=(const TNoteDocking&) = delete;

    // Docks the note when it touches an edge (right, then left, then top); true when it
    // docked, or tried to and the store failed (reported). The row keeps the undocked
    // place stored before the drag.
    [[nodiscard]] bool DockAtEdge();
    // A press on the strip begins: a click or a drag.
    void PressStarted();
    // The end of a press on a strip: a click restores, a drag stores the new place.
    void DragEnded();
    // The strip was put elsewhere on its edge (a screen went away): the store takes
    // the new place; false when it failed, the strip then on screen all the same.
    bool StripMoved(NoteRepository& store);
    // Back from a strip to the note's stored place and size.
    void Restore();
    // The size a docked note has when restored.
    [[nodiscard]] QSize UndockedSize() const;

    // The mouse enters a strip: its preview shows.
    void MouseEntered();
    // The mouse leaves the strip, or takes it: the preview goes.
    void ReleasePreview();
    [[nodiscard]] TFmNote* Preview() const { return FPreview; }

    // "Hide Automatically": flips the shared setting for all notes.
    void ToggleAutoHide();

private:
    void BackToStoredStrip();

    TFmNote& FNote;
    // Where the strip was when the current press on it began.
    QPoint FPressStart;
    QPointer<TFmNote> FPreview;
};
