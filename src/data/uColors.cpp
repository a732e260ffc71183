#include "data/uColors.h"

#include <algorithm>
#include <stdexcept>

qint32 HexToColor(const QString& text) {
    if (text.size() != 6)
        throw std::invalid_argument("a colour needs six hexadecimal digits");
    auto digit = [](QChar ch) {
        const char16_t c = ch.unicode();
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw std::invalid_argument("a colour needs six hexadecimal digits");
    };
    auto byte = [&](int i) { return digit(text[i]) * 16 + digit(text[i + 1]); };
    return byte(0) + byte(2) * 0x100 + byte(4) * 0x10000;
}

qint32 LightenColor(qint32 color, int amount) {
    qint32 result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int b = std::clamp(((color >> shift) & 0xFF) + amount, 0, 255);
        result |= b << shift;
    }
    return result;
}
