#include "shared/uPushPacket.h"

#include <algorithm>
#include <cstring>

namespace push {

namespace {

std::int32_t readInt(const std::uint8_t* p) {
    const std::uint32_t v = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                            (std::uint32_t(p[3]) << 24);
    return static_cast<std::int32_t>(v);
}

void writeInt(std::string& out, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    out[at + 2] = static_cast<char>((v >> 16) & 0xFF);
    out[at + 3] = static_cast<char>((v >> 24) & 0xFF);
}

// Writes a text cut to its field and returns the length kept.
std::int32_t writeText(std::string& out, std::size_t at, std::size_t width, std::string_view text) {
    const std::size_t n = std::min(width, text.size());
    if (n > 0) // an empty view may hold no pointer at all
        std::memcpy(out.data() + at, text.data(), n);
    return static_cast<std::int32_t>(n);
}

std::optional<std::string> readText(const std::uint8_t* field, std::size_t width, std::int32_t length) {
    if (length < 0 || static_cast<std::size_t>(length) > width)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(field), static_cast<std::size_t>(length));
}

enum class TProbe { NeedMore, Garbage, Sized };

// Judges the start of a packet from as many bytes as are there: the pass value
// after 4 bytes, the command after 12, the device id length after 32.
TProbe probe(const std::uint8_t* p, std::size_t avail, std::size_t& size) {
    if (avail >= 4 && readInt(p) != kCommandPass)
        return TProbe::Garbage;
    if (avail < 12)
        return TProbe::NeedMore;
    const auto body = BodySize(readInt(p + 8));
    if (!body)
        return TProbe::Garbage;
    if (avail >= 32) {
        const std::int32_t idLen = readInt(p + 28);
        if (idLen < 0 || static_cast<std::size_t>(idLen) > kDeviceIdSize)
            return TProbe::Garbage;
    }
    size = kHeaderSize + *body;
    return TProbe::Sized;
}

} // namespace

std::optional<std::size_t> BodySize(std::int32_t command) {
    switch (command) {
    case CMD_LOGIN:
        return kLoginBodySize;
    case CMD_NOTECHANGED:
        return kNoteChangedBodySize;
    case CMD_KEEPALIVE:
        return kKeepAliveBodySize;
    case CMD_LOGOUT:
        return kLogoutBodySize;
    default:
        return std::nullopt;
    }
}

std::string TDataHeader::deviceId() const {
    const auto n = static_cast<std::size_t>(std::clamp<std::int32_t>(DeviceidLen, 0, kDeviceIdSize));
    return std::string(DeviceID.data(), n);
}

void TDataHeader::setDeviceId(std::string_view id) {
    DeviceID.fill(0);
    const std::size_t n = std::min(id.size(), kDeviceIdSize);
    if (n > 0)
        std::memcpy(DeviceID.data(), id.data(), n);
    DeviceidLen = static_cast<std::int32_t>(n);
}

std::string EncodeHeader(const TDataHeader& h) {
    std::string out(kHeaderSize, '\0');
    writeInt(out, 0, h.CommandPass);
    writeInt(out, 4, h.APIVersion);
    writeInt(out, 8, h.Command);
    writeInt(out, 12, h.PackNo);
    writeInt(out, 16, h.int1);
    writeInt(out, 20, h.int2);
    writeInt(out, 24, h.DeviceType);
    writeInt(out, 28, h.DeviceidLen);
    std::memcpy(out.data() + 32, h.DeviceID.data(), kDeviceIdSize);
    return out;
}

std::string EncodePacket(std::int32_t command, std::string_view deviceId, std::string_view body) {
    TDataHeader h;
    h.Command = command;
    h.setDeviceId(deviceId);
    std::string out = EncodeHeader(h);
    out.append(body);
    return out;
}

std::string EncodeLogin(std::string_view deviceId, const TLoginBody& b) {
    std::string body(kLoginBodySize, '\0');
    writeInt(body, 0, b.UserId);
    writeInt(body, 4, writeText(body, 12, kLoginTextSize, b.UserName));
    writeInt(body, 8, writeText(body, 112, kLoginTextSize, b.Password));
    return EncodePacket(CMD_LOGIN, deviceId, body);
}

std::string EncodeNoteChanged(std::string_view deviceId, const TNoteChangedBody& b) {
    std::string body(kNoteChangedBodySize, '\0');
    writeInt(body, 0, b.UserId);
    writeInt(body, 4, writeText(body, 8, kNoteIdSize, b.NoteId));
    return EncodePacket(CMD_NOTECHANGED, deviceId, body);
}

std::string EncodeKeepAlive(std::string_view deviceId, const TKeepAliveBody& b) {
    std::string body(kKeepAliveBodySize, '\0');
    writeInt(body, 0, b.Value);
    writeInt(body, 4, b.Random);
    return EncodePacket(CMD_KEEPALIVE, deviceId, body);
}

std::string EncodeLogout(std::string_view deviceId, const TLogoutBody& b) {
    std::string body(kLogoutBodySize, '\0');
    writeInt(body, 0, b.UserId);
    writeInt(body, 4, b.Reserved);
    writeInt(body, 8, b.Reason);
    return EncodePacket(CMD_LOGOUT, deviceId, body);
}

TDataHeader DecodeHeader(std::span<const std::uint8_t> bytes) {
    TDataHeader h;
    if (bytes.size() < kHeaderSize)
        return h;
    const std::uint8_t* p = bytes.data();
    h.CommandPass = readInt(p);
    h.APIVersion = readInt(p + 4);
    h.Command = readInt(p + 8);
    h.PackNo = readInt(p + 12);
    h.int1 = readInt(p + 16);
    h.int2 = readInt(p + 20);
    h.DeviceType = readInt(p + 24);
    h.DeviceidLen = readInt(p + 28);
    std::memcpy(h.DeviceID.data(), p + 32, kDeviceIdSize);
    return h;
}

std::optional<TLoginBody> DecodeLogin(std::span<const std::uint8_t> body) {
    if (body.size() != kLoginBodySize)
        return std::nullopt;
    const std::uint8_t* p = body.data();
    auto name = readText(p + 12, kLoginTextSize, readInt(p + 4));
    auto pass = readText(p + 112, kLoginTextSize, readInt(p + 8));
    if (!name || !pass)
        return std::nullopt;
    return TLoginBody{readInt(p), std::move(*name), std::move(*pass)};
}

std::optional<TNoteChangedBody> DecodeNoteChanged(std::span<const std::uint8_t> body) {
    if (body.size() != kNoteChangedBodySize)
        return std::nullopt;
    const std::uint8_t* p = body.data();
    auto id = readText(p + 8, kNoteIdSize, readInt(p + 4));
    if (!id)
        return std::nullopt;
    return TNoteChangedBody{readInt(p), std::move(*id)};
}

std::optional<TKeepAliveBody> DecodeKeepAlive(std::span<const std::uint8_t> body) {
    if (body.size() != kKeepAliveBodySize)
        return std::nullopt;
    return TKeepAliveBody{readInt(body.data()), readInt(body.data() + 4)};
}

std::optional<TLogoutBody> DecodeLogout(std::span<const std::uint8_t> body) {
    if (body.size() != kLogoutBodySize)
        return std::nullopt;
    return TLogoutBody{readInt(body.data()), readInt(body.data() + 4), readInt(body.data() + 8)};
}

TPushStreamReader::TStatus TPushStreamReader::Feed(std::span<const std::uint8_t> data,
                                                   const TOnPacket& onPacket) {
    if (FBroken)
        return TStatus::Garbage;
    const auto emit = [&](const std::uint8_t* p, std::size_t size) {
        onPacket(TPacketView{DecodeHeader({p, kHeaderSize}), {p + kHeaderSize, size - kHeaderSize}});
    };
    const auto fail = [&] {
        FBroken = true;
        FBuf.reset();
        FLen = 0;
        return TStatus::Garbage;
    };

    // Finish the packet held back from an earlier read.
    while (FLen > 0) {
        std::size_t size = 0;
        const TProbe pr = probe(FBuf.get(), FLen, size);
        if (pr == TProbe::Garbage)
            return fail();
        const std::size_t want = pr == TProbe::Sized ? size : 12;
        if (FLen == want && pr == TProbe::Sized) {
            emit(FBuf.get(), size);
            FBuf.reset();
            FLen = 0;
            break;
        }
        if (data.empty())
            return TStatus::Ok;
        const std::size_t take = std::min(want - FLen, data.size());
        std::memcpy(FBuf.get() + FLen, data.data(), take);
        FLen += take;
        data = data.subspan(take);
    }

    // Whole packets straight from the caller's bytes; keep only a trailing piece.
    while (!data.empty()) {
        std::size_t size = 0;
        const TProbe pr = probe(data.data(), data.size(), size);
        if (pr == TProbe::Garbage)
            return fail();
        if (pr == TProbe::NeedMore || data.size() < size) {
            FBuf = std::make_unique<std::uint8_t[]>(kMaxPacketSize);
            std::memcpy(FBuf.get(), data.data(), data.size());
            FLen = data.size();
            return TStatus::Ok;
        }
        emit(data.data(), size);
        data = data.subspan(size);
    }
    return TStatus::Ok;
}

} // namespace push
