#include "ServerTestSupport.h"

#include "server/auth/uAccounts.h"
#include "server/store/uServerStore.h"
#include "shared/uDbConnection.h"
#include "shared/uMd5.h"
#include "support/TestEnv.h"

#include <QFile>
#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <curl/curl.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace servertest {

namespace {

std::string pgUri() {
    const char* v = std::getenv("ZUVO_TEST_PG");
    return v ? std::string(v) : std::string();
}

void pgExec(const std::string& sql) {
    PGconn* c = PQconnectdb(pgUri().c_str());
    std::unique_ptr<PGconn, decltype(&PQfinish)> guard(c, &PQfinish);
    if (PQstatus(c) != CONNECTION_OK)
        throw std::runtime_error(std::string("PostgreSQL: ") + PQerrorMessage(c));
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(c, sql.c_str()), &PQclear);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error(std::string("PostgreSQL: ") + PQerrorMessage(c));
}

size_t collect(char* p, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(p, size * n);
    return size * n;
}

TReply perform(const std::string& url, const std::string* body, const std::string& contentType) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    TReply reply;
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply.Body);
    if (body) {
        curl_easy_setopt(curl.get(), CURLOPT_POST, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body->data());
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body->size()));
        headers = curl_slist_append(headers, ("Content-Type: " + contentType).c_str());
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
    }
    const CURLcode rc = curl_easy_perform(curl.get());
    curl_slist_free_all(headers);
    if (rc != CURLE_OK) {
        reply.Status = -1;
        reply.Body = curl_easy_strerror(rc);
        return reply;
    }
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.Status);
    char* type = nullptr;
    curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_TYPE, &type);
    reply.ContentType = type ? type : "";
    return reply;
}

} // namespace

std::vector<std::string> StoreKinds() {
    std::vector<std::string> kinds{"sqlite"};
    if (!pgUri().empty())
        kinds.push_back("postgres");
    return kinds;
}

std::vector<std::string> AllStoreKinds() {
    return {"sqlite", "postgres"};
}

bool StoreKindAvailable(const std::string& kind) {
    return kind == "sqlite" || !pgUri().empty();
}

std::string KindName(const std::string& kind) {
    return kind == "sqlite" ? "SQLite" : "PostgreSQL";
}

TTestDatabase::TTestDatabase(const std::string& kind) {
    static std::atomic<int> counter{0};
    const int n = ++counter;
    if (kind == "sqlite" || !StoreKindAvailable(kind)) {
        FLocation = "sqlite:" + testenv::freshDir(QStringLiteral("db%1").arg(n)).toStdString() + "/server.db";
        return;
    }
    FSchema = "t" + std::to_string(::getpid()) + "_" + std::to_string(n);
    pgExec("drop schema if exists " + FSchema + " cascade; create schema " + FSchema);
    const std::string base = pgUri();
    FLocation =
        base + (base.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + FSchema;
}

void TTestDatabase::copyFrom(const TTestDatabase& other) {
    if (FSchema.empty()) {
        const std::string to = FLocation.substr(7);
        QFile::remove(QString::fromStdString(to));
        // A consistent copy of a database other connections keep writing to.
        auto c = TDbConnection::Open(QString::fromStdString(other.FLocation.substr(7)));
        c->Exec(QStringLiteral("vacuum into ?"), {QString::fromStdString(to)});
        return;
    }
    std::string sql;
    for (const char* table : {"accounts", "notes", "note_versions", "audio", "feedback", "store_meta"})
        sql += std::string("create table ") + FSchema + "." + table + " (like " + other.FSchema + "." +
               table + " including all); insert into " + FSchema + "." + table + " select * from " +
               other.FSchema + "." + table + ";";
    pgExec(sql);
}

TTestDatabase::~TTestDatabase() {
    if (FSchema.empty())
        return;
    try {
        pgExec("drop schema if exists " + FSchema + " cascade");
    } catch (const std::exception&) {
    }
}

zsrv::TServerConfig TTestServer::QuietConfig() {
    zsrv::TServerConfig c;
    c.HttpPort = 0;
    c.PushPort = 0;
    c.LogRequests = false;
    c.HttpThreads = 8;
    // A test outlives no power cut: its commits need not wait for the disk.
    c.SqliteFullSync = false;
    return c;
}

TTestServer::TTestServer(const std::string& dbLocation, zsrv::TServerConfig config)
    : FApp([&] {
          config.Db = dbLocation;
          return config;
      }()) {
    FApp.Start();
}

TTestServer::~TTestServer() {
    FApp.Stop();
}

std::string TTestServer::root() const {
    return "http://127.0.0.1:" + std::to_string(FApp.HttpPort()) + "/";
}

std::int64_t TTestServer::addUser(const std::string& email, const std::string& password) {
    // Few rounds: the tests check the protocol, not the hash's cost.
    const auto id = FApp.Store().CreateAccount(
        zsrv::TNewAccount{email, "Tester", zsrv::VerifierForPassword(password, 1000), ""});
    if (!id)
        throw std::runtime_error("account exists: " + email);
    return *id;
}

TReply Post(const std::string& url, const std::string& body, const std::string& contentType) {
    return perform(url, &body, contentType);
}

TReply Get(const std::string& url) {
    return perform(url, nullptr, {});
}

int ConnectLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

void SendText(int fd, const std::string& text) {
    (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

bool ClosedWithin(int fd, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    char buf[512];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (::poll(&p, 1, int(std::max<long>(1, left.count()))) <= 0)
            continue;
        if (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) <= 0)
            return true;
    }
    return false;
}

std::string ReadFrom(int fd, std::chrono::milliseconds limit, bool untilReply) {
    std::string in;
    const auto end = std::chrono::steady_clock::now() + limit;
    char buf[4096];
    while (std::chrono::steady_clock::now() < end) {
        if (const std::size_t headEnd = in.find("\r\n\r\n"); untilReply && headEnd != std::string::npos) {
            const std::size_t at = in.find("Content-Length: ");
            const std::size_t length = at < headEnd ? std::size_t(std::atol(in.c_str() + at + 16)) : 0;
            if (in.size() >= headEnd + 4 + length)
                return in;
        }
        pollfd p{fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (::poll(&p, 1, int(std::max<long>(1, left.count()))) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        in.append(buf, std::size_t(n));
    }
    return in;
}

TReply RawRequest(std::uint16_t port, const std::string& bytes) {
    TReply reply;
    const int fd = ConnectLoopback(port);
    if (fd < 0) {
        reply.Status = -1;
        return reply;
    }
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    // The server may answer (and close) before it has taken everything: send what it takes.
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        at += std::size_t(n);
    }
    std::string in;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
        in.append(buf, std::size_t(n));
    ::close(fd);
    const std::size_t sp = in.find(' ');
    const std::size_t end = in.find("\r\n\r\n");
    if (in.rfind("HTTP/1.", 0) != 0 || sp == std::string::npos || end == std::string::npos) {
        reply.Status = -1;
        reply.Body = in;
        return reply;
    }
    reply.Status = std::atol(in.c_str() + sp + 1);
    reply.Head = in.substr(0, end + 2);
    reply.Body = in.substr(end + 4);
    const std::size_t type = in.find("Content-Type: ");
    if (type < end)
        reply.ContentType = in.substr(type + 14, in.find("\r\n", type) - type - 14);
    return reply;
}

// The client's own digest, so that the server is checked against it.
std::string Md5(const std::string& text) {
    return Md5Hex(QByteArray::fromStdString(text)).toStdString();
}

} // namespace servertest
