// The push server over raw sockets, with packets laid out byte by byte here
// (not with the shared packet code, so that a mistake there cannot hide).

#include "ServerTestSupport.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace servertest;
using namespace std::chrono_literals;

namespace {

void put32(std::string& s, std::size_t at, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        s[at + std::size_t(i)] = char((u >> (8 * i)) & 0xFF);
}

std::int32_t get32(const std::string& s, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= std::uint32_t(static_cast<unsigned char>(s[at + std::size_t(i)])) << (8 * i);
    return static_cast<std::int32_t>(u);
}

std::string header(std::int32_t command, const std::string& device, std::int32_t pass = 502613,
                   std::int32_t deviceLen = -2) {
    std::string h(132, '\0');
    put32(h, 0, pass);
    put32(h, 4, 1);
    put32(h, 8, command);
    put32(h, 24, 100);
    put32(h, 28, deviceLen == -2 ? std::int32_t(device.size()) : deviceLen);
    std::memcpy(h.data() + 32, device.data(), std::min<std::size_t>(device.size(), 100));
    return h;
}

std::string loginPacket(const std::string& device, std::int32_t user, const std::string& name,
                        const std::string& digest, std::int32_t nameLen = -2) {
    std::string b(212, '\0');
    put32(b, 0, user);
    put32(b, 4, nameLen == -2 ? std::int32_t(name.size()) : nameLen);
    put32(b, 8, std::int32_t(digest.size()));
    std::memcpy(b.data() + 12, name.data(), std::min<std::size_t>(name.size(), 100));
    std::memcpy(b.data() + 112, digest.data(), std::min<std::size_t>(digest.size(), 100));
    return header(1, device) + b;
}

std::string changedPacket(const std::string& device, std::int32_t user, const std::string& noteId,
                          std::int32_t idLen = -2) {
    std::string b(58, '\0');
    put32(b, 0, user);
    put32(b, 4, idLen == -2 ? std::int32_t(noteId.size()) : idLen);
    std::memcpy(b.data() + 8, noteId.data(), std::min<std::size_t>(noteId.size(), 50));
    return header(10, device) + b;
}

std::string keepAlivePacket(const std::string& device, std::int32_t random) {
    std::string b(8, '\0');
    put32(b, 4, random);
    return header(20, device) + b;
}

std::string logoutPacket(const std::string& device, std::int32_t user) {
    std::string b(12, '\0');
    put32(b, 0, user);
    put32(b, 8, 1);
    return header(30, device) + b;
}

class TPushClient {
public:
    // from: the address to connect from (any of 127.0.0.0/8 is this computer).
    explicit TPushClient(std::uint16_t port, const char* from = nullptr)
        : FFd(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (from) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            ::inet_pton(AF_INET, from, &local.sin_addr);
            if (::bind(FFd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
                ADD_FAILURE() << "bind: " << std::strerror(errno);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            ADD_FAILURE() << "connect: " << std::strerror(errno);
    }
    ~TPushClient() { ::close(FFd); }
    [[nodiscard]] int fd() const { return FFd; }
    TPushClient(const TPushClient&) = delete;
    TPushClient& operator=(const TPushClient&) = delete;

    void send(const std::string& bytes) const {
        ASSERT_EQ(::send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }

    // The next whole packet (header and the body its command implies), or nothing within the time.
    std::optional<std::string> packet(std::chrono::milliseconds within = 3000ms) {
        if (!fill(132, within))
            return std::nullopt;
        const std::int32_t command = get32(FBuffer, 8);
        const std::size_t body = command == 10 ? 58 : command == 20 ? 8 : 0;
        if (!fill(132 + body, within))
            return std::nullopt;
        std::string p = FBuffer.substr(0, 132 + body);
        FBuffer.erase(0, 132 + body);
        return p;
    }

    // True when the server closes the connection within the time.
    bool closedWithin(std::chrono::milliseconds within) {
        const auto end = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{FFd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            char buf[512];
            const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
            if (n <= 0)
                return true;
            FBuffer.append(buf, std::size_t(n));
        }
        return false;
    }

private:
    bool fill(std::size_t size, std::chrono::milliseconds within) {
        const auto end = std::chrono::steady_clock::now() + within;
        while (FBuffer.size() < size) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{FFd, POLLIN, 0};
            if (::poll(&p, 1, int(left.count())) <= 0)
                return false;
            char buf[512];
            const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
            FBuffer.append(buf, std::size_t(n));
        }
        return true;
    }

    int FFd;
    std::string FBuffer;
};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds within = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + within;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

const std::string kPcA = "AAAAAAAA-0000-0000-0000-000000000001";
const std::string kPcB = "BBBBBBBB-0000-0000-0000-000000000002";
const std::string kPcC = "CCCCCCCC-0000-0000-0000-000000000003";
const std::string kPcD = "DDDDDDDD-0000-0000-0000-000000000004";
const std::string kNote = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

class PushServer : public TStoreTest {
protected:
    static zsrv::TServerConfig config() {
        zsrv::TServerConfig c = TTestServer::QuietConfig();
        c.PushIdleSeconds = 2;
        c.PushLoginSeconds = 2;
        return c;
    }

    // Connects and signs a device in, and waits until the server has taken it.
    std::unique_ptr<TPushClient> signIn(TTestServer& server, std::int64_t user, const std::string& password,
                                        const std::string& device) {
        const std::size_t before = server.app().PushSignedIn();
        auto c = std::make_unique<TPushClient>(server.pushPort());
        c->send(loginPacket(device, std::int32_t(user), "ann@example.com", Md5(password)));
        EXPECT_TRUE(waitFor([&] { return server.app().PushSignedIn() > before; }));
        return c;
    }

    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location(), config()};
    std::int64_t FAnn = FServer.addUser("ann@example.com", "ann-pass");
    std::int64_t FBob = FServer.addUser("bob@example.com", "bob-pass");
};

TEST_P(PushServer, NoteChangeReachesTheUsersOtherDevicesOnly) {
    auto a = signIn(FServer, FAnn, "ann-pass", kPcA);
    auto b = signIn(FServer, FAnn, "ann-pass", kPcB);
    auto c = signIn(FServer, FAnn, "ann-pass", kPcC);
    auto d = signIn(FServer, FBob, "bob-pass", kPcD);
    // A body claiming another user changes nothing: the connection's account counts.
    a->send(changedPacket(kPcA, std::int32_t(FBob), kNote));
    for (TPushClient* other : {b.get(), c.get()}) {
        const auto p = other->packet();
        ASSERT_TRUE(p);
        EXPECT_EQ(get32(*p, 0), 502613);
        EXPECT_EQ(get32(*p, 4), 1);
        EXPECT_EQ(get32(*p, 8), 10);
        EXPECT_EQ(p->substr(140, std::size_t(get32(*p, 136))), kNote);
    }
    EXPECT_FALSE(a->packet(300ms));
    EXPECT_FALSE(d->packet(300ms));
}

TEST_P(PushServer, KeepAlivesAreAnsweredAcrossSplitAndJoinedReads) {
    TPushClient c(FServer.pushPort());
    // The sign-in arrives one byte at a time, then two keep-alives in one write.
    const std::string login = loginPacket(kPcA, std::int32_t(FAnn), "ann@example.com", Md5("ann-pass"));
    for (char ch : login) {
        c.send(std::string(1, ch));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(waitFor([&] { return FServer.app().PushSignedIn() == 1; }));
    c.send(keepAlivePacket(kPcA, 4711) + keepAlivePacket(kPcA, 42));
    for (std::int32_t expected : {4711, 42}) {
        const auto p = c.packet();
        ASSERT_TRUE(p);
        EXPECT_EQ(get32(*p, 0), 502613);
        EXPECT_EQ(get32(*p, 8), 20);
        EXPECT_EQ(get32(*p, 136), expected);
    }
}

TEST_P(PushServer, GarbageClosesOnlyThatConnection) {
    auto keeper = signIn(FServer, FAnn, "ann-pass", kPcA);
    std::string shortDevice = header(20, kPcB, 502613, 101) + std::string(8, '\0');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"wrong pass value", header(20, kPcB, 502612) + std::string(8, '\0')},
        {"unknown command", header(99, kPcB) + std::string(64, '\0')},
        {"device id length over its field", shortDevice},
        {"negative device id length", header(20, kPcB, 502613, -1) + std::string(8, '\0')},
        {"user name length over its field",
         loginPacket(kPcB, std::int32_t(FAnn), "ann@example.com", Md5("ann-pass"), 101)},
        {"negative user name length",
         loginPacket(kPcB, std::int32_t(FAnn), "ann@example.com", Md5("ann-pass"), -5)},
        {"an HTTP request", "GET / HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"zero bytes", std::string(400, '\0')},
        {"logout", logoutPacket(kPcB, std::int32_t(FAnn))},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        TPushClient bad(FServer.pushPort());
        bad.send(bytes);
        EXPECT_TRUE(bad.closedWithin(2000ms));
        keeper->send(keepAlivePacket(kPcA, 7));
        const auto p = keeper->packet();
        ASSERT_TRUE(p);
        EXPECT_EQ(get32(*p, 8), 20);
    }
    // A note id longer than its field, after a good sign-in.
    auto b = signIn(FServer, FAnn, "ann-pass", kPcB);
    b->send(changedPacket(kPcB, std::int32_t(FAnn), kNote, 51));
    EXPECT_TRUE(b->closedWithin(2000ms));
    EXPECT_FALSE(keeper->packet(200ms));
    EXPECT_TRUE(waitFor([&] { return FServer.app().PushConnections() == 1; }));
}

TEST_P(PushServer, RefusedSignInClosesAndNoticesBeforeSignInGoNowhere) {
    const std::vector<std::pair<std::int64_t, std::string>> refused = {{FAnn, Md5("wrong")},
                                                                       {FAnn, ""},
                                                                       {999999, Md5("ann-pass")},
                                                                       {0, Md5("ann-pass")},
                                                                       {FBob, Md5("ann-pass")}};
    for (const auto& [user, digest] : refused) {
        SCOPED_TRACE(std::to_string(user) + " " + digest);
        TPushClient c(FServer.pushPort());
        c.send(loginPacket(kPcB, std::int32_t(user), "ann@example.com", digest));
        EXPECT_TRUE(c.closedWithin(3000ms));
    }
    auto a = signIn(FServer, FAnn, "ann-pass", kPcA);
    TPushClient anonymous(FServer.pushPort());
    anonymous.send(changedPacket(kPcB, std::int32_t(FAnn), kNote));
    EXPECT_FALSE(a->packet(300ms));
}

TEST_P(PushServer, SilenceAndReconnectsEndOldConnections) {
    TPushClient mute(FServer.pushPort()); // never speaks
    auto quiet = signIn(FServer, FAnn, "ann-pass", kPcA);
    auto alive = signIn(FServer, FAnn, "ann-pass", kPcB);
    const auto start = std::chrono::steady_clock::now();
    bool muteClosed = false;
    bool quietClosed = false;
    while (std::chrono::steady_clock::now() - start < 6500ms && !(muteClosed && quietClosed)) {
        alive->send(keepAlivePacket(kPcB, 1));
        ASSERT_TRUE(alive->packet());
        muteClosed = muteClosed || mute.closedWithin(100ms);
        quietClosed = quietClosed || quiet->closedWithin(100ms);
    }
    EXPECT_TRUE(muteClosed);
    EXPECT_TRUE(quietClosed);

    // The same device signing in again replaces its old connection.
    auto again = std::make_unique<TPushClient>(FServer.pushPort());
    again->send(loginPacket(kPcB, std::int32_t(FAnn), "ann@example.com", Md5("ann-pass")));
    EXPECT_TRUE(alive->closedWithin(1500ms));
    again->send(keepAlivePacket(kPcB, 3));
    EXPECT_TRUE(again->packet());
}

TEST_P(PushServer, ConnectionsThatNeverSignInLeaveRoomForThoseThatDo) {
    zsrv::TServerConfig c = config();
    c.PushLoginSeconds = 60;
    c.PushUnsignedPerAddress = 4;
    c.PushUnsignedTotal = 6;
    TTestDatabase db(GetParam());
    TTestServer server(db.location(), c);
    const std::int64_t ann = server.addUser("ann@example.com", "ann-pass");
    std::vector<std::unique_ptr<TPushClient>> idle;
    for (int i = 0; i < 10; ++i)
        idle.push_back(std::make_unique<TPushClient>(server.pushPort()));
    ASSERT_TRUE(waitFor([&] { return server.app().PushConnections() <= 4; }));
    // The oldest went first; the newest are still held.
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(idle[std::size_t(i)]->closedWithin(1000ms)) << i;
    EXPECT_FALSE(idle.back()->closedWithin(100ms));

    // A device still gets in and signs in; once signed in, it no longer counts.
    auto device = signIn(server, ann, "ann-pass", kPcA);
    for (int i = 0; i < 10; ++i)
        idle.push_back(std::make_unique<TPushClient>(server.pushPort()));
    device->send(keepAlivePacket(kPcA, 7));
    const auto p = device->packet();
    ASSERT_TRUE(p);
    EXPECT_EQ(get32(*p, 136), 7);
    EXPECT_EQ(server.app().PushSignedIn(), 1u);
}

TEST_P(PushServer, TheSendersDeviceNeverHearsItsOwnChangeWhateverItsPacketsClaim) {
    auto a = signIn(FServer, FAnn, "ann-pass", kPcA);
    auto b = signIn(FServer, FAnn, "ann-pass", kPcB);
    // The device the connection signed in with counts, not the one a header names.
    a->send(changedPacket(kPcB, std::int32_t(FAnn), kNote));
    ASSERT_TRUE(b->packet());
    EXPECT_FALSE(a->packet(300ms));

    // A device that comes back on a new connection is still the sender.
    auto again = std::make_unique<TPushClient>(FServer.pushPort());
    again->send(loginPacket(kPcA, std::int32_t(FAnn), "ann@example.com", Md5("ann-pass")));
    // The old connection goes once the new one is signed in.
    ASSERT_TRUE(a->closedWithin(1500ms));
    again->send(changedPacket(kPcA, std::int32_t(FAnn), kNote));
    ASSERT_TRUE(b->packet());
    EXPECT_FALSE(again->packet(300ms));
    b->send(changedPacket(kPcB, std::int32_t(FAnn), kNote));
    ASSERT_TRUE(again->packet());
    EXPECT_FALSE(b->packet(300ms));
}

TEST_P(PushServer, AnotherDeviceIsAnsweredDuringAKeepAliveFlood) {
    auto device = signIn(FServer, FAnn, "ann-pass", kPcA);
    // One connection, never signed in, streams keep-alives as fast as it can
    // and reads the replies, so that nothing stops it.
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        TPushClient flooder(FServer.pushPort());
        std::string batch;
        for (int i = 0; i < 400; ++i)
            batch += keepAlivePacket(kPcB, i);
        const int fd = flooder.fd();
        char sink[65536];
        while (!stop) {
            (void)::send(fd, batch.data(), batch.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
        }
    });
    std::this_thread::sleep_for(300ms);
    for (std::int32_t i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        device->send(keepAlivePacket(kPcA, i));
        const auto p = device->packet(1000ms);
        ASSERT_TRUE(p);
        EXPECT_EQ(get32(*p, 136), i);
        std::this_thread::sleep_for(100ms);
    }
    stop = true;
    flood.join();
}

TEST_P(PushServer, ConnectionsWaitingForACheckStayWithinTheCaps) {
    zsrv::TServerConfig c = config();
    // Long enough for the checks in line on a busy machine.
    c.PushIdleSeconds = 60;
    c.PushLoginSeconds = 60;
    c.PushUnsignedPerAddress = 4;
    c.PushUnsignedTotal = 6;
    TTestDatabase db(GetParam());
    TTestServer server(db.location(), c);
    const std::int64_t ann = server.addUser("ann@example.com", "ann-pass");
    // Sign-ins of accounts that do not exist, each a slow check, faster than
    // they are checked, from another address than the real device's (which
    // would have to wait once that address's checks have failed often enough).
    std::vector<std::unique_ptr<TPushClient>> bogus;
    std::size_t most = 0;
    for (int i = 0; i < 40; ++i) {
        bogus.push_back(std::make_unique<TPushClient>(server.pushPort(), "127.0.0.2"));
        bogus.back()->send(loginPacket(kPcB, 100000 + i, "nobody@example.com", Md5(std::to_string(i))));
        most = std::max(most, server.app().PushConnections());
    }
    for (int i = 0; i < 20; ++i) {
        most = std::max(most, server.app().PushConnections());
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_LE(most, 4u);
    // A real device still gets in, once the checks in line before its own
    // are done (slow ones, on a busy machine).
    auto device = std::make_unique<TPushClient>(server.pushPort());
    device->send(loginPacket(kPcA, std::int32_t(ann), "ann@example.com", Md5("ann-pass")));
    ASSERT_TRUE(waitFor([&] { return server.app().PushSignedIn() == 1; }, 30000ms));
    device->send(keepAlivePacket(kPcA, 9));
    const auto p = device->packet();
    ASSERT_TRUE(p);
    EXPECT_EQ(get32(*p, 136), 9);
}

TEST_P(PushServer, ChangesSentBeforeTheSignInIsCheckedAreDelivered) {
    auto a = signIn(FServer, FAnn, "ann-pass", kPcA);
    // The sign-in and two changes in one write: the changes come before the check ends.
    TPushClient b(FServer.pushPort());
    const std::string second = "7F9619FF-8B86-D011-B42D-00C04FC964FF";
    b.send(loginPacket(kPcB, std::int32_t(FAnn), "ann@example.com", Md5("ann-pass")) +
           changedPacket(kPcB, std::int32_t(FAnn), kNote) + changedPacket(kPcB, std::int32_t(FAnn), second));
    for (const std::string& id : {kNote, second}) {
        const auto p = a->packet();
        ASSERT_TRUE(p);
        EXPECT_EQ(p->substr(140, std::size_t(get32(*p, 136))), id);
    }
    // Those of a sign-in that fails go nowhere.
    TPushClient wrong(FServer.pushPort());
    wrong.send(loginPacket(kPcC, std::int32_t(FAnn), "ann@example.com", Md5("wrong")) +
               changedPacket(kPcC, std::int32_t(FAnn), kNote));
    EXPECT_TRUE(wrong.closedWithin(3000ms));
    EXPECT_FALSE(a->packet(300ms));
}

TEST_P(PushServer, AnAccountsDevicesAreCappedAndTheOldestGoes) {
    zsrv::TServerConfig c = config();
    c.PushDevicesPerAccount = 2;
    TTestDatabase db(GetParam());
    TTestServer server(db.location(), c);
    const std::int64_t ann = server.addUser("ann@example.com", "ann-pass");
    auto first = signIn(server, ann, "ann-pass", kPcA);
    auto second = signIn(server, ann, "ann-pass", kPcB);
    // The third's sign-in closes the first: two stay signed in.
    auto third = std::make_unique<TPushClient>(server.pushPort());
    third->send(loginPacket(kPcC, std::int32_t(ann), "ann@example.com", Md5("ann-pass")));
    EXPECT_TRUE(first->closedWithin(3000ms));
    EXPECT_TRUE(waitFor([&] { return server.app().PushSignedIn() == 2; }));
    third->send(changedPacket(kPcC, std::int32_t(ann), kNote));
    EXPECT_TRUE(second->packet());
}

TEST_P(PushServer, ChangeReachesDevicesHeldByAnotherServerProcess) {
    if (GetParam() != "postgres")
        GTEST_SKIP() << "one SQLite file belongs to one server process";
    TTestServer second(FDb.location(), config());
    auto a = signIn(FServer, FAnn, "ann-pass", kPcA);
    auto b = signIn(second, FAnn, "ann-pass", kPcB);
    auto d = signIn(second, FBob, "bob-pass", kPcD);
    auto a2 =
        signIn(second, FAnn, "ann-pass", kPcA + "-other"); // just so the sender's own device id is tested
    // The sender's device holding a connection to the other process too never hears its own change.
    auto twin = signIn(second, FAnn, "ann-pass", kPcA);
    a->send(changedPacket(kPcA, std::int32_t(FAnn), kNote));
    const auto p = b->packet();
    ASSERT_TRUE(p);
    EXPECT_EQ(get32(*p, 8), 10);
    EXPECT_TRUE(a2->packet());
    EXPECT_FALSE(d->packet(300ms));
    EXPECT_FALSE(a->packet(300ms));
    EXPECT_FALSE(twin->packet(300ms));
}

TEST_P(PushServer, AReaderThatFallsFarBehindIsDroppedWhileTheOthersGetEveryChange) {
    if (GetParam() == "postgres")
        GTEST_SKIP() << "a device's notices to the other processes are capped: a flood of them closes it";
    auto sender = signIn(FServer, FAnn, "ann-pass", kPcA);
    auto stalled = signIn(FServer, FAnn, "ann-pass", kPcB);
    auto reader = signIn(FServer, FAnn, "ann-pass", kPcC);
    // The stalled device takes nothing and keeps its window small, so that
    // what the server owes it piles up past any buffer.
    const int small = 4096;
    ::setsockopt(stalled->fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    constexpr int kChanges = 20000;
    std::atomic<int> heard{0};
    std::thread listen([&] {
        while (heard < kChanges) {
            const auto p = reader->packet(5000ms);
            if (!p)
                return;
            heard += get32(*p, 8) == 10;
        }
    });
    std::string batch;
    for (int i = 0; i < 100; ++i)
        batch += changedPacket(kPcA, std::int32_t(FAnn), kNote);
    for (int i = 0; i < kChanges / 100; ++i)
        sender->send(batch);
    listen.join();
    EXPECT_EQ(heard.load(), kChanges);
    EXPECT_TRUE(stalled->closedWithin(5000ms));
    sender->send(keepAlivePacket(kPcA, 9));
    const auto p = sender->packet();
    ASSERT_TRUE(p);
    EXPECT_EQ(get32(*p, 136), 9);
}

INSTANTIATE_TEST_SUITE_P(Stores, PushServer, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
