#include "FaultProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace servertest {

namespace {

enum TFate { Pass, DropAtOnce, DropAfterRequest, Stall, CutReply, Delay };

int connectTo(std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

} // namespace

TFaultProxy::TFaultProxy(std::uint16_t upstreamPort, std::uint64_t seed)
    : FUpstream(upstreamPort), FSeed(seed) {
    FListen = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(FListen, 64) != 0)
        throw std::runtime_error("fault proxy cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
    FPort = ntohs(a.sin_port);
    FAcceptor = std::thread([this] { acceptLoop(); });
}

TFaultProxy::~TFaultProxy() {
    FStop = true;
    ::shutdown(FListen, SHUT_RDWR);
    FAcceptor.join();
    ::close(FListen);
    while (FActive > 0)
        ::usleep(10000);
}

std::string TFaultProxy::root() const {
    return "http://127.0.0.1:" + std::to_string(FPort) + "/";
}

void TFaultProxy::acceptLoop() {
    std::mt19937_64 random(FSeed);
    while (!FStop) {
        pollfd p{FListen, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int client = ::accept(FListen, nullptr, nullptr);
        if (client < 0)
            continue;
        const int roll = int(random() % 100);
        const int fate = roll < 70   ? Pass
                         : roll < 76 ? DropAtOnce
                         : roll < 84 ? DropAfterRequest
                         : roll < 86 ? Stall
                         : roll < 94 ? CutReply
                                     : Delay;
        if (fate != Pass && fate != Delay)
            ++FFaults;
        const int cutAt = int(random() % 200);
        ++FActive;
        std::thread([this, client, fate, cutAt] {
            serve(client, fate, cutAt);
            --FActive;
        }).detach();
    }
}

void TFaultProxy::serve(int client, int fate, int cutAt) {
    if (fate == DropAtOnce) {
        ::close(client);
        return;
    }
    const int upstream = connectTo(FUpstream);
    if (upstream < 0) {
        ::close(client);
        return;
    }
    if (fate == Delay)
        ::usleep(20000 + useconds_t(cutAt) * 500);
    // Pumps both ways until either side closes; the fate decides what reaches the client.
    long long toClient = 0;
    bool requestSeen = false;
    char buf[16384];
    for (;;) {
        if (FStop)
            break;
        pollfd p[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
        if (::poll(p, 2, 100) < 0)
            break;
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            requestSeen = true;
            if (::send(upstream, buf, size_t(n), MSG_NOSIGNAL) != n)
                break;
        }
        if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (fate == Stall) {
                // Hold the reply until the client gives up.
                ::usleep(100000);
                pollfd c{client, POLLIN, 0};
                if (::poll(&c, 1, 0) > 0 && ::recv(client, buf, sizeof buf, MSG_PEEK) <= 0)
                    break;
                continue;
            }
            const ssize_t n = ::recv(upstream, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            if (fate == DropAfterRequest && requestSeen)
                break;
            ssize_t give = n;
            if (fate == CutReply)
                give = std::min<ssize_t>(n, std::max<ssize_t>(0, cutAt - toClient));
            if (give > 0 && ::send(client, buf, size_t(give), MSG_NOSIGNAL) != give)
                break;
            toClient += give;
            if (fate == CutReply && give < n)
                break;
        }
    }
    ::close(upstream);
    ::close(client);
}

} // namespace servertest
