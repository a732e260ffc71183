#include "server/http/uHttpServer.h"

#include "server/base/uAcceptor.h"
#include "server/base/uCheckQueue.h"
#include "server/http/uHttpParser.h"

#include <array>
#include <asio/ssl.hpp>
#include <cstdio>
#include <ctime>
#include <optional>
#include <sys/socket.h>

namespace zsrv {

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t kTlsReadChunk = 4096;
// The one buffer the loop reads plain connections into: an idle connection
// carries none of its own.
thread_local std::array<char, 64 * 1024> tReadBuffer;
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

std::size_t ConnectionLimitFor(std::size_t descriptors, double share) {
    // The database's connections, the log, the listeners and the files a
    // command opens.
    constexpr std::size_t kReserved = 256;
    const std::size_t left = descriptors > kReserved ? descriptors - kReserved : 0;
    return std::max<std::size_t>(16, static_cast<std::size_t>(double(left) * share));
}

std::string HttpDate(std::chrono::system_clock::time_point at) {
    const std::time_t t = std::chrono::system_clock::to_time_t(at);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return std::string(buf, n);
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
        if (server.FTls) {
            FTls.emplace(std::move(sock), *server.FTls);
        } else {
            // Reads are made when the socket is readable, into the loop's one buffer.
            sock.non_blocking(true, ec);
            FPlain.emplace(std::move(sock));
        }
    }

    void start() {
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
        clearDeadline();
        std::error_code ec;
        socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        socket().close(ec);
        releaseBytes();
        FGone->store(true);
        if (FServer.FConnections.erase(this))
            --FServer.FCount;
    }

private:
    enum class TStage { Handshake, Idle, Head, Checking, Body, Working, Writing, Draining, Closed };

    asio::ip::tcp::socket& socket() { return FTls ? FTls->next_layer() : *FPlain; }

    template <class TBuffers, class THandlerFn> void writeAll(const TBuffers& buffers, THandlerFn&& fn) {
        if (FTls)
            asio::async_write(*FTls, buffers, std::forward<THandlerFn>(fn));
        else
            asio::async_write(*FPlain, buffers, std::forward<THandlerFn>(fn));
    }

    // One timer per connection, set anew with every deadline; a wait that a
    // newer deadline replaced finds another generation and does nothing.
    void setDeadline(TClock::time_point at) {
        FTimer.expires_at(at);
        FTimer.async_wait([self = shared_from_this(), generation = ++FTimerGeneration](std::error_code ec) {
            if (ec || self->FStage == TStage::Closed || generation != self->FTimerGeneration)
                return;
            self->onDeadline();
        });
    }
    void clearDeadline() {
        ++FTimerGeneration;
        FTimer.cancel();
    }

    void onDeadline() {
        switch (FStage) {
        case TStage::Head:
        case TStage::Body:
            // Said and logged, so that a client (and whoever runs the server)
            // can tell a request that was too slow from one that was lost.
            FKeepAlive = false;
            fail(408);
            return;
        default:
            close();
            return;
        }
    }

    [[nodiscard]] std::chrono::milliseconds idleTime() const {
        return std::max<std::chrono::milliseconds>(
            std::chrono::duration_cast<std::chrono::seconds>(FServer.FLimits.IdleTimeout),
            std::chrono::seconds(1));
    }

    void beginIdle() {
        FStage = TStage::Idle;
        FRequest = THttpRequest{};
        FReader = TRequestReader(FServer.FLimits.MaxHeaderBytes, FServer.FLimits.MaxRequestLine);
        FRoute = nullptr;
        setDeadline(TClock::now() + idleTime());
        if (!FIn.empty())
            onData();
        else
            read();
    }

    void read() {
        if (FReading || FStage == TStage::Closed)
            return;
        FReading = true;
        if (FTls) {
            // TLS reads through the stream's own buffer; ours lives while the read does.
            auto buffer = std::make_shared<std::vector<char>>(kTlsReadChunk);
            FTls->async_read_some(asio::buffer(*buffer),
                                  [self = shared_from_this(), buffer](std::error_code ec, std::size_t n) {
                                      self->FReading = false;
                                      self->onRead(ec, buffer->data(), n);
                                  });
            return;
        }
        FPlain->async_wait(asio::ip::tcp::socket::wait_read, [self = shared_from_this()](std::error_code ec) {
            self->FReading = false;
            if (self->FStage == TStage::Closed)
                return;
            if (ec) {
                self->close();
                return;
            }
            // One read per turn, of at most the buffer: a client that streams
            // without pause cannot hold the loop from the others.
            std::error_code rec;
            const std::size_t n = self->FPlain->read_some(asio::buffer(tReadBuffer), rec);
            if (rec == asio::error::would_block || rec == asio::error::try_again) {
                self->read();
                return;
            }
            self->onRead(rec, tReadBuffer.data(), n);
        });
    }

    void onRead(std::error_code ec, const char* data, std::size_t n) {
        if (FStage == TStage::Closed)
            return;
        if (ec == asio::error::eof || (!ec && n == 0)) {
            // Nothing more will come: a request not whole by now never will be.
            FPeerDone = true;
            close();
            return;
        }
        if (ec) {
            close();
            return;
        }
        if (FStage == TStage::Draining) {
            FDrained += n;
            if (FDrained > kMaxDrainBytes)
                close();
            else
                read();
            return;
        }
        FIn.append(data, n);
        if (!holdBytes()) {
            FKeepAlive = false;
            fail(503);
            return;
        }
        onData();
    }

    void onData() {
        if (FStage == TStage::Idle || FStage == TStage::Head) {
            const TRequestReader::TStep step = FReader.Feed(FIn, FRequest.Body);
            if (FStage == TStage::Idle && FReader.Started()) {
                FStage = TStage::Head;
                FStarted = TClock::now();
                setDeadline(FStarted + FServer.FLimits.HeaderTimeout);
            }
            (void)holdBytes();
            if (step == TRequestReader::TStep::NeedMore) {
                read();
                return;
            }
            takeHead();
            if (step == TRequestReader::TStep::Failed) {
                fail(FReader.Status());
                return;
            }
            if (!onHead())
                return;
        }
        if (FStage == TStage::Body)
            onBodyBytes();
    }

    // The request as far as its head has been read.
    void takeHead() {
        THttpHead& head = FReader.Head();
        FRequest.Method = head.Method;
        FRequest.Target = head.Target;
        FRequest.Path = head.Path;
        FRequest.Headers = std::move(head.Headers);
        FRequest.RemoteAddr = FRemote;
        FRequest.LocalAddr = FLocal;
        FRequest.Gone = FGone;
        FKeepAlive = head.KeepAlive && ++FRequests < FServer.FLimits.MaxRequestsPerConnection;
    }

    // False when the request has been answered or waits for its credentials
    // to be checked.
    bool onHead() {
        const THttpHead& head = FReader.Head();
        const bool hasBody = FReader.HasBody();
        FRoute = FServer.findRoute(FRequest.Method == "HEAD" ? std::string("GET") : FRequest.Method,
                                   FRequest.Path);
        if (!FRoute) {
            // Without a body to skip, the connection can serve the next request.
            fail(404, hasBody);
            return false;
        }
        // The client never compresses what it sends; a compressed body would
        // grow past every limit only after it had been taken. Every such line
        // counts: a second one may be what a proxy in front reads.
        for (const auto& [name, value] : FRequest.Headers) {
            if (EqualsNoCase(name, "Content-Encoding") && !EqualsNoCase(value, "identity")) {
                fail(415);
                return false;
            }
        }
        if (hasBody) {
            const std::string* type = FRequest.header("Content-Type");
            if (type && !MediaTypeIn(*type, FRoute->ContentTypes)) {
                fail(415);
                return false;
            }
            if (head.ContentLength > FRoute->MaxBody) {
                fail(413);
                return false;
            }
        }
        if (hasBody && FRoute->Gate.CheckHead && FServer.FChecks)
            return checkHead();
        beginBody();
        return true;
    }

    // The credentials of the head are checked before the body is taken: a
    // client that cannot prove an account cannot make the server hold its body.
    bool checkHead() {
        const TCredentialState state =
            FRoute->Gate.State ? FRoute->Gate.State(FRequest) : TCredentialState::Unknown;
        if (state == TCredentialState::KnownGood || state == TCredentialState::None) {
            beginBody();
            return true;
        }
        if (state == TCredentialState::KnownBad) {
            refuseUnread();
            return false;
        }
        FStage = TStage::Checking;
        clearDeadline();
        auto head = std::make_shared<THttpRequest>(FRequest);
        const TCheckQueue::TAdmit admit =
            FServer.FChecks->Post(FRemote, [self = shared_from_this(), head, alive = FServer.FAlive,
                                            check = &FRoute->Gate.CheckHead] {
                bool ok = false;
                try {
                    ok = (*check)(*head);
                } catch (const std::exception&) {
                }
                if (!alive->load())
                    return;
                asio::post(self->FServer.FIo, [self, alive, ok] {
                    if (!alive->load() || self->FStage != TStage::Checking)
                        return;
                    if (!ok) {
                        self->refuseUnread();
                        return;
                    }
                    self->beginBody();
                    self->onBodyBytes();
                });
            });
        if (admit != TCheckQueue::TAdmit::Queued)
            busy();
        return false;
    }

    // The reply of a request whose credentials failed, made by its handler
    // from the head alone; the body is never read, so the connection ends.
    void refuseUnread() {
        FKeepAlive = false;
        FIn.clear();
        (void)holdBytes();
        dispatch(false);
    }

    void busy() {
        THttpResponse r;
        r.Status = 503;
        r.RetryAfterSeconds = int(FServer.FChecks->RetryAfter(FRemote).count());
        FKeepAlive = false;
        releaseBytes();
        respond(FRequest, r);
    }

    void beginBody() {
        FStage = TStage::Body;
        FReader.TakeBody(FRoute->MaxBody);
        FBodyStarted = TClock::now();
        setDeadline(FBodyStarted + FServer.FLimits.TransferGrace);
        if (FReader.Head().ExpectContinue && FReader.HasBody() && FIn.empty()) {
            static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            writeAll(asio::buffer(kContinue), [self = shared_from_this()](std::error_code ec, std::size_t) {
                if (ec)
                    self->close();
            });
        }
    }

    // Counts what the connection holds (unread input and the body so far)
    // against the total of all connections; false when the total would pass
    // its limit. Declared lengths are never counted: only bytes that came.
    bool holdBytes() {
        const std::size_t held = FIn.size() + FRequest.Body.size();
        if (held <= FHeldBytes) {
            FServer.FBufferedBody -= FHeldBytes - held;
            FHeldBytes = held;
            return true;
        }
        const std::size_t more = held - FHeldBytes;
        if (FServer.FBufferedBody + more > FServer.FLimits.MaxBufferedBodyBytes)
            return false;
        FServer.FBufferedBody += more;
        FHeldBytes = held;
        return true;
    }

    void releaseBytes() {
        FServer.FBufferedBody -= FHeldBytes;
        FHeldBytes = 0;
    }

    void onBodyBytes() {
        const TRequestReader::TStep step = FReader.Feed(FIn, FRequest.Body);
        (void)holdBytes(); // moved from the input to the body: the same bytes
        if (step == TRequestReader::TStep::Failed) {
            fail(FReader.Status());
            return;
        }
        if (step != TRequestReader::TStep::Done) {
            // The body must keep up a minimum rate: the deadline moves with what came.
            setDeadline(
                FBodyStarted + FServer.FLimits.TransferGrace +
                std::chrono::milliseconds(FRequest.Body.size() * 1000 / FServer.FLimits.MinBytesPerSecond));
            read();
            return;
        }
        dispatch(true);
    }

    void dispatch(bool withBody) {
        FStage = TStage::Working;
        // No deadline runs while a handler works: the client waits for us.
        clearDeadline();
        if (withBody)
            watchForHangUp();
        auto request = std::make_shared<THttpRequest>(std::move(FRequest));
        FRequest = THttpRequest{};
        if (!withBody)
            request->Body.clear();
        auto work = [self = shared_from_this(), request, alive = FServer.FAlive, handler = &FRoute->Handler,
                     reporter = &FServer.FErrorReporter] {
            auto response = std::make_shared<THttpResponse>();
            try {
                // One whose client went away while it waited is not worked on.
                if (!request->clientGone())
                    (*handler)(*request, *response);
            } catch (const std::exception& e) {
                if (*reporter)
                    (*reporter)(*request, e.what());
                *response = THttpResponse{};
                response->Status = 500;
            }
            if (!alive->load())
                return;
            asio::post(self->FServer.FIo, [self, request, response, alive] {
                if (!alive->load() || self->FStage != TStage::Working)
                    return;
                self->releaseBytes();
                (void)self->holdBytes();
                std::error_code ec;
                self->socket().cancel(ec); // ends the hang-up watch
                self->respond(*request, *response);
            });
        };
        // A request whose credentials are not known may cost a slow hash: it
        // waits in the check queue, never in the pool the others need.
        const TCredentialGate& gate = FRoute->Gate;
        if (FServer.FChecks && gate.State && gate.State(*request) == TCredentialState::Unknown) {
            if (FServer.FChecks->Post(FRemote, std::move(work)) != TCheckQueue::TAdmit::Queued) {
                FRequest = std::move(*request);
                busy();
            }
            return;
        }
        asio::post(FServer.FWorkers, std::move(work));
    }

    // A client that resets its connection while its request is worked on is
    // noted, so that long work can stop. One that only stops sending (a
    // half-close, or the end of its requests) still gets its reply.
    void watchForHangUp() {
        socket().async_wait(
            asio::ip::tcp::socket::wait_read, [self = shared_from_this()](std::error_code ec) {
                if (ec || self->FStage != TStage::Working)
                    return;
                char probe = 0;
                const ssize_t n = ::recv(self->socket().native_handle(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
                if (n == 0)
                    self->FPeerDone = true;
                else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    self->FGone->store(true);
                else if (n < 0)
                    self->watchForHangUp();
            });
    }

    void fail(int status, bool closeAfter = true) {
        THttpResponse r;
        r.Status = status;
        FKeepAlive = FKeepAlive && !closeAfter;
        releaseBytes();
        respond(FRequest, r);
    }

    void respond(const THttpRequest& request, THttpResponse& r) {
        if (FGone->load() && FStage == TStage::Working) {
            log(request, r.Status);
            close();
            return;
        }
        // A client that has stopped sending gets the replies to what it sent, then the end.
        if (FPeerDone && FIn.empty())
            FKeepAlive = false;
        if (r.Status >= 400 && r.Body.empty() && !r.Shared)
            r.set_content(std::to_string(r.Status), "text/plain; charset=utf-8");
        const std::string& body = r.Shared ? *r.Shared : r.Body;
        std::string head = "HTTP/1.1 " + std::to_string(r.Status) + " " + reasonPhrase(r.Status) + "\r\n";
        // Header lines in the order of their names, as clients have always seen them.
        if (!FKeepAlive)
            head += "Connection: close\r\n";
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        if (!r.ContentType.empty() || !body.empty())
            head += "Content-Type: " + (r.ContentType.empty() ? std::string("text/plain") : r.ContentType) +
                    "\r\n";
        head += "Date: " + HttpDate(std::chrono::system_clock::now()) + "\r\n";
        if (FKeepAlive)
            head += "Keep-Alive: timeout=" +
                    std::to_string(std::chrono::duration_cast<std::chrono::seconds>(idleTime()).count()) +
                    ", max=" + std::to_string(FServer.FLimits.MaxRequestsPerConnection) + "\r\n";
        if (r.RetryAfterSeconds > 0)
            head += "Retry-After: " + std::to_string(r.RetryAfterSeconds) + "\r\n";
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
        if (FTls || FPeerDone) {
            close();
            return;
        }
        std::error_code ec;
        socket().shutdown(asio::ip::tcp::socket::shutdown_send, ec);
        FStage = TStage::Draining;
        FIn.clear();
        releaseBytes();
        setDeadline(TClock::now() + kDrainTime);
        read();
    }

    THttpServer& FServer;
    std::optional<asio::ip::tcp::socket> FPlain;
    std::optional<asio::ssl::stream<asio::ip::tcp::socket>> FTls;
    asio::steady_timer FTimer;
    std::uint64_t FTimerGeneration = 0;
    TClock::time_point FStarted = TClock::now();
    TClock::time_point FBodyStarted;
    TStage FStage = TStage::Idle;
    std::string FRemote;
    std::string FLocal;
    std::string FIn;
    bool FReading = false;
    bool FKeepAlive = false;
    bool FPeerDone = false; // the client has sent its last byte
    std::size_t FRequests = 0;
    std::size_t FDrained = 0;
    std::size_t FHeldBytes = 0;
    TRequestReader FReader{0, 0}; // set for each request
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

void THttpServer::Gate(const std::string& method, const std::string& path, TCredentialGate gate) {
    const auto it = FRoutes.find(method + " " + path);
    if (it != FRoutes.end())
        it->second.Gate = std::move(gate);
}

void THttpServer::Route(const std::string& method, const std::string& path, std::size_t maxBody,
                        std::vector<std::string> contentTypes, THandler handler) {
    FRoutes[method + " " + path] = TRoute{maxBody, std::move(contentTypes), std::move(handler), {}};
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
