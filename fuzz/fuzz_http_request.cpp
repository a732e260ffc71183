// Fuzz target: the request reader fed a stream of requests cut at points the
// input chooses, against the same stream fed whole. Where the bytes are cut
// must change nothing: not the heads read, not the bodies, not the refusal.

#include "server/http/uHttpParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxHeader = 2048;
constexpr std::size_t kMaxLine = 512;

// What reading a stream came to: each request's head and body, then how it ended.
struct TOutcome {
    std::vector<std::string> Requests;
    int Status = 0; // of the refusal; 0: the stream ran out (or every request was whole)

    bool operator==(const TOutcome&) const = default;
};

class TStreamReader {
public:
    explicit TStreamReader(std::size_t maxBody) : FMaxBody(maxBody) {}

    // Takes more of the stream; false once a request has been refused.
    bool Feed(std::string_view bytes) {
        if (FOutcome.Status != 0)
            return false;
        FIn.append(bytes);
        for (;;) {
            switch (FReader.Feed(FIn, FBody)) {
            case zsrv::TRequestReader::TStep::NeedMore:
                return true;
            case zsrv::TRequestReader::TStep::Failed:
                FOutcome.Status = FReader.Status();
                if (FOutcome.Status < 400 || FOutcome.Status > 599)
                    std::abort();
                return false;
            case zsrv::TRequestReader::TStep::Head:
                FReader.TakeBody(FMaxBody);
                continue;
            case zsrv::TRequestReader::TStep::Done: {
                const zsrv::THttpHead& h = FReader.Head();
                if (FBody.size() > FMaxBody || h.Method.empty() || h.Target.empty() ||
                    (!h.Chunked && FBody.size() != h.ContentLength))
                    std::abort();
                std::string record = h.Method + ' ' + h.Target + ' ' + std::to_string(h.KeepAlive);
                for (const auto& [name, value] : h.Headers)
                    record += '\n' + name + ':' + value;
                record += "\n\n" + FBody;
                FOutcome.Requests.push_back(std::move(record));
                FBody.clear();
                FReader = zsrv::TRequestReader(kMaxHeader, kMaxLine);
                continue;
            }
            }
        }
    }
    [[nodiscard]] const TOutcome& Outcome() const { return FOutcome; }

private:
    std::size_t FMaxBody;
    zsrv::TRequestReader FReader{kMaxHeader, kMaxLine};
    std::string FIn;
    std::string FBody;
    TOutcome FOutcome;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    // The first byte chooses the body limit, the second how the stream is cut.
    const std::size_t maxBody = std::size_t(data[0]) * 16;
    std::uint32_t cuts = data[1] * 2654435761u + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);

    TStreamReader whole(maxBody);
    whole.Feed(stream);

    TStreamReader pieces(maxBody);
    for (std::size_t at = 0; at < stream.size();) {
        cuts = cuts * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(1 + (cuts >> 16) % 64, stream.size() - at);
        if (!pieces.Feed(stream.substr(at, n)))
            break;
        at += n;
    }
    if (!(whole.Outcome() == pieces.Outcome()))
        std::abort();
    return 0;
}
