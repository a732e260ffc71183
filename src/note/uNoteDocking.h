#pragma once
// Edge docking: a note dragged against the left, top or right screen edge shrinks
// to a coloured strip there; hovering the strip shows a read-only preview, a click
// restores the note, a drag slides the strip along its edge. The docked state and
// the strip's place live in the note's row, so strips come back at start-up.

#include <QPoint>
#include <QRect>

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

// Docks the note when it touches an edge (right, then left, then top); true when it
// docked, or tried to and the store failed (reported). The row keeps the undocked
// place stored before the drag.
[[nodiscard]] bool IfHideNoteWindow(TFmNote* note);

// The end of a press on a strip: a click restores, a drag stores the new place.
void DockedDragEnded(TFmNote* note);

// Back from a strip to the note's stored place and size.
void Restore(TFmNote* note);
// The size a docked note has when restored.
[[nodiscard]] QSize UndockedSize(const TFmNote* note);

// The mouse enters a strip: its preview shows.
void MouseEntered(TFmNote* note);
// The mouse leaves the strip, or takes it: the preview goes.
void ReleasePreview(TFmNote* note);
// The preview's place next to a strip at this edge, for a preview of this size.
[[nodiscard]] QPoint PreviewPlace(int edge, const QRect& strip, QSize size);

// "Hide Automatically": flips the shared setting for all notes.
void actAutoHideExecute(TFmNote* note);

} // namespace NoteDocking
