#pragma once
// The desktop's single-byte ("ANSI") code page and system language, derived
// from the POSIX locale. The locale is read from LC_ALL, then LC_CTYPE, then
// LANG (the first that is set and not empty), so a test can choose it through
// the environment.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// iconv name of the code page the desktop would use for the locale:
// zh_CN (and other Chinese) GBK, zh_TW/zh_HK/zh_MO BIG5, ja SHIFT_JIS, ko CP949,
// ru CP1251, anything else WINDOWS-1252.
[[nodiscard]] QString AnsiCodePageName();

// The text in the given code page; a character the code page lacks becomes "?".
// Throws std::invalid_argument when iconv does not know the code page.
[[nodiscard]] QByteArray ToAnsiBytes(const QString& text, const QString& codePage = AnsiCodePageName());

// Text from bytes in the given code page; a byte sequence the code page does
// not define becomes "?". Throws std::invalid_argument when iconv does not know
// the code page.
[[nodiscard]] QString FromAnsiBytes(const QByteArray& bytes, const QString& codePage = AnsiCodePageName());

// The desktop's language identifier of the locale (zh_CN 2052, en_US 1033,
// de_DE 1031 ...); a known language in an unlisted territory gives that
// language's main identifier; anything else 1033.
[[nodiscard]] quint16 GetSystemDefaultLangID();
