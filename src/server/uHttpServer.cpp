#include "server/uHttpServer.h"

#include "server/uAcceptor.h"
#include "server/uHttpParser.h"

#include <asio/ssl.hpp>
#include <cstdio>
#include <optional>
#include <sys/socket.h>

namespace zsrv {

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t kReadChunk = 8192;
constexpr std::size_t kMaxDrainBytes = 1u << 20;
constexpr auto kDrainTime = std::chrono::seconds(2);

const char* reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 417:
        return "Expectation Failed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return status < 400 ? "OK" : "Error";
    }
}

std::string addressOf(const asio::ip::tcp::endpoint& ep) {
    const asio::ip::address a = ep.address();
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()).to_string();
    return a.to_string();
}

} // namespace

const std::string* THttpRequest::header(std::string_view name) const {
    for (const auto& [k, v] : Headers)
        if (EqualsNoCase(k, name))
            return &v;
    return nullptr;
}

std::string LoggablePath(std::string_view target) {
    // A "%" may hide an encoded "?" at any depth of encoding: the path ends
    // there too. The routes the service answers need neither.
    const std::size_t end = std::min(target.find_first_of("?#%;"), std::size_t(200));
    std::string out = LogSafe(target.substr(0, std::min(end, target.size())));
    if (end < target.size())
        out += "...";
    return out;
}

std::string LogSafe(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b >= 0x7F || ch == '\\') {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

class THttpServer::TConnection : public std::enable_shared_from_this<TConnection> {
public:
    TConnection(THttpServer& server, asio::ip::tcp::socket sock)
        : FServer(server), FTimer(server.FIo), FGone(std::make_shared<std::atomic<bool>>(false)) {
        std::error_code ec;
        FRemote = addressOf(sock.remote_endpoint(ec));
        FLocal = addressOf(sock.local_endpoint(ec));
        sock.set_option(asio::ip::tcp::no_delay(true), ec);
        if (server.FTls)
            FTls.emplace(std::move(sock), *server.FTls);
        else
            FPlain.emplace(std::move(sock));
    }

    void start() {
        armTimer();
        if (FTls) {
            FStage = TStage::Handshake;
            setDeadline(TClock::now() + FServer.FLimits.HeaderTimeout);
            FTls->async_handshake(asio::ssl::stream_base::server,
                                  [self = shared_from_this()](std::error_code ec) {
                                      if (ec)
                                          self->close();
                                      else if (self->FStage == TStage::Handshake)
                                          self->beginIdle();
                                  });
            return;
        }
        beginIdle();
    }

    void close() {
        if (FStage == TStage::Closed)
            return;
        FStage = TStage::Closed;
        FTimer.cancel();
        std::error_code ec;
        socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        socket().close(ec);
        if (FReservedBody) {
            FServer.FBufferedBody -= FReservedBody;
            FReservedBody = 0;
        }
        FGone->store(true);
        if (FServer.FConnections.erase(this))
            --FServer.FCount;
    }

private:
    enum class TStage { Handshake, Idle, Head, Body, Working, Writing, Draining, Closed };

    asio::ip::tcp::socket& socket() { return FTls ? FTls->next_layer() : *FPlain; }

    template <class TBuffers, class THandlerFn> void writeAll(const TBuffers& buffers, THandlerFn&& fn) {
        if (FTls)
            asio::async_write(*FTls, buffers, std::forward<THandlerFn>(fn));
        else
            asio::async_write(*FPlain, buffers, std::forward<THandlerFn>(fn));
    }

    // One timer per connection; it sleeps until the current deadline and,
    // when the deadline moved on meanwhile, sleeps again.
    void setDeadline(TClock::time_point at) { FDeadline = at; }
    void armTimer() {
        FTimer.expires_at(FDeadline);
        FTimer.async_wait([self = shared_from_this()](std::error_code ec) {
            if (ec || self->FStage == TStage::Closed)
                return;
            if (self->FStage != TStage::Working && TClock::now() >= self->FDeadline) {
                self->close();
                return;
            }
            self->armTimer();
        });
    }

    void beginIdle() {
        FStage = TStage::Idle;
        FRequest = THttpRequest{};
        FHead = THttpHead{};
        FChunks = TChunkedDecoder{};
        setDeadline(TClock::now() + FServer.FLimits.IdleTimeout);
        if (!FIn.empty())
            onData();
        else
            read();
    }

    void read() {
        if (FReading)
            return;
        FReading = true;
        FReadBuffer.resize(kReadChunk);
        auto done = [self = shared_from_this()](std::error_code ec, std::size_t n) {
            self->FReading = false;
            if (self->FStage == TStage::Closed)
                return;
            if (ec) {
                self->close();
                return;
            }
            if (self->FStage == TStage::Draining) {
                self->FDrained += n;
                if (self->FDrained > kMaxDrainBytes)
                    self->close();
                else
                    self->read();
                return;
            }
            self->FIn.append(self->FReadBuffer.data(), n);
            self->onData();
        };
        if (FTls)
            FTls->async_read_some(asio::buffer(FReadBuffer), std::move(done));
        else
            FPlain->async_read_some(asio::buffer(FReadBuffer), std::move(done));
    }

    void onData() {
        if (FStage == TStage::Idle) {
            // Blank lines before a request line are allowed and skipped.
            const std::size_t start = FIn.find_first_not_of("\r\n");
            FIn.erase(0, start == std::string::npos ? FIn.size() : start);
            if (FIn.empty()) {
                read();
                return;
            }
            FStage = TStage::Head;
            FStarted = TClock::now();
            setDeadline(FStarted + FServer.FLimits.HeaderTimeout);
        }
        if (FStage == TStage::Head && !onHeadBytes())
            return;
        if (FStage == TStage::Body)
            onBodyBytes();
    }

    // False when the head is not complete yet or the request has been answered.
    bool onHeadBytes() {
        const std::size_t end = FindHeadEnd(FIn, FServer.FLimits.MaxHeaderBytes);
        if (end == std::string::npos) {
            if (FIn.size() > FServer.FLimits.MaxHeaderBytes) {
                fail(FIn.find('\n') == std::string::npos ? 414 : 431);
                return false;
            }
            read();
            return false;
        }
        const int status = ParseRequestHead(std::string_view(FIn).substr(0, end), FHead);
        FIn.erase(0, end);
        FRequest.Method = FHead.Method;
        FRequest.Target = FHead.Target;
        FRequest.Path = FHead.Path;
        FRequest.Headers = std::move(FHead.Headers);
        FRequest.RemoteAddr = FRemote;
        FRequest.LocalAddr = FLocal;
        FRequest.Gone = FGone;
        FKeepAlive = FHead.KeepAlive && ++FRequests < FServer.FLimits.MaxRequestsPerConnection;
        if (status != 0) {
            fail(status);
            return false;
        }
        const bool hasBody = FHead.Chunked || FHead.ContentLength > 0;
        FRoute = FServer.findRoute(FRequest.Method == "HEAD" ? std::string("GET") : FRequest.Method,
                                   FRequest.Path);
        if (!FRoute) {
            // Without a body to skip, the connection can serve the next request.
            fail(404, hasBody);
            return false;
        }
        // The client never compresses what it sends; a compressed body would
        // grow past every limit only after it had been taken.
        if (const std::string* enc = FRequest.header("Content-Encoding");
            enc && !EqualsNoCase(*enc, "identity")) {
            fail(415);
            return false;
        }
        if (hasBody) {
            const std::string* type = FRequest.header("Content-Type");
            if (type && !MediaTypeIn(*type, FRoute->ContentTypes)) {
                fail(415);
                return false;
            }
            if (FHead.ContentLength > FRoute->MaxBody) {
                fail(413);
                return false;
            }
            if (!reserveBody(FHead.Chunked ? 0 : FHead.ContentLength)) {
                fail(503);
                return false;
            }
        }
        FStage = TStage::Body;
        FBodyStarted = TClock::now();
        setDeadline(FBodyStarted + FServer.FLimits.TransferGrace);
        if (FHead.ExpectContinue && hasBody && FIn.empty()) {
            static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            writeAll(asio::buffer(kContinue), [self = shared_from_this()](std::error_code ec, std::size_t) {
                if (ec)
                    self->close();
            });
        }
        return true;
    }

    bool reserveBody(std::size_t bytes) {
        if (FServer.FBufferedBody + bytes > FServer.FLimits.MaxBufferedBodyBytes)
            return false;
        FServer.FBufferedBody += bytes;
        FReservedBody += bytes;
        return true;
    }

    void onBodyBytes() {
        std::string& body = FRequest.Body;
        bool complete = false;
        if (FHead.Chunked) {
            const std::size_t before = body.size();
            const auto r = FChunks.Feed(FIn, body, FRoute->MaxBody, FServer.FLimits.MaxHeaderBytes);
            if (r == TChunkedDecoder::TResult::TooLarge || !reserveBody(body.size() - before)) {
                fail(r == TChunkedDecoder::TResult::TooLarge ? 413 : 503);
                return;
            }
            if (r == TChunkedDecoder::TResult::Malformed) {
                fail(400);
                return;
            }
            complete = r == TChunkedDecoder::TResult::Done;
        } else {
            const std::size_t take = std::min(FIn.size(), FHead.ContentLength - body.size());
            body.append(FIn, 0, take);
            FIn.erase(0, take);
            complete = body.size() == FHead.ContentLength;
        }
        if (!complete) {
            // The body must keep up a minimum rate: the deadline moves with what came.
            setDeadline(FBodyStarted + FServer.FLimits.TransferGrace +
                        std::chrono::milliseconds(body.size() * 1000 / FServer.FLimits.MinBytesPerSecond));
            read();
            return;
        }
        dispatch();
    }

    void dispatch() {
        FStage = TStage::Working;
        watchForHangUp();
        auto request = std::make_shared<THttpRequest>(std::move(FRequest));
        FRequest = THttpRequest{};
        asio::post(FServer.FWorkers, [self = shared_from_this(), request, alive = FServer.FAlive,
                                      handler = &FRoute->Handler, reporter = &FServer.FErrorReporter] {
            auto response = std::make_shared<THttpResponse>();
            try {
                (*handler)(*request, *response);
            } catch (const std::exception& e) {
                if (*reporter)
                    (*reporter)(*request, e.what());
                *response = THttpResponse{500, {}, {}, {}};
            }
            if (!alive->load())
                return;
            asio::post(self->FServer.FIo, [self, request, response, alive] {
                if (!alive->load() || self->FStage != TStage::Working)
                    return;
                self->releaseBody();
                std::error_code ec;
                self->socket().cancel(ec); // ends the hang-up watch
                self->respond(*request, *response);
            });
        });
    }

    // A client that hangs up while its request is worked on is noted, so that
    // long work can stop; a client that sends its next request early is not.
    void watchForHangUp() {
        socket().async_wait(
            asio::ip::tcp::socket::wait_read, [self = shared_from_this()](std::error_code ec) {
                if (ec || self->FStage != TStage::Working)
                    return;
                char probe = 0;
                const ssize_t n = ::recv(self->socket().native_handle(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                    self->FGone->store(true);
                else if (n < 0)
                    self->watchForHangUp();
            });
    }

    void releaseBody() {
        FServer.FBufferedBody -= FReservedBody;
        FReservedBody = 0;
    }

    void fail(int status, bool closeAfter = true) {
        THttpResponse r;
        r.Status = status;
        FKeepAlive = FKeepAlive && !closeAfter;
        releaseBody();
        respond(FRequest, r);
    }

    void respond(const THttpRequest& request, THttpResponse& r) {
        if (FGone->load() && FStage == TStage::Working) {
            log(request, r.Status);
            close();
            return;
        }
        if (r.Status >= 400 && r.Body.empty() && !r.Shared)
            r.set_content(std::to_string(r.Status), "text/plain; charset=utf-8");
        const std::string& body = r.Shared ? *r.Shared : r.Body;
        std::string head = "HTTP/1.1 " + std::to_string(r.Status) + " " + reasonPhrase(r.Status) + "\r\n";
        // Header lines in the order of their names, as clients have always seen them.
        if (request.Method == "HEAD")
            head += "Accept-Ranges: bytes\r\n";
        if (!FKeepAlive)
            head += "Connection: close\r\n";
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        if (!r.ContentType.empty() || !body.empty())
            head += "Content-Type: " + (r.ContentType.empty() ? std::string("text/plain") : r.ContentType) +
                    "\r\n";
        if (FKeepAlive)
            head +=
                "Keep-Alive: timeout=" +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(FServer.FLimits.IdleTimeout).count()) +
                ", max=" + std::to_string(FServer.FLimits.MaxRequestsPerConnection) + "\r\n";
        head += "\r\n";
        FStage = TStage::Writing;
        auto out = std::make_shared<std::pair<std::string, THttpResponse>>(std::move(head), std::move(r));
        const std::string& bytes = out->second.Shared ? *out->second.Shared : out->second.Body;
        const bool withBody = request.Method != "HEAD";
        setDeadline(TClock::now() + FServer.FLimits.TransferGrace +
                    std::chrono::milliseconds((out->first.size() + bytes.size()) * 1000 /
                                              FServer.FLimits.MinBytesPerSecond));
        const std::array<asio::const_buffer, 2> buffers{
            asio::buffer(out->first), withBody ? asio::buffer(bytes) : asio::const_buffer()};
        writeAll(buffers, [self = shared_from_this(), out, method = request.Method,
                           path = LoggablePath(request.Target)](std::error_code ec, std::size_t) {
            if (self->FStage == TStage::Closed)
                return;
            self->logLine(method, path, out->second.Status);
            if (ec) {
                self->close();
                return;
            }
            if (self->FKeepAlive)
                self->beginIdle();
            else
                self->finish();
        });
    }

    void log(const THttpRequest& request, int status) {
        logLine(request.Method, LoggablePath(request.Target), status);
    }
    void logLine(const std::string& method, const std::string& path, int status) {
        if (!FServer.FLogger)
            return;
        THttpLogEntry e;
        e.RemoteAddr = FRemote;
        e.Method = method.empty() ? std::string("-") : LoggablePath(method);
        e.Path = path.empty() ? std::string("-") : path;
        e.Status = status;
        e.Milliseconds = std::chrono::duration<double, std::milli>(TClock::now() - FStarted).count();
        FServer.FLogger(e);
    }

    // After the last reply: stop sending, and read (and drop) what the client
    // still sends for a moment, so that closing does not reset the connection
    // before the client has read the reply.
    void finish() {
        if (FTls) {
            close();
            return;
        }
        std::error_code ec;
        socket().shutdown(asio::ip::tcp::socket::shutdown_send, ec);
        FStage = TStage::Draining;
        FIn.clear();
        setDeadline(TClock::now() + kDrainTime);
        read();
    }

    THttpServer& FServer;
    std::optional<asio::ip::tcp::socket> FPlain;
    std::optional<asio::ssl::stream<asio::ip::tcp::socket>> FTls;
    asio::steady_timer FTimer;
    TClock::time_point FDeadline = TClock::now();
    TClock::time_point FStarted = TClock::now();
    TClock::time_point FBodyStarted;
    TStage FStage = TStage::Idle;
    std::string FRemote;
    std::string FLocal;
    std::string FIn;
    std::vector<char> FReadBuffer;
    bool FReading = false;
    bool FKeepAlive = false;
    std::size_t FRequests = 0;
    std::size_t FDrained = 0;
    std::size_t FReservedBody = 0;
    THttpHead FHead;
    TChunkedDecoder FChunks;
    THttpRequest FRequest;
    const TRoute* FRoute = nullptr;
    std::shared_ptr<std::atomic<bool>> FGone;
};

THttpServer::THttpServer(asio::io_context& io, THttpLimits limits, int workers, asio::ssl::context* tls)
    : FIo(io), FLimits(limits), FTls(tls), FAcceptor(io), FWorkers(std::size_t(std::max(workers, 1))),
      FAlive(std::make_shared<std::atomic<bool>>(true)) {}

THttpServer::~THttpServer() {
    FAlive->store(false);
    FWorkers.join();
}

void THttpServer::Route(const std::string& method, const std::string& path, std::size_t maxBody,
                        std::vector<std::string> contentTypes, THandler handler) {
    FRoutes[method + " " + path] = TRoute{maxBody, std::move(contentTypes), std::move(handler)};
}

const THttpServer::TRoute* THttpServer::findRoute(const std::string& method, const std::string& path) const {
    const auto it = FRoutes.find(method + " " + path);
    return it == FRoutes.end() ? nullptr : &it->second;
}

std::uint16_t THttpServer::Listen(const std::string& host, std::uint16_t port) {
    BindAndListen(FAcceptor, host, port);
    accept();
    return FAcceptor.local_endpoint().port();
}

void THttpServer::accept() {
    FAcceptor.async_accept([this, alive = FAlive](std::error_code ec, asio::ip::tcp::socket sock) {
        if (!alive->load() || ec == asio::error::operation_aborted || !FAcceptor.is_open())
            return;
        if (ec) {
            // Out of file descriptors, most likely: the deadlines free some soon.
            auto retry = std::make_shared<asio::steady_timer>(FIo, std::chrono::milliseconds(100));
            retry->async_wait([this, retry, alive](std::error_code) {
                if (alive->load() && FAcceptor.is_open())
                    accept();
            });
            return;
        }
        if (FCount.load() < FLimits.MaxConnections) {
            auto c = std::make_shared<TConnection>(*this, std::move(sock));
            FConnections.emplace(c.get(), c);
            ++FCount;
            c->start();
        }
        accept();
    });
}

void THttpServer::Close() {
    std::error_code ec;
    FAcceptor.close(ec);
    std::vector<std::shared_ptr<TConnection>> all;
    all.reserve(FConnections.size());
    for (auto& [raw, c] : FConnections)
        all.push_back(c);
    for (const auto& c : all)
        c->close();
}

void THttpServer::WaitForWorkers() {
    FWorkers.join();
}

} // namespace zsrv
