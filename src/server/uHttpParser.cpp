#include "server/uHttpParser.h"

#include "server/uWire.h"

#include <charconv>

namespace zsrv {

namespace {

constexpr std::size_t kMaxHeaders = 100;
constexpr std::size_t kMaxChunkLine = 1024;

char lower(char ch) {
    return ch >= 'A' && ch <= 'Z' ? char(ch + 32) : ch;
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

// Lines end in CRLF (the caller has made sure that no other line end occurs).
std::string_view nextLine(std::string_view& rest) {
    const std::size_t nl = rest.find("\r\n");
    std::string_view line = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 2);
    return line;
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
// value a token or a quoted string, with no white space anywhere.
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

} // namespace

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

std::size_t FindHeadEnd(std::string_view bytes, std::size_t maxBytes, bool& malformed) {
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

int ParseRequestHead(std::string_view head, THttpHead& out) {
    std::string_view rest = head;
    const std::string_view requestLine = nextLine(rest);
    const std::size_t sp1 = requestLine.find(' ');
    const std::size_t sp2 = requestLine.rfind(' ');
    if (sp1 == std::string_view::npos || sp1 == sp2)
        return 400;
    out.Method = std::string(requestLine.substr(0, sp1));
    out.Target = std::string(requestLine.substr(sp1 + 1, sp2 - sp1 - 1));
    const std::string_view version = requestLine.substr(sp2 + 1);
    if (out.Method.empty())
        return 400;
    for (const char ch : out.Method)
        if (!isTokenChar(ch))
            return 400;
    if (out.Target.empty() || out.Target.size() > 8192)
        return out.Target.empty() ? 400 : 414;
    for (const char ch : out.Target)
        if (static_cast<unsigned char>(ch) <= 32 || ch == 127)
            return 400;
    // A proxy's absolute form: keep the path.
    if (out.Target[0] != '/') {
        const std::size_t scheme = out.Target.find("://");
        if (scheme == std::string::npos)
            return 400;
        const std::size_t slash = out.Target.find('/', scheme + 3);
        out.Target = slash == std::string::npos ? "/" : out.Target.substr(slash);
    }
    if (version == "HTTP/1.1")
        out.KeepAlive = true;
    else if (version == "HTTP/1.0")
        out.KeepAlive = false;
    else
        return version.rfind("HTTP/", 0) == 0 ? 505 : 400;
    out.Path = PercentDecode(std::string_view(out.Target).substr(0, out.Target.find('?')), false);

    bool haveLength = false;
    int hosts = 0;
    while (!rest.empty()) {
        const std::string_view line = nextLine(rest);
        if (line.empty())
            break;
        if (line[0] == ' ' || line[0] == '\t')
            return 400; // folded lines are obsolete and ambiguous
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return 400;
        const std::string_view name = line.substr(0, colon);
        for (const char ch : name)
            if (!isTokenChar(ch))
                return 400;
        const std::string_view value = trimOws(line.substr(colon + 1));
        if (!isFieldValue(value))
            return 400;
        if (out.Headers.size() >= kMaxHeaders)
            return 431;
        out.Headers.emplace_back(std::string(name), std::string(value));
        if (EqualsNoCase(name, "Content-Length")) {
            std::size_t n = 0;
            const auto r = std::from_chars(value.data(), value.data() + value.size(), n);
            if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size())
                return value.empty() || r.ec != std::errc::result_out_of_range ? 400 : 413;
            if (haveLength && n != out.ContentLength)
                return 400;
            haveLength = true;
            out.ContentLength = n;
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            // Chunked alone is understood; any other coding would hide the body's size.
            if (!EqualsNoCase(value, "chunked"))
                return 501;
            if (out.Chunked)
                return 400;
            out.Chunked = true;
        } else if (EqualsNoCase(name, "Host")) {
            ++hosts;
        } else if (EqualsNoCase(name, "Connection")) {
            if (hasToken(value, "close"))
                out.KeepAlive = false;
            else if (hasToken(value, "keep-alive"))
                out.KeepAlive = true;
        } else if (EqualsNoCase(name, "Expect")) {
            if (!EqualsNoCase(value, "100-continue"))
                return 417;
            out.ExpectContinue = true;
        }
    }
    if (out.Chunked && haveLength)
        return 400;
    // HTTP/1.1 names its host once; a 1.0 request may not, but not twice.
    // Chunks came with 1.1: a 1.0 request that claims them is framed in a way
    // an older proxy in front reads otherwise.
    if (hosts > 1 || (hosts == 0 && version == "HTTP/1.1") || (out.Chunked && version == "HTTP/1.0")) {
        out.KeepAlive = false;
        return 400;
    }
    return 0;
}

TChunkedDecoder::TResult TChunkedDecoder::Feed(std::string& in, std::string& body, std::size_t maxBody,
                                               std::size_t maxTrailer) {
    std::size_t at = 0;
    TResult result = TResult::NeedMore;
    while (result == TResult::NeedMore) {
        const std::string_view rest = std::string_view(in).substr(at);
        if (FState == TState::Data) {
            if (rest.empty())
                break;
            const std::size_t take = std::min(rest.size(), FRemaining);
            body.append(rest.substr(0, take));
            at += take;
            FRemaining -= take;
            if (FRemaining == 0)
                FState = TState::DataEnd;
            continue;
        }
        const std::size_t nl = rest.find('\n');
        // Every line ends in CRLF; a CR or LF alone in a line is a malformed body.
        const std::string_view upTo = rest.substr(0, nl);
        if (const std::size_t cr = upTo.find('\r'); cr != std::string_view::npos && cr + 1 < upTo.size()) {
            result = TResult::Malformed;
            break;
        }
        if (nl != std::string_view::npos && (nl == 0 || rest[nl - 1] != '\r')) {
            result = TResult::Malformed;
            break;
        }
        // The same limits whether a line has ended yet or not, so that where
        // the bytes were cut changes nothing.
        const std::size_t lineBytes = nl == std::string_view::npos ? rest.size() : nl + 1;
        if (FState == TState::Trailer ? FTrailerBytes + lineBytes > maxTrailer : lineBytes > kMaxChunkLine) {
            result = TResult::Malformed;
            break;
        }
        if (nl == std::string_view::npos)
            break;
        const std::string_view line = rest.substr(0, nl - 1);
        at += nl + 1;
        switch (FState) {
        case TState::Size: {
            const std::string_view digits = line.substr(0, line.find(';'));
            std::size_t size = 0;
            const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
            if (digits.empty() ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos ||
                r.ptr != digits.data() + digits.size() || !isChunkExtensions(line.substr(digits.size())))
                result = TResult::Malformed;
            else if (r.ec != std::errc() || size > maxBody - std::min(maxBody, body.size()))
                result = TResult::TooLarge;
            else if (size == 0)
                FState = TState::Trailer;
            else {
                FRemaining = size;
                FState = TState::Data;
            }
            break;
        }
        case TState::DataEnd:
            if (!line.empty())
                result = TResult::Malformed;
            FState = TState::Size;
            break;
        case TState::Trailer:
            FTrailerBytes += line.size() + 2;
            if (!line.empty() && !isFieldLine(line))
                result = TResult::Malformed;
            else if (line.empty()) {
                FState = TState::Done;
                result = TResult::Done;
            }
            break;
        default:
            break;
        }
    }
    in.erase(0, at);
    return result;
}

TRequestReader::TStep TRequestReader::failWith(int status) {
    FState = TState::Failed;
    FStatus = status;
    return TStep::Failed;
}

TRequestReader::TStep TRequestReader::Feed(std::string& in, std::string& body) {
    switch (FState) {
    case TState::Head: {
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
        const std::size_t end = FindHeadEnd(in, FMaxHeaderBytes, malformed);
        if (malformed)
            return failWith(400);
        if (end == std::string::npos)
            return in.size() > FMaxHeaderBytes ? failWith(431) : TStep::NeedMore;
        const int status = ParseRequestHead(std::string_view(in).substr(0, end), FHead);
        in.erase(0, end);
        if (status != 0)
            return failWith(status);
        FState = TState::HeadRead;
        return TStep::Head;
    }
    case TState::HeadRead:
        return TStep::Head;
    case TState::Body:
        break;
    case TState::Done:
        return TStep::Done;
    case TState::Failed:
        return TStep::Failed;
    }
    if (FHead.Chunked) {
        switch (FChunks.Feed(in, body, FMaxBody, FMaxHeaderBytes)) {
        case TChunkedDecoder::TResult::TooLarge:
            return failWith(413);
        case TChunkedDecoder::TResult::Malformed:
            return failWith(400);
        case TChunkedDecoder::TResult::NeedMore:
            return TStep::NeedMore;
        case TChunkedDecoder::TResult::Done:
            break;
        }
    } else {
        if (FHead.ContentLength > FMaxBody)
            return failWith(413);
        const std::size_t take = std::min(in.size(), FHead.ContentLength - body.size());
        body.append(in, 0, take);
        in.erase(0, take);
        if (body.size() < FHead.ContentLength)
            return TStep::NeedMore;
    }
    FState = TState::Done;
    return TStep::Done;
}

void TRequestReader::TakeBody(std::size_t maxBody) {
    if (FState != TState::HeadRead)
        return;
    FMaxBody = maxBody;
    FState = TState::Body;
}

} // namespace zsrv
