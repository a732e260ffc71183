#include "shared/uUrlEncoding.h"

#include <array>
#include <cstring>

namespace {
// For every byte value its encoding: up to three characters, then their count.
constexpr std::array<std::array<char, 4>, 256> MakeUrlTable() {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::array<std::array<char, 4>, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        const bool keep = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
        if (b == ' ')
            t[b] = {'+', 0, 0, 1};
        else if (keep)
            t[b] = {static_cast<char>(b), 0, 0, 1};
        else
            t[b] = {'%', kHex[b >> 4], kHex[b & 15], 3};
    }
    return t;
}
constexpr std::array<std::array<char, 4>, 256> kUrlTable = MakeUrlTable();
// Every entry is stored whole, whatever its length, so the output keeps this
// much room beyond its end.
constexpr qsizetype kUrlSlack = 3;
} // namespace

QByteArray UrlEncodeBytes(const QByteArray& bytes) {
    // Sizing first lets the result be written in place, in one allocation.
    qsizetype length = 0;
    for (const char ch : bytes)
        length += kUrlTable[static_cast<unsigned char>(ch)][3];
    QByteArray out(length + kUrlSlack, Qt::Uninitialized);
    char* d = out.data();
    for (const char ch : bytes) {
        const std::array<char, 4>& e = kUrlTable[static_cast<unsigned char>(ch)];
        std::memcpy(d, e.data(), e.size());
        d += e[3];
    }
    out.resize(length);
    return out;
}

QString UrlEncode(const QByteArray& bytes) {
    return QString::fromLatin1(UrlEncodeBytes(bytes));
}

namespace {
int hexValue(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}
} // namespace

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '%' && i + 2 < text.size()) {
            const int hi = hexValue(text[i + 1]);
            const int lo = hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += (plusIsSpace && ch == '+') ? ' ' : ch;
    }
    return out;
}
