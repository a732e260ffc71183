#include "server/push/uPushServer.h"

#include "server/base/uAcceptor.h"
#include "shared/uPushPacket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdio>
#include <netinet/tcp.h>
#include <random>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace zsrv {

namespace {

using TClock = std::chrono::steady_clock;

std::uint32_t nowSeconds() {
    static const TClock::time_point start = TClock::now();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(TClock::now() - start).count());
}

// One buffer for every read: the io thread reads one socket at a time, and an
// idle connection should not carry a buffer of its own.
thread_local std::array<std::uint8_t, 16384> tReadBuffer;
// What one readiness event may take from one connection before the others get
// their turn: a client that streams without pause must not hold the thread.
constexpr std::size_t kReadPerTurn = 64 * 1024;
// Connections taken from the listener, and events taken from the epoll set,
// before the io context runs its other work.
constexpr int kAcceptPerTurn = 64;
constexpr int kEventsPerTurn = 256;

std::string addressText(const sockaddr_storage& a) {
    char text[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(a).sin_addr, text, sizeof text);
    else if (a.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(a).sin6_addr, text, sizeof text);
    return text;
}

std::string peerAddress(int fd) {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    return ::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 ? addressText(a) : std::string();
}

} // namespace

// What a connection needs until it has signed in.
struct TPushServer::TUnsigned {
    std::string Address;
    std::list<TSession*>::iterator At; // in FUnsigned
    std::vector<std::string> Held;     // changes sent while the sign-in is checked
};

// Kept small: a server holds one per device.
struct TPushServer::TSession {
    explicit TSession(int fd) : Fd(fd) {}
    ~TSession() {
        if (Fd >= 0)
            ::close(Fd);
    }
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    int Fd;
    std::uint32_t Index = 0; // in FSessions
    std::uint32_t Opened = nowSeconds();
    std::uint32_t LastActive = Opened;
    std::uint32_t Publishing = 0; // its notices not yet handed to the store
    bool SignedIn = false;
    bool Verifying = false;
    bool Closed = false;
    bool Writing = false; // the epoll set waits for room to write
    // Closed, as a check in the queue reads it: a check of a connection that
    // is gone is not made.
    std::atomic<bool> Gone{false};
    std::int64_t UserId = 0;
    push::TPushStreamReader Reader;
    std::string DeviceId;
    std::unique_ptr<std::string> Out;       // what the socket has not taken yet
    std::unique_ptr<TUnsigned> NotSignedIn; // null once signed in
};

TPushServer::TPushServer(asio::io_context& io, TServerStore& store, TAccounts& accounts, TCheckQueue& checks,
                         TPushOptions options)
    : FIo(io), FStore(store), FAccounts(accounts), FChecks(checks), FOptions(options), FAcceptor(io),
      FPoll(io), FSweepTimer(io), FAlive(std::make_shared<std::atomic<bool>>(true)) {
    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0)
        throw std::system_error(errno, std::system_category(), "epoll_create1");
    FPoll.assign(ep);
    std::random_device rd;
    FOrigin = std::to_string(rd()) + "-" + std::to_string(rd());
}

TPushServer::~TPushServer() {
    FAlive->store(false);
    FPublisher.join();
}

std::uint16_t TPushServer::Listen(const std::string& host, std::uint16_t port) {
    BindAndListen(FAcceptor, host, port);
    FAcceptor.non_blocking(true);
    accept();
    armPoll();
    sweep();
    // Runs on the store's listener thread, which may outlive this object: it
    // touches nothing of it but copies, and the io context outlives the store.
    FStore.Subscribe([this, alive = FAlive, origin = FOrigin, io = &FIo](const TPushNotice& n) {
        if (!alive->load() || n.Origin == origin)
            return;
        asio::post(*io, [this, alive, n] {
            if (alive->load())
                fanOut(n.UserId, n.DeviceId, nullptr, n.NoteId);
        });
    });
    return FAcceptor.local_endpoint().port();
}

void TPushServer::Close() {
    std::error_code ec;
    FAcceptor.close(ec);
    FSweepTimer.cancel();
    const std::vector<TSessionPtr> all = FSessions;
    for (const TSessionPtr& s : all)
        close(s);
    FPoll.close(ec);
    FClosed.clear();
}

void TPushServer::accept() {
    FAcceptor.async_wait(asio::ip::tcp::acceptor::wait_read, [this](std::error_code ec) {
        if (ec == asio::error::operation_aborted || !FAcceptor.is_open())
            return;
        if (ec)
            acceptLater();
        else
            acceptSome();
    });
}

void TPushServer::acceptSome() {
    for (int i = 0; i < kAcceptPerTurn; ++i) {
        sockaddr_storage from{};
        socklen_t len = sizeof from;
        const int fd = ::accept4(FAcceptor.native_handle(), reinterpret_cast<sockaddr*>(&from), &len,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            admit(fd, addressText(from));
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            accept();
            return;
        }
        if (errno != EINTR && errno != ECONNABORTED) {
            acceptLater();
            return;
        }
    }
    // More may wait, and the listener signals only new ones: come back after
    // the other work in line.
    asio::post(FIo, [this, alive = FAlive] {
        if (alive->load() && FAcceptor.is_open())
            acceptSome();
    });
}

void TPushServer::acceptLater() {
    // Out of file descriptors, most likely: wait for the sweep to free some.
    auto retry = std::make_shared<asio::steady_timer>(FIo, std::chrono::milliseconds(100));
    retry->async_wait([this, retry](std::error_code) {
        if (FAcceptor.is_open())
            acceptSome();
    });
}

void TPushServer::admit(int fd, std::string address) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Past the limit the oldest connection not signed in makes room; when
    // every one is signed in, the new one is turned away.
    if (FSessions.size() >= FOptions.MaxConnections) {
        if (FUnsigned.empty()) {
            ::close(fd);
            return;
        }
        close(sessionOf(FUnsigned.front()));
    }
    auto s = std::make_shared<TSession>(fd);
    s->NotSignedIn = std::make_unique<TUnsigned>();
    s->NotSignedIn->Address = std::move(address);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = s.get();
    if (::epoll_ctl(FPoll.native_handle(), EPOLL_CTL_ADD, fd, &ev) != 0)
        return; // the session closes the descriptor
    // Room is made before the new one counts, so that the count never passes a cap.
    admitUnsigned(s);
    s->Index = static_cast<std::uint32_t>(FSessions.size());
    FSessions.push_back(s);
    ++FCount;
}

TPushServer::TSessionPtr TPushServer::sessionOf(const TSession* s) const {
    return FSessions.at(s->Index);
}

void TPushServer::admitUnsigned(const TSessionPtr& s) {
    const std::string& address = s->NotSignedIn->Address;
    // The oldest connection, of the address when given. One whose check is
    // under way counts too: a flood of bogus sign-ins must not escape the caps.
    const auto oldest = [this](const std::string* from) -> TSession* {
        for (TSession* u : FUnsigned)
            if (!from || u->NotSignedIn->Address == *from)
                return u;
        return nullptr;
    };
    const auto evict = [this](TSession* victim) {
        if (victim)
            close(sessionOf(victim));
    };
    if (FUnsignedByAddress[address] >= FOptions.MaxUnsignedPerAddress)
        evict(oldest(&address));
    if (FUnsigned.size() >= FOptions.MaxUnsigned)
        evict(oldest(nullptr));
    s->NotSignedIn->At = FUnsigned.insert(FUnsigned.end(), s.get());
    ++FUnsignedByAddress[address];
}

void TPushServer::leaveUnsigned(TSession& s) {
    if (!s.NotSignedIn)
        return;
    const std::unique_ptr<TUnsigned> u = std::move(s.NotSignedIn);
    FUnsigned.erase(u->At);
    const auto it = FUnsignedByAddress.find(u->Address);
    if (it != FUnsignedByAddress.end() && --it->second == 0)
        FUnsignedByAddress.erase(it);
}

void TPushServer::armPoll() {
    FPoll.async_wait(asio::posix::stream_descriptor::wait_read, [this](std::error_code ec) {
        if (!ec)
            poll();
    });
}

void TPushServer::poll() {
    std::array<epoll_event, kEventsPerTurn> events;
    const int n = ::epoll_wait(FPoll.native_handle(), events.data(), kEventsPerTurn, 0);
    for (int i = 0; i < n; ++i) {
        auto* raw = static_cast<TSession*>(events[std::size_t(i)].data.ptr);
        if (raw->Closed)
            continue;
        const TSessionPtr s = sessionOf(raw);
        if (events[std::size_t(i)].events & EPOLLOUT)
            onWritable(*s);
        if (!s->Closed && (events[std::size_t(i)].events & (EPOLLIN | EPOLLHUP | EPOLLERR)))
            onReadable(s);
    }
    FClosed.clear();
    // The io context sees the set only when it becomes ready anew: wait for
    // that once it is drained, else come back after the other work in line.
    if (n == kEventsPerTurn)
        asio::post(FIo, [this, alive = FAlive] {
            if (alive->load() && FPoll.is_open())
                poll();
        });
    else
        armPoll();
}

void TPushServer::onReadable(const TSessionPtr& s) {
    for (std::size_t taken = 0; taken < kReadPerTurn;) {
        const ssize_t n = ::recv(s->Fd, tReadBuffer.data(), tReadBuffer.size(), 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            break;
        if (n <= 0) {
            close(s);
            return;
        }
        taken += std::size_t(n);
        s->LastActive = nowSeconds();
        const auto status =
            s->Reader.Feed({tReadBuffer.data(), std::size_t(n)}, [&](const push::TPacketView& p) {
                onPacket(s, p.Header.Command, p.Header.deviceId(), p.Body);
            });
        if (status == push::TPushStreamReader::TStatus::Garbage) {
            close(s);
            return;
        }
        if (s->Closed)
            return;
        if (std::size_t(n) < tReadBuffer.size())
            break;
    }
}

void TPushServer::onPacket(const TSessionPtr& s, std::int32_t command, const std::string& device,
                           std::span<const std::uint8_t> body) {
    if (s->Closed)
        return;
    switch (command) {
    case push::CMD_LOGIN: {
        const auto login = push::DecodeLogin(body);
        if (!login) {
            close(s);
            return;
        }
        if (!s->Verifying)
            beginLogin(s, login->UserId, login->Password, device);
        return;
    }
    case push::CMD_NOTECHANGED: {
        const auto changed = push::DecodeNoteChanged(body);
        if (!changed) {
            close(s);
            return;
        }
        // Only the signed-in user's devices hear of it, whatever user id the body
        // claims. A change sent while the sign-in is checked waits for the check.
        if (s->Verifying && !s->SignedIn && s->NotSignedIn) {
            auto& held = s->NotSignedIn->Held;
            if (held.size() >= FOptions.MaxHeldChanges) {
                close(s);
                return;
            }
            held.push_back(changed->NoteId);
            return;
        }
        if (s->SignedIn)
            this->changed(s, changed->NoteId);
        return;
    }
    case push::CMD_KEEPALIVE: {
        const auto keep = push::DecodeKeepAlive(body);
        if (!keep) {
            close(s);
            return;
        }
        send(s, push::EncodeKeepAlive({}, push::TKeepAliveBody{0, keep->Random}));
        return;
    }
    case push::CMD_LOGOUT:
    default:
        close(s);
        return;
    }
}

void TPushServer::changed(const TSessionPtr& s, const std::string& noteId) {
    fanOut(s->UserId, s->DeviceId, s.get(), noteId);
    if (!FStore.HasPeers())
        return;
    // The store may be slow: what waits for it is bounded.
    if (s->Publishing >= FOptions.MaxPublishingPerDevice) {
        close(s);
        return;
    }
    if (FPublishing >= FOptions.MaxPublishing) {
        if (FDroppedNotices++ % 1000 == 0)
            std::fprintf(stderr,
                         "push: the other servers are slow to hear of changes; notices dropped: %llu\n",
                         static_cast<unsigned long long>(FDroppedNotices));
        return;
    }
    ++s->Publishing;
    ++FPublishing;
    asio::post(FPublisher,
               [this, alive = FAlive, s, n = TPushNotice{s->UserId, s->DeviceId, noteId, FOrigin}] {
                   if (!alive->load())
                       return;
                   try {
                       FStore.Publish(n);
                   } catch (const std::exception& e) {
                       std::fprintf(stderr, "push: cannot tell the other servers: %s\n", e.what());
                   }
                   asio::post(FIo, [this, alive, s] {
                       if (!alive->load())
                           return;
                       --s->Publishing;
                       --FPublishing;
                   });
               });
}

void TPushServer::beginLogin(const TSessionPtr& s, std::int64_t userId, std::string digest,
                             std::string device) {
    s->Verifying = true;
    TAccounts* accounts = &FAccounts;
    asio::io_context* io = &FIo;
    const std::string address = s->NotSignedIn ? s->NotSignedIn->Address : peerAddress(s->Fd);
    const auto admit =
        FChecks.Post(address, [this, accounts, io, alive = FAlive, s, userId, digest = std::move(digest),
                               device = std::move(device)]() mutable {
            if (!alive->load() || s->Gone.load())
                return;
            bool ok = false;
            try {
                ok = accounts->Authenticate(std::to_string(userId), digest).has_value();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "push: sign-in check failed: %s\n", e.what());
            }
            asio::post(*io, [this, alive, s, userId, device = std::move(device), ok]() mutable {
                if (alive->load())
                    finishLogin(s, userId, std::move(device), ok);
            });
        });
    // No room to check it now: the device tries again after its own pause.
    if (admit != TCheckQueue::TAdmit::Queued)
        close(s);
}

void TPushServer::finishLogin(const TSessionPtr& s, std::int64_t userId, std::string device, bool ok) {
    s->Verifying = false;
    if (s->Closed)
        return;
    if (!ok) {
        close(s);
        return;
    }
    if (s->SignedIn) {
        auto& list = FByUser[s->UserId];
        list.erase(std::remove(list.begin(), list.end(), s.get()), list.end());
        --FSignedIn;
    }
    // A device that signs in again has lost its old connection, whether or not
    // we have noticed yet: keep only the new one.
    auto& list = FByUser[userId];
    std::vector<TSession*> stale;
    for (TSession* other : list)
        if (other != s.get() && other->DeviceId == device)
            stale.push_back(other);
    for (TSession* other : stale)
        close(sessionOf(other));
    // An account's devices are capped; the one that signed in longest ago goes.
    while (FByUser[userId].size() >= FOptions.MaxDevicesPerAccount)
        close(sessionOf(FByUser[userId].front()));
    std::vector<std::string> held;
    if (s->NotSignedIn)
        held.swap(s->NotSignedIn->Held);
    leaveUnsigned(*s);
    s->SignedIn = true;
    s->UserId = userId;
    s->DeviceId = std::move(device);
    FByUser[userId].push_back(s.get());
    ++FSignedIn;
    for (const std::string& noteId : held) {
        if (s->Closed)
            break;
        changed(s, noteId);
    }
}

void TPushServer::fanOut(std::int64_t user, const std::string& senderDevice, const TSession* sender,
                         const std::string& noteId) {
    const auto it = FByUser.find(user);
    if (it == FByUser.end())
        return;
    const std::string packet = push::EncodeNoteChanged(
        senderDevice, push::TNoteChangedBody{static_cast<std::int32_t>(user), noteId});
    std::vector<TSessionPtr> targets;
    targets.reserve(it->second.size());
    for (TSession* other : it->second)
        if (other != sender && other->DeviceId != senderDevice)
            targets.push_back(sessionOf(other));
    for (const TSessionPtr& t : targets)
        send(t, packet);
}

void TPushServer::send(const TSessionPtr& s, const std::string& bytes) {
    if (s->Closed)
        return;
    if (s->Out) {
        if (s->Out->size() + bytes.size() > FOptions.MaxQueuedBytes) {
            close(s);
            return;
        }
        s->Out->append(bytes);
        return;
    }
    ssize_t n = ::send(s->Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        n = 0;
    else if (n < 0) {
        close(s);
        return;
    }
    if (std::size_t(n) < bytes.size()) {
        s->Out = std::make_unique<std::string>(bytes.substr(std::size_t(n)));
        watchWrites(*s, true);
    }
}

void TPushServer::onWritable(TSession& s) {
    if (!s.Out) {
        watchWrites(s, false);
        return;
    }
    const ssize_t n = ::send(s.Fd, s.Out->data(), s.Out->size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            close(sessionOf(&s));
        return;
    }
    s.Out->erase(0, std::size_t(n));
    if (s.Out->empty()) {
        s.Out.reset();
        watchWrites(s, false);
    }
}

void TPushServer::watchWrites(TSession& s, bool on) {
    if (s.Writing == on)
        return;
    s.Writing = on;
    epoll_event ev{};
    ev.events = on ? EPOLLIN | EPOLLOUT : EPOLLIN;
    ev.data.ptr = &s;
    ::epoll_ctl(FPoll.native_handle(), EPOLL_CTL_MOD, s.Fd, &ev);
}

void TPushServer::close(const TSessionPtr& session) {
    const TSessionPtr s = session; // the caller's may be the list's own, which moves below
    if (s->Closed)
        return;
    s->Closed = true;
    s->Gone.store(true);
    leaveUnsigned(*s);
    if (s->SignedIn) {
        const auto it = FByUser.find(s->UserId);
        if (it != FByUser.end()) {
            auto& list = it->second;
            list.erase(std::remove(list.begin(), list.end(), s.get()), list.end());
            if (list.empty())
                FByUser.erase(it);
        }
        --FSignedIn;
    }
    ::shutdown(s->Fd, SHUT_RDWR);
    ::close(s->Fd); // leaves the epoll set too
    s->Fd = -1;
    s->Out.reset();
    const std::uint32_t at = s->Index;
    if (at < FSessions.size() && FSessions[at] == s) {
        if (at + 1 != FSessions.size()) {
            FSessions[at] = std::move(FSessions.back());
            FSessions[at]->Index = at;
        }
        FSessions.pop_back();
        --FCount;
        // Events already taken from the epoll set may still name it.
        FClosed.push_back(s);
    }
}

void TPushServer::sweep() {
    const std::uint32_t now = nowSeconds();
    const auto idle = static_cast<std::uint32_t>(FOptions.IdleLimit.count());
    const auto login = static_cast<std::uint32_t>(FOptions.LoginLimit.count());
    std::vector<TSessionPtr> expired;
    for (const TSessionPtr& s : FSessions) {
        if (now - s->LastActive > idle || (!s->SignedIn && now - s->Opened > login))
            expired.push_back(s);
    }
    for (const TSessionPtr& s : expired)
        close(s);
    expired.clear();
    // Nothing is in hand here: what closed can go.
    FClosed.clear();
    FSweepTimer.expires_after(FOptions.SweepInterval);
    FSweepTimer.async_wait([this](std::error_code ec) {
        if (!ec)
            sweep();
    });
}

} // namespace zsrv
