#pragma once
// The push channel's packets. Every packet is a 132-byte header (TDataHeader)
// followed by a body whose size is fixed by the command; nothing else frames it,
// so a reader of the byte stream must know every command's body size. All
// integers are signed 32-bit little-endian; texts are single-byte, zero-padded,
// with the number of bytes used in a length field beside them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace push {

inline constexpr std::int32_t kCommandPass = 502613;
inline constexpr std::int32_t kApiVersion = 1;
inline constexpr std::int32_t kDeviceTypeDesktop = 100;

inline constexpr std::int32_t CMD_LOGIN = 1;
inline constexpr std::int32_t CMD_NOTECHANGED = 10;
inline constexpr std::int32_t CMD_KEEPALIVE = 20;
inline constexpr std::int32_t CMD_LOGOUT = 30;

inline constexpr std::size_t kHeaderSize = 132;
inline constexpr std::size_t kDeviceIdSize = 100;
inline constexpr std::size_t kLoginBodySize = 212;
inline constexpr std::size_t kNoteChangedBodySize = 58;
inline constexpr std::size_t kKeepAliveBodySize = 8;
inline constexpr std::size_t kLogoutBodySize = 12;
inline constexpr std::size_t kLoginTextSize = 100;
inline constexpr std::size_t kNoteIdSize = 50;
inline constexpr std::size_t kMaxPacketSize = kHeaderSize + kLoginBodySize;

// Body size of a command, or nullopt for a command the channel does not know.
[[nodiscard]] std::optional<std::size_t> BodySize(std::int32_t command);

struct TDataHeader {
    std::int32_t CommandPass = kCommandPass;
    std::int32_t APIVersion = kApiVersion;
    std::int32_t Command = 0;
    std::int32_t PackNo = 0;
    std::int32_t int1 = 0;
    std::int32_t int2 = 0;
    std::int32_t DeviceType = kDeviceTypeDesktop;
    std::int32_t DeviceidLen = 0;
    std::array<char, kDeviceIdSize> DeviceID{};

    // The used part of DeviceID (DeviceidLen bytes, clamped to the field).
    [[nodiscard]] std::string deviceId() const;
    // Puts a text into DeviceID, cut to the field's width.
    void setDeviceId(std::string_view id);
};

struct TLoginBody {
    std::int32_t UserId = 0;
    std::string UserName;
    std::string Password;
};

struct TNoteChangedBody {
    std::int32_t UserId = 0;
    std::string NoteId;
};

struct TKeepAliveBody {
    std::int32_t Value = 0;
    std::int32_t Random = 0;
};

struct TLogoutBody {
    std::int32_t UserId = 0;
    std::int32_t Reserved = 0;
    std::int32_t Reason = 1;
};

// Writing. Texts longer than their field are cut to its width, and the length
// field says how much was kept.
[[nodiscard]] std::string EncodeHeader(const TDataHeader& header);
[[nodiscard]] std::string EncodePacket(std::int32_t command, std::string_view deviceId,
                                       std::string_view body);
[[nodiscard]] std::string EncodeLogin(std::string_view deviceId, const TLoginBody& body);
[[nodiscard]] std::string EncodeNoteChanged(std::string_view deviceId, const TNoteChangedBody& body);
[[nodiscard]] std::string EncodeKeepAlive(std::string_view deviceId, const TKeepAliveBody& body);
[[nodiscard]] std::string EncodeLogout(std::string_view deviceId, const TLogoutBody& body);

// Reading. The header reader takes at least kHeaderSize bytes; the body readers
// take exactly their command's body and refuse length fields outside their field.
[[nodiscard]] TDataHeader DecodeHeader(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::optional<TLoginBody> DecodeLogin(std::span<const std::uint8_t> body);
[[nodiscard]] std::optional<TNoteChangedBody> DecodeNoteChanged(std::span<const std::uint8_t> body);
[[nodiscard]] std::optional<TKeepAliveBody> DecodeKeepAlive(std::span<const std::uint8_t> body);
[[nodiscard]] std::optional<TLogoutBody> DecodeLogout(std::span<const std::uint8_t> body);

// One whole packet as the reader hands it out; Body points into memory that is
// valid only during the callback.
struct TPacketView {
    TDataHeader Header;
    std::span<const std::uint8_t> Body;
};

// Cuts a byte stream into packets: bytes may arrive split anywhere, and one
// read may hold several packets. A stream that stops looking like packets (wrong
// pass value, unknown command, device id length outside its field) is garbage;
// after that the reader takes nothing more, since there is no way to find the
// next packet boundary. It holds at most one incomplete packet, and holds no
// memory at all between whole packets.
class TPushStreamReader {
public:
    enum class TStatus { Ok, Garbage };
    using TOnPacket = std::function<void(const TPacketView&)>;

    TStatus Feed(std::span<const std::uint8_t> data, const TOnPacket& onPacket);

    [[nodiscard]] bool broken() const { return FBroken; }
    // Bytes of an incomplete packet held back for the next Feed.
    [[nodiscard]] std::size_t pending() const { return FLen; }

private:
    std::unique_ptr<std::uint8_t[]> FBuf;
    std::size_t FLen = 0;
    bool FBroken = false;
};

} // namespace push
