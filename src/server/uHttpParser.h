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

// One request read from bytes as they come: blank lines before it, its head,
// then its body by length or by chunks. The reader is the same whatever the
// pieces the bytes come in.
class TRequestReader {
public:
    enum class TStep { NeedMore, Head, Done, Failed };

    TRequestReader(std::size_t maxHeaderBytes, std::size_t maxRequestLine)
        : FMaxHeaderBytes(maxHeaderBytes), FMaxRequestLine(maxRequestLine) {}

    // Takes what it can from in, the body's bytes into body. Head: the head
    // has been read (Head()); the caller calls TakeBody, or refuses the
    // request. Done: the body is whole (what follows stays in in). Failed:
    // the request is refused with Status() (Head() holds what was read).
    TStep Feed(std::string& in, std::string& body);
    void TakeBody(std::size_t maxBody);

    // Whether a byte of a request (not a blank line before it) has come.
    [[nodiscard]] bool Started() const { return FStarted; }
    [[nodiscard]] int Status() const { return FStatus; }
    [[nodiscard]] THttpHead& Head() { return FHead; }
    [[nodiscard]] bool HasBody() const { return FHead.Chunked || FHead.ContentLength > 0; }

private:
    enum class TState { Head, HeadRead, Body, Done, Failed };
    TStep failWith(int status);

    std::size_t FMaxHeaderBytes;
    std::size_t FMaxRequestLine;
    std::size_t FMaxBody = 0;
    TState FState = TState::Head;
    bool FStarted = false;
    int FStatus = 0;
    THttpHead FHead;
    TChunkedDecoder FChunks;
};

} // namespace zsrv
