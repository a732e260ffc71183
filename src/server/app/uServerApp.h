#pragma once
// One server process: the store, the web endpoints and the push server,
// each on threads of its own.

#include "server/config/uServerConfig.h"

#include <cstdint>
#include <memory>

namespace zsrv {

class TAccounts;
class TServerStore;

class TServerApp {
public:
    explicit TServerApp(TServerConfig config);
    ~TServerApp();
    TServerApp(const TServerApp&) = delete;
    TServerApp& operator=(const TServerApp&) = delete;

    // Opens the store and binds both listeners (port 0 picks a free port).
    // Throws std::runtime_error with the reason when something cannot start.
    void Start();
    // Stops both listeners and closes every connection; safe to call twice.
    void Stop();

    [[nodiscard]] std::uint16_t HttpPort() const;
    [[nodiscard]] std::uint16_t PushPort() const;
    [[nodiscard]] TServerStore& Store();
    [[nodiscard]] TAccounts& Accounts();
    [[nodiscard]] std::size_t PushConnections() const;
    [[nodiscard]] std::size_t PushSignedIn() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace zsrv
