#pragma once
// MD5 as the exchange uses it: passwords are proven and voice files checked by
// the digest's 32 lower-case hexadecimal digits.

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

[[nodiscard]] std::string Md5HexOf(std::string_view bytes);
[[nodiscard]] QString Md5Hex(const QByteArray& bytes);
