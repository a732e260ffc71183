#pragma once
// The web side's HTTP/1.1 server. All connections live on one event loop: a
// connection costs a socket and a small buffer, never a thread, so clients
// that are silent or send a byte now and then cannot keep a request from
// being served. Every stage has a deadline (the whole header block, a minimum
// rate for the body and the reply), each route has a body limit that is
// enforced on the bytes as they arrive, compressed bodies are refused, and
// handlers run on a pool of worker threads once the request is complete.

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace asio::ssl {
class context;
}

namespace zsrv {

class TCheckQueue;

struct THttpRequest {
    std::string Method;
    std::string Target; // as sent: path and query
    std::string Path;   // decoded, without the query
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;
    std::string RemoteAddr;
    std::string LocalAddr;
    // Set once the client has closed its side while the handler runs.
    std::shared_ptr<const std::atomic<bool>> Gone;

    [[nodiscard]] const std::string* header(std::string_view name) const;
    [[nodiscard]] bool clientGone() const { return Gone && Gone->load(); }
};

struct THttpResponse {
    int Status = 200;
    std::string ContentType;
    std::string Body;
    // A body shared with a cache instead of Body, sent without a copy.
    std::shared_ptr<const std::string> Shared;
    // With a 503: when the client may try again.
    int RetryAfterSeconds = 0;

    void set_content(std::string body, std::string type) {
        Body = std::move(body);
        ContentType = std::move(type);
    }
};

struct THttpLimits {
    // From the first byte of a request to the end of its header block.
    std::chrono::milliseconds HeaderTimeout{10000};
    // Silence allowed between requests on a kept-alive connection, and before
    // the first request of a new one; whole seconds, as replies announce it
    // (less than one counts as one).
    std::chrono::milliseconds IdleTimeout{5000};
    // A body (and a reply) must move at this rate on average, after a grace time.
    std::size_t MinBytesPerSecond = 16 * 1024;
    std::chrono::milliseconds TransferGrace{10000};
    std::size_t MaxHeaderBytes = 16 * 1024;
    // The request line alone; a longer one gets 414.
    std::size_t MaxRequestLine = 8 * 1024 + 64;
    // Set below the process's descriptor limit (see ConnectionLimitFor).
    std::size_t MaxConnections = 4096;
    std::size_t MaxRequestsPerConnection = 1000;
    // Request bytes held by all connections together, counted as they
    // arrive; a request whose bytes would pass it gets 503.
    std::size_t MaxBufferedBodyBytes = std::size_t(256) << 20;
};

// Where a request's credentials stand, as far as can be told at once.
enum class TCredentialState { None, KnownGood, KnownBad, Unknown };

// How the server treats a route whose requests carry credentials. A request
// whose credentials are not known is worked on in the check queue (where a
// slow password hash may run) instead of the request pool; known ones go to
// the pool at once.
struct TCredentialGate {
    // Fast, on the event loop: neither the store nor a slow hash.
    std::function<TCredentialState(const THttpRequest&)> State;
    // When set, the head alone carries the credentials: they are checked with
    // this (in the check queue when not known) before the body is taken, and
    // a request they do not prove gets its reply without its body being read.
    std::function<bool(const THttpRequest&)> CheckHead;
};

// One request as the log shows it; the path is already fit for a log line.
struct THttpLogEntry {
    std::string RemoteAddr;
    std::string Method;
    std::string Path;
    int Status = 0;
    double Milliseconds = 0;
};

class THttpServer {
public:
    using THandler = std::function<void(const THttpRequest&, THttpResponse&)>;

    // tls may be null (plain HTTP); it must outlive the server.
    THttpServer(asio::io_context& io, THttpLimits limits, int workers, asio::ssl::context* tls);
    ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    // A route for one method and path. maxBody is the largest body taken;
    // contentTypes the media types a body may carry (a request without a
    // Content-Type is taken too); empty: the route takes no typed body.
    void Route(const std::string& method, const std::string& path, std::size_t maxBody,
               std::vector<std::string> contentTypes, THandler handler);
    // How requests of a route that carry credentials wait (see TCredentialGate);
    // takes effect with a check queue only.
    void Gate(const std::string& method, const std::string& path, TCredentialGate gate);
    // Where requests that may hash a password are worked on; it must outlive
    // the server. Without one, every request goes to the request pool.
    void SetCheckQueue(TCheckQueue* queue) { FChecks = queue; }
    void SetLogger(std::function<void(const THttpLogEntry&)> logger) { FLogger = std::move(logger); }
    // Called when a handler throws, with what it said; the reply is a 500.
    void SetErrorReporter(std::function<void(const THttpRequest&, const std::string&)> reporter) {
        FErrorReporter = std::move(reporter);
    }

    // Binds and starts accepting; returns the bound port (useful with port 0).
    // Throws std::system_error when the address cannot be bound.
    std::uint16_t Listen(const std::string& host, std::uint16_t port);
    // Stops accepting and closes every connection; call on the io thread or
    // after the io context has stopped. Handlers still running finish on
    // their threads; WaitForWorkers waits for them.
    void Close();
    void WaitForWorkers();

    [[nodiscard]] std::size_t ConnectionCount() const { return FCount.load(); }

private:
    struct TRoute {
        std::size_t MaxBody = 0;
        std::vector<std::string> ContentTypes;
        THandler Handler;
        TCredentialGate Gate;
    };
    class TConnection;
    friend class TConnection;

    void accept();
    [[nodiscard]] const TRoute* findRoute(const std::string& method, const std::string& path) const;

    asio::io_context& FIo;
    THttpLimits FLimits;
    asio::ssl::context* FTls;
    TCheckQueue* FChecks = nullptr;
    asio::ip::tcp::acceptor FAcceptor;
    asio::thread_pool FWorkers;
    std::unordered_map<std::string, TRoute> FRoutes; // "METHOD path"
    std::function<void(const THttpLogEntry&)> FLogger;
    std::function<void(const THttpRequest&, const std::string&)> FErrorReporter;
    std::unordered_map<TConnection*, std::shared_ptr<TConnection>> FConnections;
    std::atomic<std::size_t> FCount{0};
    std::size_t FBufferedBody = 0; // io thread only
    std::shared_ptr<std::atomic<bool>> FAlive;
};

// The connections a server may hold when the process may open descriptors
// files: the rest stays free for the database, the log and the other
// listener's connections (which get the given share of what is left).
[[nodiscard]] std::size_t ConnectionLimitFor(std::size_t descriptors, double share);

// A time as replies' Date line gives it: "Sun, 06 Nov 1994 08:49:37 GMT".
[[nodiscard]] std::string HttpDate(std::chrono::system_clock::time_point at);

// The path as a log line may show it: the query, and anything that may be an
// encoded query, cut off; control and non-ASCII bytes escaped.
[[nodiscard]] std::string LoggablePath(std::string_view target);
// Text with control and non-ASCII bytes escaped, so that it stays one log line.
[[nodiscard]] std::string LogSafe(std::string_view text);

} // namespace zsrv
