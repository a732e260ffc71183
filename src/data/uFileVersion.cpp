#include "data/uFileVersion.h"

#include "data/uVersionMarker.h"

#include <QFile>

#include <array>
#include <cstring>

namespace {

// The marker's magic bytes, each XOR-ed with the mask below. The mask is read
// through a volatile so the compiler cannot fold the pattern back into literal
// bytes: the true pattern then exists in a file only inside the marker.
constexpr unsigned char kStartMasked[TVersionMarker::kStartSize] = {
    0x2C, 0xFF, 0xF0, 0xF3, 0xEA, 0x88, 0xF3, 0xE0, 0xF7, 0xF6, 0xEC, 0xEA, 0xEB, 0xA8, 0xAF, 0xBF};
constexpr unsigned char kEndMasked[TVersionMarker::kEndSize] = {0xBF, 0xE0, 0xEB, 0xE1,
                                                                0x88, 0xFF, 0xF3, 0x2C};
const volatile unsigned char gMarkerMask = 0xA5;

template <size_t N> std::array<unsigned char, N> Unmask(const unsigned char (&masked)[N]) {
    std::array<unsigned char, N> out{};
    const unsigned char mask = gMarkerMask;
    for (size_t i = 0; i < N; ++i)
        out[i] = static_cast<unsigned char>(masked[i] ^ mask);
    return out;
}

QString VersionText(const unsigned char* parts) {
    auto part = [parts](int i) { return QString::number(parts[2 * i] | (parts[2 * i + 1] << 8)); };
    return part(0) + QLatin1Char('.') + part(1) + QLatin1Char('.') + part(2) + QLatin1Char('.') + part(3);
}

} // namespace

QString GetFileVersionText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return {};
    const uchar* data = file.map(0, file.size());
    if (!data)
        return {};
    const auto size = static_cast<size_t>(file.size());
    const auto start = Unmask(kStartMasked);
    const auto end = Unmask(kEndMasked);

    bool found = false;
    size_t from = 0;
    while (from < size) {
        const void* hit = memmem(data + from, size - from, start.data(), start.size());
        if (!hit)
            break;
        found = true;
        const size_t at = static_cast<size_t>(static_cast<const uchar*>(hit) - data);
        const size_t parts = at + TVersionMarker::kStartSize;
        const size_t tail = parts + TVersionMarker::kPartsSize;
        if (tail + TVersionMarker::kEndSize <= size && std::memcmp(data + tail, end.data(), end.size()) == 0)
            return VersionText(data + parts);
        from = at + 1;
    }
    return found ? QStringLiteral("-1") : QString();
}

QString GetAppVersion() {
    return VersionText(zuvo_version_marker.Parts);
}
