#pragma once
// The percent encoding of the exchange: the program encodes its forms and
// upload bodies, the server decodes them.

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

// Form encoding: a space becomes "+", ASCII letters and digits stay, every other
// byte becomes "%XX" in upper-case hexadecimal.
[[nodiscard]] QByteArray UrlEncodeBytes(const QByteArray& bytes);
[[nodiscard]] QString UrlEncode(const QByteArray& bytes);

// Undoes %XX escapes; a "%" not followed by two hexadecimal digits stays as it
// is. With plusIsSpace a "+" becomes a blank (only the client's URL encoder
// writes blanks that way; its form encoder leaves "+" as a literal plus).
[[nodiscard]] std::string PercentDecode(std::string_view text, bool plusIsSpace);
