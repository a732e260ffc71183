#include "server/uPushServer.h"

#include "server/uAcceptor.h"
#include "shared/uPushPacket.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>

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

} // namespace

struct TPushServer::TSession {
    explicit TSession(asio::ip::tcp::socket sock) : Sock(std::move(sock)) {}
    asio::ip::tcp::socket Sock;
    push::TPushStreamReader Reader;
    std::string DeviceId;
    std::unique_ptr<std::string> Out; // what the socket has not taken yet
    std::int64_t UserId = 0;
    std::string Address;
    std::list<TSession*>::iterator UnsignedAt; // valid while Unsigned
    bool Unsigned = false;
    std::uint32_t Opened = nowSeconds();
    std::uint32_t LastActive = Opened;
    bool SignedIn = false;
    bool Verifying = false;
    bool Closed = false;
    // Closed, as a check in the queue may read it: a check of a connection
    // that is gone is not made.
    std::atomic<bool> Gone{false};
    std::vector<std::string> Held; // changes sent while the sign-in is checked
    std::size_t Publishing = 0;    // its notices not yet handed to the store
};

TPushServer::TPushServer(asio::io_context& io, TServerStore& store, TAccounts& accounts, TCheckQueue& checks,
                         TPushOptions options)
    : FIo(io), FStore(store), FAccounts(accounts), FChecks(checks), FOptions(options), FAcceptor(io),
      FSweepTimer(io), FAlive(std::make_shared<std::atomic<bool>>(true)) {
    std::random_device rd;
    FOrigin = std::to_string(rd()) + "-" + std::to_string(rd());
}

TPushServer::~TPushServer() {
    FAlive->store(false);
    FPublisher.join();
}

std::uint16_t TPushServer::Listen(const std::string& host, std::uint16_t port) {
    BindAndListen(FAcceptor, host, port);
    accept();
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
    std::vector<TSessionPtr> all;
    all.reserve(FSessions.size());
    for (auto& [raw, s] : FSessions)
        all.push_back(s);
    for (const TSessionPtr& s : all)
        close(s);
}

void TPushServer::accept() {
    FAcceptor.async_accept([this](std::error_code ec, asio::ip::tcp::socket sock) {
        if (ec == asio::error::operation_aborted || !FAcceptor.is_open())
            return;
        if (ec) {
            // Out of file descriptors, most likely: wait for the sweep to free some.
            auto retry = std::make_shared<asio::steady_timer>(FIo, std::chrono::milliseconds(100));
            retry->async_wait([this, retry](std::error_code) {
                if (FAcceptor.is_open())
                    accept();
            });
            return;
        }
        std::error_code opt;
        sock.non_blocking(true, opt);
        sock.set_option(asio::ip::tcp::no_delay(true), opt);
        // Past the limit the oldest connection not signed in makes room; when
        // every one is signed in, the new one is turned away.
        if (FSessions.size() >= FOptions.MaxConnections) {
            if (FUnsigned.empty()) {
                sock.close(opt);
                accept();
                return;
            }
            close(TSessionPtr(FSessions.at(FUnsigned.front())));
        }
        auto s = std::make_shared<TSession>(std::move(sock));
        s->Address = s->Sock.remote_endpoint(opt).address().to_string();
        // Room is made before the new one counts, so that the count never passes a cap.
        admitUnsigned(s);
        FSessions.emplace(s.get(), s);
        ++FCount;
        armRead(s);
        accept();
    });
}

void TPushServer::admitUnsigned(const TSessionPtr& s) {
    // The oldest connection, of the address when given. One whose check is
    // under way counts too: a flood of bogus sign-ins must not escape the caps.
    const auto oldest = [this](const std::string* address) -> TSession* {
        for (TSession* u : FUnsigned)
            if (!address || u->Address == *address)
                return u;
        return nullptr;
    };
    const auto evict = [this](TSession* victim) {
        if (victim)
            close(TSessionPtr(FSessions.at(victim)));
    };
    if (FUnsignedByAddress[s->Address] >= FOptions.MaxUnsignedPerAddress)
        evict(oldest(&s->Address));
    if (FUnsigned.size() >= FOptions.MaxUnsigned)
        evict(oldest(nullptr));
    s->UnsignedAt = FUnsigned.insert(FUnsigned.end(), s.get());
    s->Unsigned = true;
    ++FUnsignedByAddress[s->Address];
}

void TPushServer::leaveUnsigned(TSession& s) {
    if (!s.Unsigned)
        return;
    s.Unsigned = false;
    FUnsigned.erase(s.UnsignedAt);
    const auto it = FUnsignedByAddress.find(s.Address);
    if (it != FUnsignedByAddress.end() && --it->second == 0)
        FUnsignedByAddress.erase(it);
}

void TPushServer::armRead(const TSessionPtr& s) {
    s->Sock.async_wait(asio::ip::tcp::socket::wait_read, [this, s](std::error_code ec) {
        if (!ec && !s->Closed)
            onReadable(s);
    });
}

void TPushServer::onReadable(const TSessionPtr& s) {
    for (std::size_t taken = 0; taken < kReadPerTurn;) {
        std::error_code ec;
        const std::size_t n = s->Sock.read_some(asio::buffer(tReadBuffer), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again)
            break;
        if (ec) {
            close(s);
            return;
        }
        taken += n;
        s->LastActive = nowSeconds();
        const auto status = s->Reader.Feed({tReadBuffer.data(), n}, [&](const push::TPacketView& p) {
            onPacket(s, p.Header.Command, p.Header.deviceId(), p.Body);
        });
        if (status == push::TPushStreamReader::TStatus::Garbage) {
            close(s);
            return;
        }
        if (s->Closed)
            return;
        if (n < tReadBuffer.size())
            break;
    }
    armRead(s);
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
        if (s->Verifying && !s->SignedIn) {
            if (s->Held.size() >= FOptions.MaxHeldChanges) {
                close(s);
                return;
            }
            s->Held.push_back(changed->NoteId);
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
    const auto admit =
        FChecks.Post(s->Address, [this, accounts, io, alive = FAlive, s, userId, digest = std::move(digest),
                                  device = std::move(device)]() mutable {
            if (!alive->load())
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
    for (TSession* other : stale) {
        const auto it = FSessions.find(other);
        if (it != FSessions.end())
            close(TSessionPtr(it->second));
    }
    // An account's devices are capped; the one that signed in longest ago goes.
    while (FByUser[userId].size() >= FOptions.MaxDevicesPerAccount) {
        const auto it = FSessions.find(FByUser[userId].front());
        if (it == FSessions.end())
            break;
        close(TSessionPtr(it->second));
    }
    leaveUnsigned(*s);
    s->SignedIn = true;
    s->UserId = userId;
    s->DeviceId = std::move(device);
    FByUser[userId].push_back(s.get());
    ++FSignedIn;
    std::vector<std::string> held;
    held.swap(s->Held);
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
            targets.push_back(FSessions.at(other));
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
    std::error_code ec;
    std::size_t n = s->Sock.write_some(asio::buffer(bytes), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again)
        n = 0;
    else if (ec) {
        close(s);
        return;
    }
    if (n < bytes.size()) {
        s->Out = std::make_unique<std::string>(bytes.substr(n));
        armWrite(s);
    }
}

void TPushServer::armWrite(const TSessionPtr& s) {
    s->Sock.async_wait(asio::ip::tcp::socket::wait_write, [this, s](std::error_code ec) {
        if (ec || s->Closed || !s->Out)
            return;
        std::error_code wec;
        const std::size_t n = s->Sock.write_some(asio::buffer(*s->Out), wec);
        if (wec && wec != asio::error::would_block && wec != asio::error::try_again) {
            close(s);
            return;
        }
        s->Out->erase(0, wec ? 0 : n);
        if (s->Out->empty())
            s->Out.reset();
        else
            armWrite(s);
    });
}

void TPushServer::close(const TSessionPtr& s) {
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
    std::error_code ec;
    s->Sock.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    s->Sock.close(ec);
    s->Out.reset();
    if (FSessions.erase(s.get()))
        --FCount;
}

void TPushServer::sweep() {
    const std::uint32_t now = nowSeconds();
    const auto idle = static_cast<std::uint32_t>(FOptions.IdleLimit.count());
    const auto login = static_cast<std::uint32_t>(FOptions.LoginLimit.count());
    std::vector<TSessionPtr> expired;
    for (auto& [raw, s] : FSessions) {
        if (now - s->LastActive > idle || (!s->SignedIn && now - s->Opened > login))
            expired.push_back(s);
    }
    for (const TSessionPtr& s : expired)
        close(s);
    FSweepTimer.expires_after(FOptions.SweepInterval);
    FSweepTimer.async_wait([this](std::error_code ec) {
        if (!ec)
            sweep();
    });
}

} // namespace zsrv
