// The web side against one client that misbehaves while others play fair:
// bodies declared but not sent, floods of password checks, handlers that run
// long, requests framed two ways, clients that stop sending. Each time the
// fair client is still served, and the misbehaving one is refused.

#include "ServerTestSupport.h"

#include "server/base/uCheckQueue.h"
#include "server/http/uHttpServer.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace servertest;
using namespace std::chrono_literals;

namespace {

using TClock = std::chrono::steady_clock;

std::string post(const std::string& path, const std::string& body, const std::string& extra = {}) {
    return "POST " + path + " HTTP/1.1\r\nHost: x\r\n" + extra +
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// An HTTP server on its own loop, with routes that echo, sleep or stand for
// a password check, and a check queue when asked for.
class TLocalServer {
public:
    explicit TLocalServer(zsrv::THttpLimits limits, zsrv::TCheckQueue* checks = nullptr)
        : FServer(FIo, limits, 4, nullptr) {
        const std::vector<std::string> form = {"application/x-www-form-urlencoded"};
        const auto echo = [this](const zsrv::THttpRequest& req, zsrv::THttpResponse& res) {
            ++FHandled;
            res.set_content(req.Body, "text/plain");
        };
        FServer.Route("POST", "/echo", 1000, form, echo);
        FServer.Route("POST", "/big", 5000, form, echo);
        FServer.Route("GET", "/free", 0, {}, echo);
        FServer.Route("GET", "/slow", 0, {}, [](const zsrv::THttpRequest& req, zsrv::THttpResponse& res) {
            const std::size_t at = req.Target.find("ms=");
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(req.Target.c_str() + at + 3)));
            res.set_content("slept", "text/plain");
        });
        // A request whose credentials are in the X-Cred line: "good" and
        // "bad" are known; any other is checked slowly ("slow-good" passes).
        const auto state = [](const zsrv::THttpRequest& req) {
            const std::string* cred = req.header("X-Cred");
            if (cred && *cred == "good")
                return zsrv::TCredentialState::KnownGood;
            if (cred && *cred == "bad")
                return zsrv::TCredentialState::KnownBad;
            return zsrv::TCredentialState::Unknown;
        };
        FServer.Route("POST", "/upload", 5000, form, echo);
        FServer.Gate("POST", "/upload", zsrv::TCredentialGate{state, [](const zsrv::THttpRequest& req) {
                                                                  std::this_thread::sleep_for(50ms);
                                                                  const std::string* cred =
                                                                      req.header("X-Cred");
                                                                  return cred && *cred == "slow-good";
                                                              }});
        FServer.Route("GET", "/hash", 0, {}, [](const zsrv::THttpRequest&, zsrv::THttpResponse& res) {
            std::this_thread::sleep_for(300ms);
            res.set_content("hashed", "text/plain");
        });
        FServer.Gate("GET", "/hash", zsrv::TCredentialGate{state, {}});
        FServer.SetCheckQueue(checks);
        FServer.SetLogger([this](const zsrv::THttpLogEntry& e) {
            std::lock_guard l(FLock);
            FLog.push_back(e);
        });
        FPort = FServer.Listen("127.0.0.1", 0);
        FThread = std::thread([this] { FIo.run(); });
    }
    ~TLocalServer() {
        asio::post(FIo, [this] { FServer.Close(); });
        asio::post(FIo, [this] { FIo.stop(); });
        FThread.join();
        FServer.WaitForWorkers();
    }
    [[nodiscard]] std::uint16_t port() const { return FPort; }
    [[nodiscard]] int handled() const { return FHandled.load(); }
    [[nodiscard]] std::vector<zsrv::THttpLogEntry> log() {
        std::lock_guard l(FLock);
        return FLog;
    }
    // CPU time the event loop's thread has used so far.
    [[nodiscard]] std::chrono::milliseconds loopCpu() {
        clockid_t clock{};
        timespec ts{};
        if (pthread_getcpuclockid(FThread.native_handle(), &clock) != 0 || clock_gettime(clock, &ts) != 0)
            return std::chrono::milliseconds(-1);
        return std::chrono::milliseconds(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
    }

private:
    asio::io_context FIo;
    zsrv::THttpServer FServer;
    std::uint16_t FPort = 0;
    std::thread FThread;
    std::atomic<int> FHandled{0};
    std::mutex FLock;
    std::vector<zsrv::THttpLogEntry> FLog;
};

zsrv::THttpLimits tightLimits() {
    zsrv::THttpLimits l;
    l.HeaderTimeout = 600ms;
    l.IdleTimeout = 1000ms;
    l.TransferGrace = 600ms;
    l.MinBytesPerSecond = 1000;
    return l;
}

TEST(HttpFraming, RequestsAProxyMightFrameOtherwiseAreRefused) {
    TLocalServer server(tightLimits());
    const std::string chunkedHead = "POST /echo HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Type: "
                                    "application/x-www-form-urlencoded\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string lengthHead = "POST /echo HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    const struct {
        const char* What;
        std::string Request;
        int Status;
    } cases[] = {
        {"bare LF line ends in the head", "POST /echo HTTP/1.1\nHost: x\nContent-Length: 5\n\nhello", 400},
        {"a head that ends in CRLF LF", "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\nhello",
         400},
        {"a bare CR in the head", "POST /echo HTTP/1.1\r\nHost: x\rX: y\r\nContent-Length: 5\r\n\r\nhello",
         400},
        {"a chunk size line ending in LF", chunkedHead + "5\nhello\r\n0\r\n\r\n", 400},
        {"chunk data ending in LF", chunkedHead + "5\r\nhello\n0\r\n\r\n", 400},
        {"a trailer line ending in LF", chunkedHead + "5\r\nhello\r\n0\r\nX: y\n\r\n", 400},
        {"the last line a bare LF", chunkedHead + "5\r\nhello\r\n0\r\n\n", 400},
        {"a space before the chunk size", chunkedHead + " 5\r\nhello\r\n0\r\n\r\n", 400},
        {"a space after the chunk size", chunkedHead + "5 \r\nhello\r\n0\r\n\r\n", 400},
        {"a space before an extension", chunkedHead + "5 ;a=b\r\nhello\r\n0\r\n\r\n", 400},
        {"NUL in a chunk extension", chunkedHead + std::string("5;a\0b\r\nhello\r\n0\r\n\r\n", 20), 400},
        {"CR in a chunk extension", chunkedHead + "5;a\rb\r\nhello\r\n0\r\n\r\n", 400},
        {"a trailer that is no field", chunkedHead + "5\r\nhello\r\n0\r\nnot a field\r\n\r\n", 400},
        {"a control byte in a trailer", chunkedHead + "5\r\nhello\r\n0\r\nX: a\x01z\r\n\r\n", 400},
        {"a control byte in a header value", lengthHead + "X: a\x01z\r\nContent-Length: 5\r\n\r\nhello", 400},
        {"DEL in a header value", lengthHead + "X: a\x7fz\r\nContent-Length: 5\r\n\r\nhello", 400},
        {"HTTP/1.0 with chunks",
         "POST /echo HTTP/1.0\r\nHost: x\r\nConnection: keep-alive\r\nTransfer-Encoding: chunked\r\n\r\n"
         "5\r\nhello\r\n0\r\n\r\n",
         400},
        {"a folded header line", lengthHead + "X: a\r\n b\r\nContent-Length: 5\r\n\r\nhello", 400},
        {"two lengths", lengthHead + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello!", 400},
        {"a length and chunks",
         lengthHead + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
        {"chunks, then another coding", lengthHead + "Transfer-Encoding: chunked, gzip\r\n\r\n0\r\n\r\n",
         501},
        {"no Host", "POST /echo HTTP/1.1\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello", 400},
        {"two Hosts", lengthHead + "Host: y\r\nContent-Length: 5\r\n\r\nhello", 400},
        {"identity, then gzip",
         lengthHead + "Content-Encoding: identity\r\nContent-Encoding: gzip\r\n"
                      "Content-Length: 5\r\n\r\nhello",
         415},
        {"a request line of 17 KB", "GET /" + std::string(17000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(RawRequest(server.port(), c.Request).Status, c.Status);
    }
    EXPECT_EQ(server.handled(), 0);
    // The same requests framed well are served.
    EXPECT_EQ(RawRequest(server.port(), chunkedHead + "5;a=b;c=\"d e\"\r\nhello\r\n0\r\nX: y\r\n\r\n").Body,
              "hello");
    EXPECT_EQ(RawRequest(server.port(), lengthHead + "Content-Encoding: identity\r\nContent-Type: "
                                                     "application/x-www-form-urlencoded\r\nContent-Length: "
                                                     "5\r\n\r\nhello")
                  .Body,
              "hello");
}

TEST(HttpReplies, CarryADateAndNoRangesAndTheIdleTimeTheyAnnounceHolds) {
    zsrv::THttpLimits limits = tightLimits();
    limits.TransferGrace = 3000ms; // longer than the idle time: the reply's deadline must not linger
    TLocalServer server(limits);
    const TReply head =
        RawRequest(server.port(), "HEAD /free HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(head.Status, 200);
    EXPECT_EQ(head.Head.find("Accept-Ranges"), std::string::npos) << head.Head;
    const std::size_t date = head.Head.find("\r\nDate: ");
    ASSERT_NE(date, std::string::npos) << head.Head;
    std::tm tm{};
    const char* end = strptime(head.Head.c_str() + date + 8, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(std::string(end, 2), "\r\n");
    EXPECT_LT(std::abs(std::difftime(timegm(&tm), std::time(nullptr))), 60.0);

    const int fd = ConnectLoopback(server.port());
    SendText(fd, "GET /free HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string reply = ReadFrom(fd, 3000ms, true);
    EXPECT_NE(reply.find("Keep-Alive: timeout=1,"), std::string::npos) << reply;
    EXPECT_FALSE(ClosedWithin(fd, 500ms));
    EXPECT_TRUE(ClosedWithin(fd, 1500ms));
    ::close(fd);
}

TEST(HttpDeadlines, AHeadTooSlowGets408AndALogLine) {
    TLocalServer server(tightLimits());
    const int fd = ConnectLoopback(server.port());
    SendText(fd, "GET /free HTTP/1.1\r\nHost: x\r\n");
    const std::string reply = ReadFrom(fd, 3000ms);
    ::close(fd);
    EXPECT_EQ(reply.rfind("HTTP/1.1 408 ", 0), 0u) << reply;
    const auto log = server.log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Status, 408);
}

TEST(HttpDeadlines, TheLoopRestsWhileAHandlerRunsPastEveryDeadline) {
    TLocalServer server(tightLimits());
    const auto before = server.loopCpu();
    const int fd = ConnectLoopback(server.port());
    // Three times the grace time, and past the head and idle deadlines too.
    SendText(fd, "GET /slow?ms=1800 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const std::string reply = ReadFrom(fd, 10000ms);
    ::close(fd);
    EXPECT_NE(reply.find("slept"), std::string::npos) << reply;
    const auto used = server.loopCpu() - before;
    ASSERT_GE(before.count(), 0);
    EXPECT_LT(used, 180ms) << "the loop spun while the handler worked";
}

TEST(HttpBodies, OnlyBytesThatCameCountAgainstTheTotal) {
    zsrv::THttpLimits limits = tightLimits();
    limits.TransferGrace = 10000ms;
    limits.MaxBufferedBodyBytes = 7000;
    TLocalServer server(limits);
    // Two clients declare 3000 bytes each and send a few.
    std::vector<int> declared;
    for (int i = 0; i < 2; ++i) {
        declared.push_back(ConnectLoopback(server.port()));
        SendText(declared.back(),
                 "POST /big HTTP/1.1\r\nHost: x\r\nContent-Length: 3000\r\n\r\n" + std::string(100, 'a'));
    }
    std::this_thread::sleep_for(200ms);
    // More than what the declarations leave of the total.
    const std::string body(1500, 'b');
    const TReply r = RawRequest(server.port(), post("/big", body, "Connection: close\r\n"));
    EXPECT_EQ(r.Status, 200);
    EXPECT_EQ(r.Body, body);

    // Bytes that did come count: two clients that send 4000 each pass the total.
    std::vector<int> heavy;
    std::string replies;
    for (int i = 0; i < 2; ++i) {
        heavy.push_back(ConnectLoopback(server.port()));
        SendText(heavy.back(),
                 "POST /big HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n" + std::string(4000, 'c'));
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(ReadFrom(heavy[1], 3000ms, true).rfind("HTTP/1.1 503 ", 0), 0u);
    for (const int fd : declared)
        ::close(fd);
    for (const int fd : heavy)
        ::close(fd);
}

TEST(HttpBodies, CredentialsOfTheHeadAreCheckedBeforeTheBodyIsTaken) {
    zsrv::TCheckQueue checks;
    TLocalServer server(tightLimits(), &checks);
    const struct {
        const char* Cred;
        bool Taken;
    } cases[] = {{"bad", false}, {"nobody", false}, {"good", true}, {"slow-good", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Cred);
        const int fd = ConnectLoopback(server.port());
        // The head alone, asking whether to send the body.
        SendText(fd, "POST /upload HTTP/1.1\r\nHost: x\r\nX-Cred: " + std::string(c.Cred) +
                         "\r\nExpect: 100-continue\r\nContent-Length: 4000\r\n\r\n");
        std::string reply = ReadFrom(fd, 3000ms, true);
        if (c.Taken) {
            EXPECT_EQ(reply.rfind("HTTP/1.1 100 Continue\r\n\r\n", 0), 0u) << reply;
            SendText(fd, std::string(4000, 'u'));
            reply = ReadFrom(fd, 3000ms, true);
            EXPECT_NE(reply.find(std::string(4000, 'u')), std::string::npos);
        } else {
            // Answered by its handler with nothing of the body, and the connection ends.
            EXPECT_EQ(reply.rfind("HTTP/1.1 200 ", 0), 0u) << reply;
            EXPECT_NE(reply.find("Content-Length: 0\r\n"), std::string::npos) << reply;
            EXPECT_TRUE(ClosedWithin(fd, 3000ms));
        }
        ::close(fd);
    }
}

TEST(HttpChecks, AFullCheckQueueRefusesAtOnceAndOtherRequestsDoNotWait) {
    zsrv::TCheckQueueOptions o;
    o.Threads = 1;
    o.Capacity = 2;
    zsrv::TCheckQueue checks(o);
    TLocalServer server(tightLimits(), &checks);
    // Eight checks of 300 ms at once: one runs, two wait, the rest are turned away.
    std::vector<std::future<TReply>> flood;
    for (int i = 0; i < 8; ++i)
        flood.push_back(std::async(std::launch::async, [&] {
            return RawRequest(server.port(), "GET /hash HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        }));
    std::this_thread::sleep_for(100ms);
    const auto start = TClock::now();
    const TReply free =
        RawRequest(server.port(), "GET /free HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(free.Status, 200);
    EXPECT_LT(TClock::now() - start, 1000ms);
    int served = 0;
    int refused = 0;
    for (auto& f : flood) {
        const TReply r = f.get();
        if (r.Status == 200) {
            ++served;
        } else {
            EXPECT_EQ(r.Status, 503);
            EXPECT_NE(r.Head.find("\r\nRetry-After: 1\r\n"), std::string::npos) << r.Head;
            ++refused;
        }
    }
    EXPECT_GE(served, 1);
    EXPECT_GE(refused, 1);
    EXPECT_EQ(served + refused, 8);
    // A reply goes out before its check has ended; the server (made after the
    // queue, so ended first) must not go while a check still holds a connection.
    const auto end = TClock::now() + 10s;
    while (!checks.Idle() && TClock::now() < end)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(checks.Idle());
}

TEST(HttpChecks, AnAddressWhoseChecksKeepFailingWaitsLongerEachTime) {
    zsrv::TCheckQueueOptions o;
    o.Threads = 1;
    o.FailuresBeforeBackOff = 3;
    o.BackOff = 400ms;
    zsrv::TCheckQueue checks(o);
    const auto run = [&](const std::string& address, bool fail) {
        std::promise<void> done;
        auto result = checks.Post(address, [&done, fail] {
            if (fail)
                zsrv::TCheckQueue::NoteFailedCheck();
            else
                zsrv::TCheckQueue::NoteGoodCheck();
            done.set_value();
        });
        if (result == zsrv::TCheckQueue::TAdmit::Queued) {
            EXPECT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
            const auto end = TClock::now() + 5s;
            while (!checks.Idle() && TClock::now() < end)
                std::this_thread::sleep_for(1ms);
        }
        return result;
    };
    // A success in between starts the count again; a job that checks nothing
    // (its client gone) changes nothing.
    for (bool fail : {true, true, false, true, true})
        EXPECT_EQ(run("10.0.0.1", fail), zsrv::TCheckQueue::TAdmit::Queued);
    std::promise<void> idle;
    ASSERT_EQ(checks.Post("10.0.0.1", [&idle] { idle.set_value(); }), zsrv::TCheckQueue::TAdmit::Queued);
    ASSERT_EQ(idle.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_EQ(run("10.0.0.1", true), zsrv::TCheckQueue::TAdmit::Queued);
    EXPECT_EQ(run("10.0.0.1", true), zsrv::TCheckQueue::TAdmit::BackingOff);
    EXPECT_EQ(checks.RetryAfter("10.0.0.1"), 1s);
    // Another address is not held up.
    EXPECT_EQ(run("10.0.0.2", true), zsrv::TCheckQueue::TAdmit::Queued);
    // After the wait, one more failure makes the next wait twice as long.
    std::this_thread::sleep_for(450ms);
    EXPECT_EQ(run("10.0.0.1", true), zsrv::TCheckQueue::TAdmit::Queued);
    EXPECT_EQ(run("10.0.0.1", true), zsrv::TCheckQueue::TAdmit::BackingOff);
    std::this_thread::sleep_for(450ms);
    EXPECT_EQ(run("10.0.0.1", true), zsrv::TCheckQueue::TAdmit::BackingOff);
}

TEST(HttpHalfClose, ARequestFollowedByTheEndOfSendingIsAnswered) {
    TLocalServer server(tightLimits());
    const struct {
        const char* What;
        std::string Bytes;
        std::vector<std::string> Replies;
    } cases[] = {
        {"a GET", "GET /free HTTP/1.1\r\nHost: x\r\n\r\n", {""}},
        {"a POST with its body", post("/echo", "hello"), {"hello"}},
        {"a handler that takes a while", "GET /slow?ms=300 HTTP/1.1\r\nHost: x\r\n\r\n", {"slept"}},
        {"two requests in a row", post("/echo", "one") + post("/echo", "two"), {"one", "two"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const int fd = ConnectLoopback(server.port());
        SendText(fd, c.Bytes);
        ::shutdown(fd, SHUT_WR);
        std::string in = ReadFrom(fd, 5000ms);
        ::close(fd);
        for (const std::string& body : c.Replies) {
            ASSERT_EQ(in.rfind("HTTP/1.1 200 ", 0), 0u) << in;
            const std::size_t headEnd = in.find("\r\n\r\n");
            EXPECT_EQ(in.substr(headEnd + 4, body.size()), body);
            in.erase(0, headEnd + 4 + body.size());
        }
        EXPECT_EQ(in, "");
    }
}

TEST(HttpConnections, TheLimitLeavesDescriptorsForTheDatabaseAndTheLog) {
    const struct {
        std::size_t Descriptors;
        double Share;
        std::size_t Limit;
    } cases[] = {
        {65536, 0.5, 32640},                   // the limit the service unit sets: half of what is left each
        {20000, 0.5, 9872},  {1024, 0.5, 384}, // a shell's default
        {1024, 1.0, 768},    {100, 0.5, 16},   // too few to keep any back: still a few connections
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Descriptors);
        EXPECT_EQ(zsrv::ConnectionLimitFor(c.Descriptors, c.Share), c.Limit);
    }
}

class HostileClients : public TStoreTest {
protected:
    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location()};
};

TEST_P(HostileClients, ARequestNeedingNoHashIsAnsweredDuringAFloodOfSignIns) {
    const std::uint16_t port = FServer.app().HttpPort();
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::vector<std::thread> flood;
    for (int t = 0; t < 24; ++t) {
        flood.emplace_back([&, t] {
            for (int i = 0; !stop; ++i) {
                const std::string body = "username=nobody" + std::to_string(t) + "-" + std::to_string(i) +
                                         "%40example.com&password=" + Md5(std::to_string(i));
                (void)RawRequest(port, post("/sso/v3/login_80124.php", body, "Connection: close\r\n"));
                ++sent;
            }
        });
    }
    std::this_thread::sleep_for(500ms);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const auto start = TClock::now();
        const TReply r =
            RawRequest(port, "GET /zuvonote.xml HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(r.Status, 200);
        EXPECT_LT(TClock::now() - start, 1000ms);
        std::this_thread::sleep_for(100ms);
    }
    stop = true;
    for (std::thread& t : flood)
        t.join();
    // Every flooding client got through at least one sign-in: the flood was on.
    EXPECT_GE(sent.load(), 24);
}

TEST_P(HostileClients, AnUploadThatCannotProveItsAccountIsRefusedWithoutItsBody) {
    const std::int64_t ann = FServer.addUser("ann@example.com", "ann-pass");
    const struct {
        const char* What;
        std::string Query;
        std::string Reply;
    } cases[] = {
        {"wrong password", "userid=" + std::to_string(ann) + "&userpass=" + Md5("wrong"), "-2"},
        {"no such account", "userid=999999&userpass=" + Md5("ann-pass"), "-2"},
        {"no credentials", "", "-2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const int fd = ConnectLoopback(FServer.app().HttpPort());
        SendText(fd, "POST /api/v11/update_note.php?" + c.Query +
                         " HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                         "Content-Length: 4000000\r\n\r\n");
        const std::string reply = ReadFrom(fd, 5000ms, true);
        ::close(fd);
        EXPECT_EQ(reply.rfind("HTTP/1.1 200 ", 0), 0u) << reply;
        EXPECT_EQ(reply.substr(reply.size() - c.Reply.size()), c.Reply);
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, HostileClients, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
