#pragma once
// The push server: long-lived TCP connections from the user's devices. A
// device signs in with CMD_LOGIN; a CMD_NOTECHANGED from it reaches every other
// signed-in device of the same user (here, and through the store in the other
// server processes); keep-alives are answered; logout, garbage and silence
// close the connection. One thread runs all connections; slow password checks
// run beside it so that no connection waits for another's sign-in.
//
// A server holds very many idle connections, so one costs little: a plain
// descriptor in an epoll set of the push server's own (which the io context
// waits on as one descriptor), and a small record; what only a connection
// that has not signed in needs lives apart and goes at sign-in.

#include "server/auth/uAccounts.h"
#include "server/base/uCheckQueue.h"
#include "server/store/uServerStore.h"

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace zsrv {

struct TPushOptions {
    std::chrono::seconds IdleLimit{180};
    std::chrono::seconds LoginLimit{30};
    std::chrono::milliseconds SweepInterval{1000};
    std::size_t MaxQueuedBytes = 64 * 1024; // a reader slower than this is dropped
    // Connections that have not signed in yet, from one address and in all.
    // A new connection past either limit closes the oldest such connection
    // (of its address, else of all), so a device can always get in to sign in.
    std::size_t MaxUnsignedPerAddress = 64;
    std::size_t MaxUnsigned = 1024;
    // All connections; past it a new one closes the oldest not signed in, or is refused.
    std::size_t MaxConnections = 4096;
    // Signed-in devices of one account; a new one closes the oldest.
    std::size_t MaxDevicesPerAccount = 64;
    // Changes a device sends while its sign-in is checked, held until it is.
    std::size_t MaxHeldChanges = 64;
    // Notices to the other server processes not yet handed to the store,
    // from one device and in all. A device past its share is closed; past
    // the total, a notice is dropped (the others still see it at their next sync).
    std::size_t MaxPublishingPerDevice = 64;
    std::size_t MaxPublishing = 10000;
};

class TPushServer {
public:
    // Sign-in checks wait in checks, which must outlive the server.
    TPushServer(asio::io_context& io, TServerStore& store, TAccounts& accounts, TCheckQueue& checks,
                TPushOptions options);
    ~TPushServer();
    TPushServer(const TPushServer&) = delete;
    TPushServer& operator=(const TPushServer&) = delete;

    // Binds and starts accepting; returns the bound port (useful with port 0).
    // Throws std::system_error when the address cannot be bound.
    std::uint16_t Listen(const std::string& host, std::uint16_t port);
    // Stops accepting and closes every connection; call on the io thread or
    // after the io context has stopped.
    void Close();

    // Counts for tests and the log (read from any thread).
    [[nodiscard]] std::size_t ConnectionCount() const { return FCount.load(); }
    [[nodiscard]] std::size_t SignedInCount() const { return FSignedIn.load(); }

private:
    struct TSession;
    using TSessionPtr = std::shared_ptr<TSession>;

    struct TUnsigned;

    void accept();
    void acceptSome();
    void acceptLater();
    void admit(int fd, std::string address);
    void armPoll();
    void poll();
    [[nodiscard]] TSessionPtr sessionOf(const TSession* s) const;
    void onReadable(const TSessionPtr& s);
    void onWritable(TSession& s);
    void watchWrites(TSession& s, bool on);
    void onPacket(const TSessionPtr& s, std::int32_t command, const std::string& device,
                  std::span<const std::uint8_t> body);
    void beginLogin(const TSessionPtr& s, std::int64_t userId, std::string digest, std::string device);
    void finishLogin(const TSessionPtr& s, std::int64_t userId, std::string device, bool ok);
    void changed(const TSessionPtr& s, const std::string& noteId);
    void fanOut(std::int64_t user, const std::string& senderDevice, const TSession* sender,
                const std::string& noteId);
    void send(const TSessionPtr& s, const std::string& bytes);
    void close(const TSessionPtr& s);
    void admitUnsigned(const TSessionPtr& s);
    void leaveUnsigned(TSession& s);
    void sweep();

    asio::io_context& FIo;
    TServerStore& FStore;
    TAccounts& FAccounts;
    TCheckQueue& FChecks;
    TPushOptions FOptions;
    asio::ip::tcp::acceptor FAcceptor;
    // The connections' epoll set; readable when one of them has an event.
    asio::posix::stream_descriptor FPoll;
    asio::steady_timer FSweepTimer;
    asio::thread_pool FPublisher{1};
    std::size_t FPublishing = 0; // io thread only
    std::uint64_t FDroppedNotices = 0;
    std::string FOrigin;                // this process, in notices to the others
    std::vector<TSessionPtr> FSessions; // each knows its place
    // Closed ones whose events may still be in hand, kept until those are done.
    std::vector<TSessionPtr> FClosed;
    std::unordered_map<std::int64_t, std::vector<TSession*>> FByUser;
    std::list<TSession*> FUnsigned; // oldest first
    std::unordered_map<std::string, std::size_t> FUnsignedByAddress;
    std::atomic<std::size_t> FCount{0};
    std::atomic<std::size_t> FSignedIn{0};
    std::shared_ptr<std::atomic<bool>> FAlive;
};

} // namespace zsrv
