#pragma once
// Reading HTTP/1.1 requests from bytes: the head and chunked bodies. Strict
// where leniency would let a body be framed two ways (both a length and
// chunks, two different lengths, folded header lines).

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zsrv {

struct THttpHead {
    std::string Method;
    std::string Target;
    std::string Path; // decoded path of the target, without its query
    std::vector<std::pair<std::string, std::string>> Headers;
    std::size_t ContentLength = 0;
    bool Chunked = false;
    bool KeepAlive = true;
    bool ExpectContinue = false;
};

[[nodiscard]] bool EqualsNoCase(std::string_view a, std::string_view b);
// Whether a Content-Type value names one of the media types (parameters ignored).
[[nodiscard]] bool MediaTypeIn(std::string_view contentType, const std::vector<std::string>& types);

// Where the head in bytes ends (just past its blank line), or npos when it
// has not ended within the first maxBytes. A line end other than CRLF makes
// the head malformed (Malformed is set), as soon as it is seen: a proxy in
// front may have read the head's end elsewhere.
[[nodiscard]] std::size_t FindHeadEnd(std::string_view bytes, std::size_t maxBytes, bool& malformed);
// 0 when the head is a request this server can take, else the status to refuse it with.
[[nodiscard]] int ParseRequestHead(std::string_view head, THttpHead& out);

// Decodes a chunked body as its bytes arrive, consuming them from the input.
class TChunkedDecoder {
public:
    enum class TResult { NeedMore, Done, TooLarge, Malformed };
    TResult Feed(std::string& in, std::string& body, std::size_t maxBody, std::size_t maxTrailer);

private:
    enum class TState { Size, Data, DataEnd, Trailer, Done };
    TState FState = TState::Size;
    std::size_t FRemaining = 0;
    std::size_t FTrailerBytes = 0;
};

} // namespace zsrv
