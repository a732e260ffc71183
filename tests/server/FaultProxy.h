#pragma once
// A TCP proxy on 127.0.0.1 between the sync engines and the server that
// misbehaves on purpose: per connection it passes, drops before or after the
// request, stalls, cuts the reply short, or delays it.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace servertest {

class TFaultProxy {
public:
    TFaultProxy(std::uint16_t upstreamPort, std::uint64_t seed);
    ~TFaultProxy();
    TFaultProxy(const TFaultProxy&) = delete;
    TFaultProxy& operator=(const TFaultProxy&) = delete;

    [[nodiscard]] std::string root() const; // "http://127.0.0.1:PORT/"
    [[nodiscard]] int faults() const { return FFaults; }

private:
    void acceptLoop();
    void serve(int client, int fate, int cutAt);

    std::uint16_t FUpstream;
    int FListen = -1;
    std::uint16_t FPort = 0;
    std::atomic<bool> FStop{false};
    std::atomic<int> FFaults{0};
    std::uint64_t FSeed;
    std::thread FAcceptor;
    std::atomic<int> FActive{0}; // connections being served (their threads are detached)
};

} // namespace servertest
