#include "shared/uEmail.h"

#include <algorithm>

bool IsValidEmail(const QString& text) {
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    if (at < 0)
        return false;
    if (text.contains(QLatin1String("..")))
        return false;
    const QStringView local = QStringView(text).left(at);
    const QStringView domain = QStringView(text).mid(at + 1);
    if (local.isEmpty())
        return false;
    if (domain.size() < 4)
        return false;
    const qsizetype dot = domain.indexOf(QLatin1Char('.'));
    if (dot < 0 || dot + 1 > domain.size() - 2)
        return false;
    auto allowed = [](QChar ch) {
        const char16_t c = ch.unicode();
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '.' || c == '_';
    };
    return std::all_of(local.begin(), local.end(), allowed) &&
           std::all_of(domain.begin(), domain.end(), allowed);
}
