#pragma once
// Which language the interface speaks, and the locale its dates follow. The
// language files are named by language ("Chinese", "English"); the desktop
// tells its choice through its locale.

#include <QLocale>
#include <QString>
#include <QStringList>

namespace InterfaceLanguage {

inline constexpr const char* kChinese = "Chinese";
inline constexpr const char* kEnglish = "English";

// The languages the program ships a file for, in the order Options lists them.
[[nodiscard]] QStringList Shipped();
// The language's name in itself, as a list of languages shows it.
[[nodiscard]] QString NativeName(const QString& language);
// A first start speaks the desktop's language where a file exists for it:
// Chinese for any zh* locale, English otherwise.
[[nodiscard]] QString ForLocale(const QLocale& desktop);
// The locale dates and numbers follow: the desktop's own when it speaks the
// interface language (its regional formats), else that language's main region.
[[nodiscard]] QLocale LocaleFor(const QString& language, const QLocale& desktop);
// The base name of Qt's own translation for the language ("qtbase_zh_CN"),
// empty when Qt's texts are English already.
[[nodiscard]] QString QtTranslationName(const QString& language);

// The locale the running program shows dates in; the desktop's until the
// program has chosen its language.
[[nodiscard]] QLocale Current();
void SetCurrent(const QLocale& locale);
void ResetCurrent();

} // namespace InterfaceLanguage
