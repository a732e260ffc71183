#include "lang/uInterfaceLanguage.h"

#include <optional>

namespace {

std::optional<QLocale>& current() {
    static std::optional<QLocale> locale;
    return locale;
}

bool isChinese(const QString& language) {
    return language.compare(QLatin1String(InterfaceLanguage::kChinese), Qt::CaseInsensitive) == 0;
}

} // namespace

namespace InterfaceLanguage {

QStringList Shipped() {
    return {QLatin1String(kEnglish), QLatin1String(kChinese)};
}

QString NativeName(const QString& language) {
    return isChinese(language) ? QStringLiteral("中文") : QStringLiteral("English");
}

QString ForLocale(const QLocale& desktop) {
    return QLatin1String(desktop.language() == QLocale::Chinese ? kChinese : kEnglish);
}

QLocale LocaleFor(const QString& language, const QLocale& desktop) {
    const QLocale::Language wanted = isChinese(language) ? QLocale::Chinese : QLocale::English;
    if (desktop.language() == wanted)
        return desktop;
    return wanted == QLocale::Chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                      : QLocale(QLocale::English, QLocale::UnitedStates);
}

QString QtTranslationName(const QString& language) {
    return isChinese(language) ? QStringLiteral("qtbase_zh_CN") : QString();
}

QLocale Current() {
    return current().value_or(QLocale::system());
}

void SetCurrent(const QLocale& locale) {
    current() = locale;
}

void ResetCurrent() {
    current().reset();
}

} // namespace InterfaceLanguage
