#include "lang/uLanguageObject.h"

#include "shared/uIniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <array>

namespace {

#define ZUVO_LANGUAGE_COUNT(section, key, text) +1
constexpr std::size_t kKeyCount = 0 ZUVO_LANGUAGE_KEYS(ZUVO_LANGUAGE_COUNT);
#undef ZUVO_LANGUAGE_COUNT

QString lookupName(const QString& section, const QString& key) {
    // '=' and a line break cannot occur in a section or key name read from a file.
    return section.toLower() + QLatin1Char('\n') + key.toLower();
}

} // namespace

std::span<const TLanguageObject::TKey> TLanguageObject::Keys() {
#define ZUVO_LANGUAGE_ROW(section, key, text) TKey{#section, #key, text, &TLanguageObject::F##section##key},
    static constexpr std::array<TKey, kKeyCount> table{{ZUVO_LANGUAGE_KEYS(ZUVO_LANGUAGE_ROW)}};
#undef ZUVO_LANGUAGE_ROW
    return table;
}

int TLanguageObject::indexOf(const QString& section, const QString& key) {
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        const auto keys = Keys();
        for (int i = 0; i < int(keys.size()); ++i)
            h.insert(lookupName(QLatin1String(keys[i].Section), QLatin1String(keys[i].Key)), i);
        return h;
    }();
    return index.value(lookupName(section, key), -1);
}

bool TLanguageObject::LoadFromFile(const QString& FileName) {
    const QFileInfo info(FileName);
    if (!info.isFile() || !info.isReadable())
        return false;
    const TIniFile ini(FileName);
    LoadSettings(&ini);
    return true;
}

void TLanguageObject::LoadSettings(const TIniFile* Ini) {
    if (!Ini)
        return;
    for (const TKey& k : Keys())
        this->*k.Field =
            Ini->ReadString(QLatin1String(k.Section), QLatin1String(k.Key), QString::fromUtf8(k.Default));
}

QString TLanguageObject::Text(const QString& section, const QString& key) const {
    const int i = indexOf(section, key);
    return i < 0 ? QString() : this->*Keys()[i].Field;
}

QString TLanguageObject::DefaultText(const QString& section, const QString& key) {
    const int i = indexOf(section, key);
    return i < 0 ? QString() : QString::fromUtf8(Keys()[i].Default);
}

QString TLanguageObject::LanguageFilePath(const QString& programDir, const QString& language) {
    return QDir(programDir).filePath(QStringLiteral("languages/") + language + QStringLiteral(".lng"));
}

const TLanguageObject& LanguageOrEmpty(const TLanguageObject* language) {
    static const TLanguageObject empty;
    return language ? *language : empty;
}
