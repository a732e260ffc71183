#pragma once
// What the note window's units share: palette lookups and the shell's objects as
// a note sees them through its context (null or empty in an empty context).

#include <QColor>
#include <QRegion>
#include <QString>

class NoteRepository;
class TLanguageObject;
struct TNoteContext;

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
[[nodiscard]] qint32 bodyColor(const TNoteContext& context, int i);
[[nodiscard]] qint32 titleColor(const TNoteContext& context, int i);
// Never null: an empty table while the context has none.
[[nodiscard]] const TLanguageObject* lang(const TNoteContext& context);
[[nodiscard]] NoteRepository* notes(const TNoteContext& context);
[[nodiscard]] QString blankHint(const TNoteContext& context);
[[nodiscard]] bool signedIn();
// A rectangle with 6×6 corner ellipses, stair-stepped: the only shaping that works
// without a compositor.
[[nodiscard]] QRegion roundRectRegion(const QRect& r);

} // namespace NoteSupport
