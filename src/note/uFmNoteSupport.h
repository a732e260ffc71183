#pragma once
// What the note window's units share: palette lookups and the shell's objects as
// a note sees them (null or empty while no main window exists, as in tests).

#include <QColor>
#include <QRegion>
#include <QString>

class NoteRepository;
class TLanguageObject;

namespace NoteSupport {

struct TPaletteEntry {
    const char* Text;
    const char* English;
    const char* Chinese;
};
[[nodiscard]] const TPaletteEntry& PaletteEntry(int index);

// 0x00BBGGRR -> QColor.
[[nodiscard]] QColor colorOf(qint32 c);
// A damaged row or a server may carry any number; the palette has seven entries.
[[nodiscard]] int safeIndex(int i);
[[nodiscard]] qint32 bodyColor(int i);
[[nodiscard]] qint32 titleColor(int i);
[[nodiscard]] const TLanguageObject* lang();
[[nodiscard]] NoteRepository* notes();
[[nodiscard]] QString blankHint();
[[nodiscard]] bool signedIn();
// A rectangle with 6×6 corner ellipses, stair-stepped: the only shaping that works
// without a compositor.
[[nodiscard]] QRegion roundRectRegion(const QRect& r);

} // namespace NoteSupport
