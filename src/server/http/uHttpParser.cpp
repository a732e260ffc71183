#include "server/http/uHttpParser.h"

#include "shared/uUrlEncoding.h"

#include <algorithm>
#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <charconv>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>

namespace zsrv {

namespace http = boost::beast::http;
using TErrorCode = boost::beast::error_code;

namespace {

constexpr std::size_t kMaxHeaders = 100;
constexpr std::size_t kMaxChunkLine = 1024;
constexpr std::size_t kMaxTarget = 8192;
// A chunk size of more hex digits than this does not fit 64 bits.
constexpr std::size_t kMaxChunkSizeDigits = 16;

char lower(char ch) {
    return ch >= 'A' && ch <= 'Z' ? char(ch + 32) : ch;
}

std::string_view view(boost::beast::string_view s) {
    return {s.data(), s.size()};
}

bool isTokenChar(char ch) {
    const auto b = static_cast<unsigned char>(ch);
    if (b <= 32 || b >= 127)
        return false;
    return std::string_view("\"(),/:;<=>?@[\\]{}").find(ch) == std::string_view::npos;
}

std::string_view trimOws(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Field values: visible characters, spaces, tabs and bytes above ASCII; no
// other control byte.
bool isFieldValue(std::string_view value) {
    for (const char ch : value) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b < 0x20 && ch != '\t') || b == 0x7F)
            return false;
    }
    return true;
}

bool isToken(std::string_view s) {
    if (s.empty())
        return false;
    for (const char ch : s)
        if (!isTokenChar(ch))
            return false;
    return true;
}

// A field line of a trailer: "name: value", nothing folded.
bool isFieldLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    return colon != std::string_view::npos && isToken(line.substr(0, colon)) &&
           isFieldValue(line.substr(colon + 1));
}

// What may follow a chunk's size: extensions as ;name or ;name=value, the
// value a token or a quoted string, with no white space anywhere (the parser
// allows it around the names, where a proxy in front may not).
bool isChunkExtensions(std::string_view ext) {
    while (!ext.empty()) {
        if (ext.front() != ';')
            return false;
        ext.remove_prefix(1);
        std::size_t n = 0;
        while (n < ext.size() && isTokenChar(ext[n]))
            ++n;
        if (n == 0)
            return false;
        ext.remove_prefix(n);
        if (ext.empty() || ext.front() != '=')
            continue;
        ext.remove_prefix(1);
        if (!ext.empty() && ext.front() == '"') {
            std::size_t i = 1;
            for (; i < ext.size() && ext[i] != '"'; ++i) {
                const auto b = static_cast<unsigned char>(ext[i]);
                if (ext[i] == '\\')
                    ++i;
                else if ((b < 0x20 && ext[i] != '\t') || b == 0x7F)
                    return false;
            }
            if (i >= ext.size())
                return false;
            ext.remove_prefix(i + 1);
        } else {
            n = 0;
            while (n < ext.size() && isTokenChar(ext[n]))
                ++n;
            if (n == 0)
                return false;
            ext.remove_prefix(n);
        }
    }
    return true;
}

bool hasToken(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (EqualsNoCase(trimOws(list.substr(0, comma)), token))
            return true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

// Where the head in bytes ends (just past its blank line), or npos when it
// has not ended within the first maxBytes. The parser waits for CRLF CRLF
// and would take a head with other line ends for one not yet whole: such a
// line end makes the head malformed (Malformed is set) as soon as it is seen,
// since a proxy in front may have read the head's end elsewhere.
std::size_t findHeadEnd(std::string_view bytes, std::size_t maxBytes, bool& malformed) {
    const std::string_view window = bytes.substr(0, maxBytes);
    malformed = false;
    for (std::size_t at = 0; at < window.size(); ++at) {
        const char ch = window[at];
        if (ch == '\n' && (at == 0 || window[at - 1] != '\r')) {
            malformed = true;
            return std::string_view::npos;
        }
        if (ch == '\r' && at + 1 < window.size() && window[at + 1] != '\n') {
            malformed = true;
            return std::string_view::npos;
        }
        if (ch == '\n' && at >= 3 && window.substr(at - 3, 4) == "\r\n\r\n")
            return at + 1;
    }
    return std::string_view::npos;
}

// A line of a head that is refused, where it starts, and the status.
struct TRefusedLine {
    std::size_t At = std::string_view::npos;
    int Status = 0;
};

// The field lines of a whole head where the parser is more lenient than a
// proxy in front may be: it unfolds folded lines, takes a list of equal
// numbers for a length, and reads chunks only when chunked is the last coding
// named (a body after "chunked, gzip" would be read as the next request).
// Lines are taken in order, as is what is refused for the server's own
// reasons (too many lines, an expectation it cannot meet), so that a head
// gets the status of its first fault.
TRefusedLine checkHeadLines(std::string_view head) {
    std::size_t at = head.find("\r\n") + 2;
    for (std::size_t fields = 1;; ++fields) {
        const std::size_t end = head.find("\r\n", at);
        const std::string_view line = head.substr(at, end - at);
        if (line.empty() || end == std::string_view::npos)
            return {};
        const std::size_t lineAt = at;
        at = end + 2;
        if (line[0] == ' ' || line[0] == '\t')
            return {lineAt, 400};
        if (fields > kMaxHeaders)
            return {lineAt, 431};
        const std::size_t colon = line.find(':');
        const std::string_view value = trimOws(line.substr(colon + 1));
        if (colon == std::string_view::npos || !isFieldValue(value))
            continue; // not a field: the parser refuses it
        const std::string_view name = line.substr(0, colon);
        if (EqualsNoCase(name, "Expect") && !EqualsNoCase(value, "100-continue")) {
            return {lineAt, 417};
        } else if (EqualsNoCase(name, "Content-Length")) {
            std::size_t n = 0;
            const auto r = std::from_chars(value.data(), value.data() + value.size(), n);
            if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size())
                return {lineAt, value.empty() || r.ec != std::errc::result_out_of_range ? 400 : 413};
        } else if (EqualsNoCase(name, "Transfer-Encoding") && !EqualsNoCase(value, "chunked")) {
            // Chunked alone is understood; any other coding would hide the body's size.
            return {lineAt, 501};
        }
    }
}

// 0 when the server reads a request target (a path, or a proxy's absolute
// form), else the status to refuse it with.
int targetStatus(std::string_view target) {
    if (target.size() > kMaxTarget)
        return 414;
    return target.empty() || (target[0] != '/' && target.find("://") == std::string_view::npos) ? 400 : 0;
}

// A request line the parser refused for its version: 505 for a version of
// HTTP this server does not speak after a method and a target it reads, 400
// (or the target's status) for anything else.
int versionStatus(std::string_view requestLine) {
    const std::size_t first = requestLine.find(' ');
    const std::size_t last = requestLine.rfind(' ');
    if (std::count(requestLine.begin(), requestLine.end(), ' ') != 2)
        return 400;
    if (const int status = targetStatus(requestLine.substr(first + 1, last - first - 1)))
        return status;
    const std::string_view version = requestLine.substr(last + 1);
    return version.rfind("HTTP/", 0) == 0 && version != "HTTP/1.0" && version != "HTTP/1.1" ? 505 : 400;
}

// The chunk framing the parser reads next (the CRLF that ends a chunk's data,
// a size line, or the last chunk and its trailer), checked before it does:
// lines end in CRLF and within their limits, a size line is hex digits and
// extensions without white space, trailer lines are fields. Lines not yet
// whole pass as far as they go. 0, or the status to refuse the body with.
int checkChunkFraming(std::string_view bytes, bool afterData, std::size_t maxTrailer) {
    if (afterData) {
        if (bytes.empty() || bytes == "\r")
            return 0;
        if (bytes.substr(0, 2) != "\r\n")
            return 400;
        bytes.remove_prefix(2);
    }
    std::size_t trailerBytes = 0;
    for (bool sizeLine = true;; sizeLine = false) {
        const std::size_t nl = bytes.find('\n');
        const std::string_view upTo = bytes.substr(0, nl);
        if (const std::size_t cr = upTo.find('\r'); cr != std::string_view::npos && cr + 1 < upTo.size())
            return 400;
        if (nl != std::string_view::npos && (nl == 0 || bytes[nl - 1] != '\r'))
            return 400;
        // The same limits whether a line has ended yet or not, so that where
        // the bytes were cut changes nothing.
        const std::size_t lineBytes = nl == std::string_view::npos ? bytes.size() : nl + 1;
        trailerBytes += sizeLine ? 0 : lineBytes;
        if (sizeLine ? lineBytes > kMaxChunkLine : trailerBytes > maxTrailer)
            return 400;
        if (nl == std::string_view::npos)
            return 0;
        const std::string_view line = bytes.substr(0, nl - 1);
        bytes.remove_prefix(nl + 1);
        if (sizeLine) {
            const std::size_t digits =
                std::min(line.find_first_not_of("0123456789abcdefABCDEF"), line.size());
            if (digits == 0 || !isChunkExtensions(line.substr(digits)))
                return 400;
            const std::size_t significant = line.substr(0, digits).find_first_not_of('0');
            if (significant == std::string_view::npos)
                continue; // the last chunk: its trailer follows
            return digits - significant > kMaxChunkSizeDigits ? 413 : 0;
        }
        if (line.empty())
            return 0;
        if (!isFieldLine(line))
            return 400;
    }
}

// A body that goes straight into the string the caller reads it into, so
// that its bytes count as soon as they have come.
struct TAppendBody {
    using value_type = std::string*;

    class reader {
    public:
        template <bool isRequest, class TFields>
        reader(http::header<isRequest, TFields>&, value_type& body) : FBody(body) {}

        void init(const boost::optional<std::uint64_t>&, TErrorCode& ec) { ec = {}; }
        template <class TBuffers> std::size_t put(const TBuffers& buffers, TErrorCode& ec) {
            std::size_t n = 0;
            for (const auto b : boost::beast::buffers_range_ref(buffers)) {
                FBody->append(static_cast<const char*>(b.data()), b.size());
                n += b.size();
            }
            ec = {};
            return n;
        }
        void finish(TErrorCode& ec) { ec = {}; }

    private:
        value_type& FBody;
    };
};

} // namespace

// The parser of one request and where it stands in a chunked body: whether
// the bytes it reads next are a chunk's data or framing, which is checked
// before it reads it.
class TRequestReader::TParser {
public:
    explicit TParser(std::size_t maxHeaderBytes) {
        // One step per call, so that each piece of chunk framing is checked
        // before the parser reads it.
        FParser.eager(false);
        FParser.header_limit(static_cast<std::uint32_t>(
            std::min<std::size_t>(maxHeaderBytes, std::numeric_limits<std::uint32_t>::max())));
        // The route, known once the head is read, sets the limit.
        FParser.body_limit(boost::none);
        FParser.get().body() = nullptr;
        FParser.on_chunk_header(FOnChunkHeader);
        FParser.on_chunk_body(FOnChunkBody);
    }
    TParser(const TParser&) = delete;
    TParser& operator=(const TParser&) = delete;

    [[nodiscard]] http::request_parser<TAppendBody>& parser() { return FParser; }
    // Bytes left of the chunk being read.
    [[nodiscard]] std::uint64_t chunkLeft() const { return FChunkLeft; }
    // Whether a chunk's data has ended, so that its CRLF comes next.
    [[nodiscard]] bool afterData() const { return FAfterData; }

private:
    http::request_parser<TAppendBody> FParser;
    std::uint64_t FChunkLeft = 0;
    bool FAfterData = false;
    std::function<void(std::uint64_t, boost::beast::string_view, TErrorCode&)> FOnChunkHeader =
        [this](std::uint64_t size, boost::beast::string_view, TErrorCode& ec) {
            FChunkLeft = size;
            FAfterData = false;
            ec = {};
        };
    std::function<std::size_t(std::uint64_t, boost::beast::string_view, TErrorCode&)> FOnChunkBody =
        [this](std::uint64_t remain, boost::beast::string_view data, TErrorCode& ec) {
            FParser.get().body()->append(data.data(), data.size());
            FChunkLeft = remain - data.size();
            FAfterData = FChunkLeft == 0;
            ec = {};
            return data.size();
        };
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool MediaTypeIn(std::string_view contentType, const std::vector<std::string>& types) {
    const std::string_view media = trimOws(contentType.substr(0, contentType.find(';')));
    for (const std::string& t : types)
        if (EqualsNoCase(media, t))
            return true;
    return false;
}

TRequestReader::TRequestReader(std::size_t maxHeaderBytes, std::size_t maxRequestLine)
    : FMaxHeaderBytes(maxHeaderBytes), FMaxRequestLine(maxRequestLine),
      FParser(std::make_unique<TParser>(maxHeaderBytes)) {}

TRequestReader::~TRequestReader() = default;
TRequestReader::TRequestReader(TRequestReader&&) noexcept = default;
TRequestReader& TRequestReader::operator=(TRequestReader&&) noexcept = default;

TRequestReader::TStep TRequestReader::failWith(int status) {
    FState = TState::Failed;
    FStatus = status;
    return TStep::Failed;
}

TRequestReader::TStep TRequestReader::Feed(std::string& in, std::string& body) {
    switch (FState) {
    case TState::Head:
        return readHead(in);
    case TState::HeadRead:
        return TStep::Head;
    case TState::Body:
        return readBody(in, body);
    case TState::Done:
        return TStep::Done;
    case TState::Failed:
        break;
    }
    return TStep::Failed;
}

TRequestReader::TStep TRequestReader::readHead(std::string& in) {
    if (!FStarted) {
        // Blank lines before a request line are allowed and skipped.
        std::size_t start = 0;
        while (start + 1 < in.size() && in[start] == '\r' && in[start + 1] == '\n')
            start += 2;
        in.erase(0, start);
        if (in.empty() || in == "\r")
            return TStep::NeedMore;
        FStarted = true;
    }
    // The request line ends at its first CR or LF (a lone one is refused below).
    const std::size_t lineEnd = in.find_first_of("\r\n");
    if ((lineEnd == std::string::npos ? in.size() : lineEnd) > FMaxRequestLine)
        return failWith(414);
    bool malformed = false;
    const std::size_t end = findHeadEnd(in, FMaxHeaderBytes, malformed);
    if (malformed)
        return failWith(400);
    if (end == std::string::npos)
        return in.size() > FMaxHeaderBytes ? failWith(431) : TStep::NeedMore;

    // The head is whole: the parser reads it, and it must find the same end.
    // A refusal is for the first line refused, by our checks or the parser's.
    const std::string_view head(in.data(), end);
    const TRefusedLine refused = checkHeadLines(head);
    http::request_parser<TAppendBody>& parser = FParser->parser();
    TErrorCode ec;
    std::size_t used = 0;
    try {
        used = parser.put(boost::asio::buffer(head.data(), head.size()), ec);
    } catch (const std::length_error&) {
        ec = http::error::header_limit; // a field longer than the parser can hold
    }
    const auto& message = parser.get();
    if (!message.target().empty()) {
        // The request line was read: it comes first.
        FHead.Method = std::string(view(message.method_string()));
        FHead.Target = std::string(view(message.target()));
        if (const int status = targetStatus(FHead.Target))
            return failWith(status);
    }
    // Where the parser stopped is the start of the line it refused.
    if (refused.Status != 0 && (!ec || refused.At <= used))
        return failWith(refused.Status);
    if (ec == http::error::bad_version)
        return failWith(versionStatus(head.substr(0, lineEnd)));
    if (ec)
        return failWith(ec == http::error::header_limit ? 431 : 400);
    if (used != head.size() || !parser.is_header_done())
        return failWith(400);
    in.erase(0, end);

    // A proxy's absolute form: keep the path.
    if (FHead.Target[0] != '/') {
        const std::size_t scheme = FHead.Target.find("://");
        const std::size_t slash = FHead.Target.find('/', scheme + 3);
        FHead.Target = slash == std::string::npos ? "/" : FHead.Target.substr(slash);
    }
    FHead.Path = PercentDecode(std::string_view(FHead.Target).substr(0, FHead.Target.find('?')), false);
    const bool http11 = message.version() == 11;
    FHead.KeepAlive = http11;
    for (const auto& field : message)
        FHead.Headers.emplace_back(view(field.name_string()), view(field.value()));
    int hosts = 0;
    for (const auto& [name, value] : FHead.Headers) {
        if (EqualsNoCase(name, "Host")) {
            ++hosts;
        } else if (EqualsNoCase(name, "Connection")) {
            if (hasToken(value, "close"))
                FHead.KeepAlive = false;
            else if (hasToken(value, "keep-alive"))
                FHead.KeepAlive = true;
        } else if (EqualsNoCase(name, "Expect")) {
            FHead.ExpectContinue = true;
        }
    }
    FHead.Chunked = parser.chunked();
    FHead.ContentLength = parser.content_length().value_or(0);
    // HTTP/1.1 names its host once; a 1.0 request may not, but not twice.
    // Chunks came with 1.1: a 1.0 request that claims them is framed in a way
    // an older proxy in front reads otherwise.
    if (hosts > 1 || (hosts == 0 && http11) || (FHead.Chunked && !http11)) {
        FHead.KeepAlive = false;
        return failWith(400);
    }
    FState = TState::HeadRead;
    return TStep::Head;
}

TRequestReader::TStep TRequestReader::readBody(std::string& in, std::string& body) {
    if (!FHead.Chunked && FHead.ContentLength > FMaxBody)
        return failWith(413);
    TParser& p = *FParser;
    p.parser().get().body() = &body;
    while (!p.parser().is_done()) {
        if (FHead.Chunked && p.chunkLeft() == 0) {
            if (const int status = checkChunkFraming(in, p.afterData(), FMaxHeaderBytes))
                return failWith(status);
        }
        if (in.empty())
            return TStep::NeedMore;
        TErrorCode ec;
        std::size_t used = 0;
        try {
            used = p.parser().put(boost::asio::buffer(in.data(), in.size()), ec);
        } catch (const std::length_error&) {
            return failWith(400); // a trailer field longer than the parser can hold
        }
        in.erase(0, used);
        if (ec == http::error::need_more || (!ec && used == 0))
            return TStep::NeedMore;
        if (ec)
            return failWith(ec == http::error::body_limit ? 413 : 400);
    }
    FState = TState::Done;
    return TStep::Done;
}

void TRequestReader::TakeBody(std::size_t maxBody) {
    if (FState != TState::HeadRead)
        return;
    FMaxBody = maxBody;
    FParser->parser().body_limit(std::uint64_t(maxBody));
    FState = TState::Body;
}

} // namespace zsrv
