#include "shared/uNoteId.h"

#include <QDir>
#include <QFileInfo>

namespace {

char32_t code(char c) {
    return static_cast<unsigned char>(c);
}
char32_t code(QChar c) {
    return c.unicode();
}

bool isHex(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

template <typename Text> bool hasNoteIdShape(const Text& id) {
    if (qsizetype(id.size()) != kNoteIdLength)
        return false;
    for (qsizetype i = 0; i < kNoteIdLength; ++i) {
        const char32_t c = code(id[i]);
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? c != '-' : !isHex(c))
            return false;
    }
    return true;
}

} // namespace

bool IsNoteId(std::string_view id) {
    return hasNoteIdShape(id);
}

bool IsNoteId(const QString& id) {
    return hasNoteIdShape(id);
}

QString NoteFileIn(const QString& folder, const QString& id) {
    if (folder.isEmpty() || id.isEmpty() || id == QLatin1String(".") || id == QLatin1String("..") ||
        id.contains(QLatin1Char('/')) || id.contains(QLatin1Char('\\')) || id.contains(QChar(0)))
        return {};
    // What the name cleans up to is compared as well, should any other way out exist.
    const QString base = QDir::cleanPath(folder);
    const QString path = QDir::cleanPath(base + QLatin1Char('/') + id);
    if (QFileInfo(path).path() != base)
        return {};
    return path;
}
