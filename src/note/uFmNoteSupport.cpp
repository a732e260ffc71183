#include "note/uFmNoteSupport.h"

#include "data/uAppState.h"
#include "data/uColors.h"
#include "lang/uLanguageObject.h"
#include "note/uNoteContext.h"

#include <QPainterPath>

namespace NoteSupport {

const TPaletteEntry& PaletteEntry(int index) {
    static const TPaletteEntry palette[7] = {
        {"feea3e", "Yellow", "黄色"}, {"89efff", "Blue", "蓝色"}, {"9bb5fd", "Purple", "紫色"},
        {"83fd82", "Green", "绿色"},  {"fdb2b2", "Red", "红色"},  {"ffffff", "White", "白色"},
        {"dadada", "Gray", "灰色"},
    };
    return palette[safeIndex(index)];
}

QColor colorOf(qint32 c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int safeIndex(int i) {
    return i >= 0 && i < 7 ? i : 0;
}

namespace {

const QList<qint32>* table(const std::function<const QList<qint32>*()>& lookup) {
    const QList<qint32>* t = lookup ? lookup() : nullptr;
    return t && t->size() == 7 ? t : nullptr;
}

} // namespace

qint32 bodyColor(const TNoteContext& context, int i) {
    i = safeIndex(i);
    if (const QList<qint32>* t = table(context.BodyColors))
        return (*t)[i];
    return HexToColor(QString::fromLatin1(PaletteEntry(i).Text));
}

qint32 titleColor(const TNoteContext& context, int i) {
    i = safeIndex(i);
    if (const QList<qint32>* t = table(context.TitleColors))
        return (*t)[i];
    return HexToColor(QString::fromLatin1(PaletteEntry(i).Text));
}

const TLanguageObject* lang(const TNoteContext& context) {
    static const TLanguageObject empty;
    const TLanguageObject* l = context.Language ? context.Language() : nullptr;
    return l ? l : &empty;
}

NoteRepository* notes(const TNoteContext& context) {
    return context.Notes ? context.Notes() : nullptr;
}

QString blankHint(const TNoteContext& context) {
    return lang(context)->FmNoteblankNoteHint();
}

bool signedIn() {
    return !AppState().NoteOptions.FconfigUserID.isEmpty();
}

QRegion roundRectRegion(const QRect& r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(r), 3, 3);
    return QRegion(path.toFillPolygon().toPolygon());
}

} // namespace NoteSupport

const char* NotePaletteText(int index) {
    return NoteSupport::PaletteEntry(index).Text;
}

QString NotePaletteName(int index, bool chinese) {
    const NoteSupport::TPaletteEntry& e = NoteSupport::PaletteEntry(index);
    return QString::fromUtf8(chinese ? e.Chinese : e.English);
}
