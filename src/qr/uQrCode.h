#pragma once
// The account's QR code: the text with which the mobile app signs in to the
// same account, and its symbol as a square of modules.

#include <QByteArray>
#include <QString>
#include <optional>

// "USERID=..&USERNAME=..&PASSWORD=.." (the password digest), without CR LF pairs.
[[nodiscard]] QString AccountQrText(const QString& userId, const QString& userName, const QString& userPass);
// The bytes the symbol carries: the text as the desktop's code page holds it
// (characters the code page lacks become "?"), in UTF-8.
[[nodiscard]] QByteArray AccountQrBytes(const QString& text);

struct TQrSymbol {
    int Width = 0;   // modules per side
    QByteArray Dark; // Width * Width entries, row by row; non-zero is a dark module
    [[nodiscard]] bool IsDark(int x, int y) const { return Dark.at(y * Width + x) != 0; }
};
// Version 1 or the smallest that holds the bytes, level L, 8-bit mode; empty
// when the bytes do not fit any symbol.
[[nodiscard]] std::optional<TQrSymbol> EncodeQr(const QByteArray& bytes);
