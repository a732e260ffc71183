// Fuzz target: the push stream reader fed in pieces whose sizes the input
// chooses, and the body readers of every packet that comes out.

#include "shared/uPushPacket.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses how the stream is cut.
    const std::size_t step = 1 + data[0] % 97;
    push::TPushStreamReader reader;
    std::size_t packets = 0;
    for (std::size_t at = 1; at < size; at += step) {
        const std::size_t n = std::min(step, size - at);
        const auto status = reader.Feed({data + at, n}, [&](const push::TPacketView& p) {
            ++packets;
            const auto expected = push::BodySize(p.Header.Command);
            if (!expected || *expected != p.Body.size() || p.Header.CommandPass != push::kCommandPass)
                std::abort();
            switch (p.Header.Command) {
            case push::CMD_LOGIN:
                (void)push::DecodeLogin(p.Body);
                break;
            case push::CMD_NOTECHANGED:
                (void)push::DecodeNoteChanged(p.Body);
                break;
            case push::CMD_KEEPALIVE:
                (void)push::DecodeKeepAlive(p.Body);
                break;
            default:
                (void)push::DecodeLogout(p.Body);
            }
            if (p.Header.deviceId().size() > push::kDeviceIdSize)
                std::abort();
        });
        if (reader.pending() > push::kMaxPacketSize)
            std::abort();
        if (status == push::TPushStreamReader::TStatus::Garbage) {
            if (!reader.broken() || reader.pending() != 0)
                std::abort();
            break;
        }
    }
    (void)packets;
    return 0;
}
