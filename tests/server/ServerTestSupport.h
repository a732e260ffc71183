#pragma once
// What the server's tests share: a database of each kind for one test, a
// server started in-process on free ports, and a plain HTTP client (libcurl,
// nothing of the server's) that sends bytes as given and returns bytes.

#include "server/app/uServerApp.h"
#include "server/config/uServerConfig.h"

#include <QByteArray>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace servertest {

// "sqlite" always; "postgres" when ZUVO_TEST_PG holds a connection URI.
[[nodiscard]] std::vector<std::string> StoreKinds();
// Both kinds, whether or not a PostgreSQL cluster is there: what tests are
// instantiated for, so that a missing cluster shows as skipped tests.
[[nodiscard]] std::vector<std::string> AllStoreKinds();
[[nodiscard]] bool StoreKindAvailable(const std::string& kind);

// A test run on each kind of store. The PostgreSQL cases are skipped, with the
// reason, when no cluster is named (their database then stands in on SQLite,
// so the fixture's members can still be made).
class TStoreTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (!StoreKindAvailable(GetParam()))
            GTEST_SKIP() << "no PostgreSQL cluster: ZUVO_TEST_PG names none (./test starts one)";
    }
};
[[nodiscard]] std::string KindName(const std::string& kind);

// A fresh, empty database of one kind for one test: an SQLite file in the
// test's folder, or a PostgreSQL schema of its own that is dropped afterwards.
class TTestDatabase {
public:
    explicit TTestDatabase(const std::string& kind);
    ~TTestDatabase();
    TTestDatabase(const TTestDatabase&) = delete;
    TTestDatabase& operator=(const TTestDatabase&) = delete;
    [[nodiscard]] const std::string& location() const { return FLocation; }
    // Makes this (fresh, unused) database a copy of other as it is now, as a
    // backup taken at this moment would be; other may be in use meanwhile.
    void copyFrom(const TTestDatabase& other);

private:
    std::string FLocation;
    std::string FSchema;
};

// A server on loopback with ephemeral ports.
class TTestServer {
public:
    explicit TTestServer(const std::string& dbLocation, zsrv::TServerConfig config = QuietConfig());
    ~TTestServer();
    [[nodiscard]] static zsrv::TServerConfig QuietConfig();

    [[nodiscard]] std::string root() const; // "http://127.0.0.1:PORT/"
    [[nodiscard]] std::uint16_t pushPort() const { return FApp.PushPort(); }
    [[nodiscard]] zsrv::TServerApp& app() { return FApp; }

    // Creates an account through the store; returns its id.
    std::int64_t addUser(const std::string& email, const std::string& password);

private:
    zsrv::TServerApp FApp;
};

struct TReply {
    long Status = 0;
    std::string Head; // status line and header lines, for RawRequest
    std::string Body;
    std::string ContentType;
};

[[nodiscard]] TReply Post(const std::string& url, const std::string& body,
                          const std::string& contentType = "application/x-www-form-urlencoded");
[[nodiscard]] TReply Get(const std::string& url);
// Sends bytes as they are on a new connection to the web port and reads the
// reply until the server closes (or 10 s pass): for requests no client library sends.
[[nodiscard]] TReply RawRequest(std::uint16_t port, const std::string& bytes);
// A connection to a port on loopback (-1 when refused); the caller closes it.
[[nodiscard]] int ConnectLoopback(std::uint16_t port);
// Sends bytes on a connection, whatever becomes of them.
void SendText(int fd, const std::string& text);
// Whether the server has closed the connection within the time (bytes it
// sends meanwhile are read and dropped).
[[nodiscard]] bool ClosedWithin(int fd, std::chrono::milliseconds limit);
// What arrives on a connection until the server closes it or the time is up;
// with untilReply, only until one whole reply (head and the body its
// Content-Length names) has come.
[[nodiscard]] std::string ReadFrom(int fd, std::chrono::milliseconds limit, bool untilReply = false);

// 32 lower-case hexadecimal digits of MD5, as the client proves a password.
[[nodiscard]] std::string Md5(const std::string& text);

} // namespace servertest
