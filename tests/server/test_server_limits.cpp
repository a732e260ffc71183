// The web side against clients that do not play fair: slow and silent
// connections, bodies framed to slip past a limit, content the endpoints do
// not take, and what such requests leave in the log.

#include "ServerTestSupport.h"

#include "server/http/uHttpServer.h"
#include "server/store/uServerStore.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace servertest;
using namespace std::chrono_literals;

namespace {

using TClock = std::chrono::steady_clock;

// One HTTP server with tight limits and a route that echoes, on its own loop.
class TTightServer {
public:
    explicit TTightServer(zsrv::THttpLimits limits) : FServer(FIo, limits, 2, nullptr) {
        FServer.Route("POST", "/echo", 1000, {"application/x-www-form-urlencoded"},
                      [](const zsrv::THttpRequest& req, zsrv::THttpResponse& res) {
                          res.set_content(req.Body, "text/plain");
                      });
        FServer.SetLogger([this](const zsrv::THttpLogEntry& e) {
            std::lock_guard l(FLock);
            FLog.push_back(e);
        });
        FPort = FServer.Listen("127.0.0.1", 0);
        FThread = std::thread([this] { FIo.run(); });
    }
    ~TTightServer() {
        asio::post(FIo, [this] { FServer.Close(); });
        asio::post(FIo, [this] { FIo.stop(); });
        FThread.join();
    }
    [[nodiscard]] std::uint16_t port() const { return FPort; }
    [[nodiscard]] std::vector<zsrv::THttpLogEntry> log() {
        std::lock_guard l(FLock);
        return FLog;
    }

private:
    asio::io_context FIo;
    zsrv::THttpServer FServer;
    std::uint16_t FPort = 0;
    std::thread FThread;
    std::mutex FLock;
    std::vector<zsrv::THttpLogEntry> FLog;
};

zsrv::THttpLimits tightLimits() {
    zsrv::THttpLimits l;
    l.HeaderTimeout = 600ms;
    l.IdleTimeout = 400ms;
    l.TransferGrace = 600ms;
    l.MinBytesPerSecond = 1000;
    return l;
}

TEST(HttpDeadlines, HeadersAndBodiesThatTrickleAreCutOffWhileTheyTrickle) {
    TTightServer server(tightLimits());
    const int head = ConnectLoopback(server.port());
    const int body = ConnectLoopback(server.port());
    const int silent = ConnectLoopback(server.port());
    ASSERT_GE(head, 0);
    ASSERT_GE(body, 0);
    ASSERT_GE(silent, 0);
    SendText(head, "POST /echo HTTP/1.1\r\nHost: x\r\n");
    SendText(body, "POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 900\r\n\r\n");
    // A header line (or a body byte) every 100 ms would hold a read time-out
    // that restarts with each read open for ever.
    bool headOpen = true;
    bool bodyOpen = true;
    const auto start = TClock::now();
    while (TClock::now() - start < 3s && (headOpen || bodyOpen)) {
        if (headOpen)
            SendText(head, "X-Slow: 1\r\n");
        if (bodyOpen)
            SendText(body, "a");
        headOpen = headOpen && !ClosedWithin(head, 100ms);
        bodyOpen = bodyOpen && !ClosedWithin(body, 10ms);
    }
    EXPECT_FALSE(headOpen);
    EXPECT_FALSE(bodyOpen);
    EXPECT_TRUE(ClosedWithin(silent, 2s));
    for (const int fd : {head, body, silent})
        ::close(fd);

    // A client that keeps pace is served.
    const TReply r =
        RawRequest(server.port(), "POST /echo HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: "
                                  "5\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\nhello");
    EXPECT_EQ(r.Status, 200);
    EXPECT_EQ(r.Body, "hello");
}

TEST(HttpLog, EveryLineShowsWhereFromHowLongAndNoQueryOrForgedLines) {
    TTightServer server(tightLimits());
    // Refused before a method or path could be read, after a pause in the middle.
    const int fd = ConnectLoopback(server.port());
    SendText(fd, "GET /echo");
    std::this_thread::sleep_for(200ms);
    SendText(fd, " SPDY/9\r\n\r\n");
    EXPECT_TRUE(ClosedWithin(fd, 2s));
    ::close(fd);
    (void)RawRequest(server.port(), "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n");
    (void)RawRequest(server.port(),
                     "POST /echo%0a2026-01-01%20forged HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    (void)RawRequest(server.port(),
                     "POST /echo?userpass=0123456789abcdef HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    (void)RawRequest(
        server.port(),
        "POST /echo%3Fuserpass=0123456789abcdef HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    (void)RawRequest(server.port(),
                     "POST /\x01\x7f\xc3\xa4 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");

    const auto log = server.log();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0].Status, 400);
    EXPECT_GE(log[0].Milliseconds, 150);
    EXPECT_EQ(log[1].Status, 414);
    for (const auto& e : log) {
        EXPECT_EQ(e.RemoteAddr, "127.0.0.1");
        EXPECT_FALSE(e.Method.empty());
        for (const std::string* field : {&e.Method, &e.Path}) {
            EXPECT_EQ(field->find("0123456789abcdef"), std::string::npos) << *field;
            for (const char ch : *field)
                EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << *field;
        }
    }
    EXPECT_EQ(log[2].Path, "/echo...");
    EXPECT_EQ(log[5].Status, 400);
}

class ServiceLimits : public TStoreTest {
protected:
    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location()};
    [[nodiscard]] std::string post(const std::string& path, const std::string& headers,
                                   const std::string& body) {
        return "POST " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + headers +
               "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    [[nodiscard]] TReply raw(const std::string& bytes) { return RawRequest(FServer.app().HttpPort(), bytes); }
};

TEST_P(ServiceLimits, EachEndpointTakesTheBodyItsContentNeedsAndNoOtherKind) {
    const std::string form = "Content-Type: application/x-www-form-urlencoded\r\n";
    const std::string signIn = "username=ann%40example.com&password=" + Md5("x") + "&";
    const std::string registration = "username=big@example.com&password=pw&uemail=&uname=Big&utel=";
    const struct {
        const char* What;
        std::string Request;
        int Status;
    } cases[] = {
        {"sign-in padded to 8 KiB", post("/sso/v3/login_80124.php", form, signIn + std::string(8192, 'a')),
         413},
        {"registration padded to 20 KiB",
         post("/sso/v3/reg_6541z.php", form, registration + std::string(20000, 'a')), 413},
        {"feedback of 100 KiB",
         post("/www/utils/feedback.php", form,
              "fbname=&fbemail=a%2540b.cc&fbcontent=" + std::string(100000, 'x') + "&fbproduct="),
         413},
        {"compressed sign-in",
         post("/sso/v3/login_80124.php", form + "Content-Encoding: gzip\r\n", "\x1f\x8b"), 415},
        {"multipart upload",
         post("/api/v11/update_note.php?userid=1&userpass=x",
              "Content-Type: multipart/form-data; boundary=zz\r\n",
              "--zz\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nb\r\n--zz--\r\n"),
         415},
        {"feedback as plain text", post("/www/utils/feedback.php", "Content-Type: text/plain\r\n", "hello"),
         415},
        {"an unknown coding",
         post("/sso/v3/login_80124.php", form + "Transfer-Encoding: gzip, chunked\r\n", ""), 501},
        {"length and chunks at once",
         post("/sso/v3/login_80124.php", form + "Transfer-Encoding: chunked\r\n", "0\r\n\r\n"), 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(raw(c.Request).Status, c.Status);
    }
    EXPECT_EQ(FServer.app().Store().FeedbackCount(), 0);
    EXPECT_FALSE(FServer.app().Store().AccountByEmail("big@example.com"));
    // A form without a Content-Type line is still a form.
    const TReply untyped = raw(post("/sso/v3/login_80124.php", "", signIn));
    EXPECT_EQ(untyped.Status, 200);
    EXPECT_EQ(untyped.Body.size(), 8u);
}

TEST_P(ServiceLimits, SmallFormEndpointsTakeSixteenKibibytesAndNotOneByteMore) {
    const std::string form = "Content-Type: application/x-www-form-urlencoded\r\n";
    const std::string start =
        "nid=6F9619FF-8B86-D011-B42D-00C04FC964FF&userid=1&userpass=" + Md5("x") + "&pad=";
    const auto padded = [&](std::size_t size) { return start + std::string(size - start.size(), 'a'); };
    for (const char* path : {"/api/v11/del_note.php", "/api/v11/get_single_note.php"}) {
        SCOPED_TRACE(path);
        // Unknown credentials: a body that is taken is answered "-2".
        const TReply taken = raw(post(path, form, padded(16384)));
        EXPECT_EQ(taken.Status, 200);
        EXPECT_EQ(taken.Body, "-2");
        EXPECT_EQ(raw(post(path, form, padded(16385))).Status, 413);
        EXPECT_EQ(raw(post(path, form, padded(64 * 1024))).Status, 413);
    }
}

TEST_P(ServiceLimits, SilentAndTricklingConnectionsDoNotKeepOthersWaiting) {
    // Far more of each than the server has threads for requests (eight here).
    std::vector<int> silent;
    std::vector<int> trickling;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(ConnectLoopback(FServer.app().HttpPort()));
        trickling.push_back(ConnectLoopback(FServer.app().HttpPort()));
        SendText(trickling.back(), "POST /api/v11/get_notes.php HTTP/1.1\r\nHost: x\r\n");
    }
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        while (!stop) {
            for (const int fd : trickling)
                SendText(fd, "X-Slow: 1\r\n");
            std::this_thread::sleep_for(200ms);
        }
    });
    std::this_thread::sleep_for(300ms);
    for (int i = 0; i < 3; ++i) {
        const TReply r = raw("GET /zuvonote.xml HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(r.Status, 200);
        EXPECT_NE(r.Body.find("<asyncserver>"), std::string::npos);
    }
    stop = true;
    trickle.join();
    for (const int fd : silent)
        ::close(fd);
    for (const int fd : trickling)
        ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServiceLimits, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
