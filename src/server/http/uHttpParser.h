#pragma once
// Reading HTTP/1.1 requests from bytes as they come. The framing (request
// line, fields, bodies by length or by chunks, where one request ends and the
// next begins) is Boost.Beast's parser's; around it, checks that refuse more
// than it does where leniency would let a proxy in front frame the bytes
// another way (line ends other than CRLF, folded lines, white space in chunk
// lines, a coding other than chunked, a second Host).

#include <cstddef>
#include <memory>
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

// One request read from bytes as they come: blank lines before it, its head,
// then its body by length or by chunks. The reader is the same whatever the
// pieces the bytes come in.
class TRequestReader {
public:
    enum class TStep { NeedMore, Head, Done, Failed };

    TRequestReader(std::size_t maxHeaderBytes, std::size_t maxRequestLine);
    ~TRequestReader();
    TRequestReader(TRequestReader&&) noexcept;
    TRequestReader& operator=(TRequestReader&&) noexcept;

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
    class TParser;

    TStep failWith(int status);
    TStep readHead(std::string& in);
    TStep readBody(std::string& in, std::string& body);

    std::size_t FMaxHeaderBytes;
    std::size_t FMaxRequestLine;
    std::size_t FMaxBody = 0;
    TState FState = TState::Head;
    bool FStarted = false;
    int FStatus = 0;
    THttpHead FHead;
    std::unique_ptr<TParser> FParser;
};

} // namespace zsrv
