// Fuzz target: the whole web server, on loopback, fed a stream of requests
// cut at points the input chooses and then the end of sending. Every reply
// that comes back must be framed well (status line, header lines, one
// Content-Length with the bytes it names, a Date), and the server must end
// the connection soon after the stream ends.

#include "server/http/uHttpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// One server for the whole run, on a thread of its own.
class TServer {
public:
    TServer() {
        zsrv::THttpLimits limits;
        limits.MaxHeaderBytes = 4096;
        limits.MaxRequestLine = 1024;
        FServer = std::make_unique<zsrv::THttpServer>(FIo, limits, 2, nullptr);
        const std::vector<std::string> form = {"application/x-www-form-urlencoded"};
        const auto echo = [](const zsrv::THttpRequest& req, zsrv::THttpResponse& res) {
            res.set_content(req.Body, "text/plain");
        };
        FServer->Route("POST", "/echo", 4096, form, echo);
        FServer->Route("GET", "/echo", 0, {}, echo);
        FServer->Route("GET", "/fail", 0, {}, [](const zsrv::THttpRequest&, zsrv::THttpResponse&) {
            throw std::runtime_error("a handler that fails");
        });
        Port = FServer->Listen("127.0.0.1", 0);
        FThread = std::thread([this] { FIo.run(); });
        FThread.detach(); // lives as long as the process
    }
    std::uint16_t Port = 0;

private:
    asio::io_context FIo;
    std::unique_ptr<zsrv::THttpServer> FServer;
    std::thread FThread;
};

int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Closed with a reset: this side ends first, and hundreds of thousands of
    // runs would otherwise use up the local ports in TIME_WAIT.
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    // A connection the server ended first holds its local port for a minute
    // (TIME_WAIT): at a thousand runs a second the ports can run out for a moment.
    for (int attempt = 0; ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0; ++attempt) {
        if (errno == EINTR) {
            // The fuzzer's timer interrupted it; the connection goes on being made.
            pollfd p{fd, POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            if (::poll(&p, 1, 5000) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                error == 0)
                break;
        }
        if (errno != EADDRNOTAVAIL || attempt == 600) {
            std::fprintf(stderr, "cannot connect: %s\n", std::strerror(errno));
            std::abort();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return fd;
}

bool isDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Checks every reply in what came back; aborts at the first fault.
void checkReplies(std::string_view in) {
    while (!in.empty()) {
        const std::size_t headEnd = in.find("\r\n\r\n");
        if (headEnd == std::string_view::npos)
            std::abort(); // a reply cut off in its head
        std::string_view head = in.substr(0, headEnd + 2);
        const std::size_t lineEnd = head.find("\r\n");
        const std::string_view status = head.substr(0, lineEnd);
        if (status.size() < 13 || status.substr(0, 9) != "HTTP/1.1 " || !isDigits(status.substr(9, 3)) ||
            status[12] != ' ')
            std::abort();
        head.remove_prefix(lineEnd + 2);
        int lengths = 0;
        int dates = 0;
        std::size_t length = 0;
        while (!head.empty()) {
            const std::size_t end = head.find("\r\n");
            const std::string_view line = head.substr(0, end);
            head.remove_prefix(end + 2);
            const std::size_t colon = line.find(": ");
            if (colon == std::string_view::npos || colon == 0)
                std::abort();
            for (const char ch : line)
                if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
                    std::abort();
            const std::string_view name = line.substr(0, colon);
            if (name == "Content-Length") {
                ++lengths;
                if (!isDigits(line.substr(colon + 2)))
                    std::abort();
                length = std::size_t(std::atoll(std::string(line.substr(colon + 2)).c_str()));
            } else if (name == "Date") {
                ++dates;
            } else if (name == "Accept-Ranges" || name == "Transfer-Encoding") {
                std::abort();
            }
        }
        if (status.substr(9, 3) == "100") {
            if (lengths != 0)
                std::abort();
            in.remove_prefix(headEnd + 4);
            continue;
        }
        // A HEAD request's reply names the length of a body it does not carry:
        // the stream ends with it, or the next reply follows.
        if (lengths != 1 || dates != 1)
            std::abort();
        in.remove_prefix(headEnd + 4);
        if (in.size() >= length && (in.size() == length || in.substr(length).rfind("HTTP/1.1 ", 0) == 0)) {
            in.remove_prefix(length);
            continue;
        }
        if (!in.empty() && in.rfind("HTTP/1.1 ", 0) != 0)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TServer& server = *new TServer; // never ended: its thread runs until the process does
    if (size < 1 || size > 16384)
        return 0;
    std::uint32_t cuts = data[0] * 2654435761u + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    const int fd = connectTo(server.Port);
    for (std::size_t at = 0; at < stream.size();) {
        cuts = cuts * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(1 + (cuts >> 16) % 256, stream.size() - at);
        if (::send(fd, stream.data() + at, n, MSG_NOSIGNAL) <= 0)
            break; // the server has refused and closed
        at += n;
    }
    ::shutdown(fd, SHUT_WR);
    std::string in;
    char buf[16384];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        if (std::chrono::steady_clock::now() > end)
            std::abort(); // the connection outlived its requests
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        in.append(buf, std::size_t(n));
    }
    ::close(fd);
    checkReplies(in);
    return 0;
}
