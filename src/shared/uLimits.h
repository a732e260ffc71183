#pragma once
// Sizes both sides of the notes service agree on.

#include <cstdint>

namespace zuvo {

// The largest request body the server takes by default (max_body_bytes). A
// client that has not learnt the server's own limit sends upload parts of at
// most half of it, which leaves room for a server configured smaller.
inline constexpr std::int64_t kDefaultMaxBodyBytes = std::int64_t(8) << 20;

// What of a server's body limit a client fills with one upload request: the
// rest is room for the request's own framing.
[[nodiscard]] constexpr std::int64_t UploadPartBytes(std::int64_t serverLimit) {
    return serverLimit > 0 ? serverLimit - serverLimit / 16 : kDefaultMaxBodyBytes / 2;
}

} // namespace zuvo
