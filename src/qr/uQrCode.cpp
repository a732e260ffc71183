#include "qr/uQrCode.h"

#include "platform/uAnsi.h"

#include <memory>
#include <qrencode.h>

namespace {
struct TQrDeleter {
    void operator()(QRcode* q) const { QRcode_free(q); }
};
} // namespace

QString AccountQrText(const QString& userId, const QString& userName, const QString& userPass) {
    QString text = QStringLiteral("USERID=") + userId + QStringLiteral("&USERNAME=") + userName +
                   QStringLiteral("&PASSWORD=") + userPass;
    text.remove(QStringLiteral("\r\n"));
    return text;
}

QByteArray AccountQrBytes(const QString& text) {
    try {
        return FromAnsiBytes(ToAnsiBytes(text)).toUtf8();
    } catch (const std::exception&) {
        return text.toUtf8();
    }
}

std::optional<TQrSymbol> EncodeQr(const QByteArray& bytes) {
    const std::unique_ptr<QRcode, TQrDeleter> code(
        QRcode_encodeString(bytes.constData(), 1, QR_ECLEVEL_L, QR_MODE_8, 1));
    if (!code || code->width <= 0)
        return std::nullopt;
    TQrSymbol symbol;
    symbol.Width = code->width;
    symbol.Dark.resize(qsizetype(code->width) * code->width);
    // Bit 0 of each byte marks a dark module; the other bits describe its role.
    for (qsizetype i = 0; i < symbol.Dark.size(); ++i)
        symbol.Dark[i] = char(code->data[i] & 1);
    return symbol;
}
