#include "server/app/uServerApp.h"

#include "server/api/uHttpService.h"
#include "server/auth/uAccounts.h"
#include "server/base/uCheckQueue.h"
#include "server/push/uPushServer.h"
#include "server/store/uServerStore.h"

#include "server/http/uHttpServer.h"

#include <algorithm>
#include <asio/ssl.hpp>
#include <libxml/parser.h>
#include <sys/resource.h>
#include <thread>

namespace zsrv {

struct TServerApp::TImpl {
    TServerConfig Config;
    // Declared before the store: the store's listener posts into it until the
    // store is gone.
    asio::io_context Io;
    std::unique_ptr<TServerStore> Store;
    std::unique_ptr<TAccounts> Accounts;
    std::unique_ptr<TCheckQueue> Checks;
    std::unique_ptr<THttpService> Http;
    // The web side has an event loop of its own, so that TLS handshakes and
    // floods of web connections never delay the push connections' packets.
    asio::io_context WebIo;
    std::unique_ptr<asio::ssl::context> Tls;
    std::unique_ptr<THttpServer> HttpServer;
    std::unique_ptr<TPushServer> Push;
    std::thread HttpThread;
    std::thread IoThread;
    std::uint16_t HttpPort = 0;
    std::uint16_t PushPort = 0;
    bool Running = false;
};

TServerApp::TServerApp(TServerConfig config) : FImpl(std::make_unique<TImpl>()) {
    FImpl->Config = std::move(config);
    if (FImpl->Config.Db.empty())
        FImpl->Config.Db = DefaultDbLocation();
}

TServerApp::~TServerApp() {
    Stop();
}

void TServerApp::Start() {
    TImpl& m = *FImpl;
    xmlInitParser();
    try {
        m.Store = OpenStore(m.Config.Db, TStoreOptions{m.Config.SqliteFullSync});
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("cannot open the database: ") + e.what());
    }
    m.Accounts = std::make_unique<TAccounts>(*m.Store, m.Config.Pbkdf2Iterations);
    m.Http = std::make_unique<THttpService>(*m.Store, *m.Accounts, m.Config);

    if (!m.Config.TlsCert.empty() || !m.Config.TlsKey.empty()) {
        try {
            m.Tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
            m.Tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                               asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                               asio::ssl::context::no_tlsv1_1);
            m.Tls->use_certificate_chain_file(m.Config.TlsCert);
            m.Tls->use_private_key_file(m.Config.TlsKey, asio::ssl::context::pem);
        } catch (const std::exception&) {
            throw std::runtime_error("cannot use the TLS certificate " + m.Config.TlsCert + " and key " +
                                     m.Config.TlsKey);
        }
    }
    TCheckQueueOptions checks;
    checks.Threads = m.Config.HashThreads;
    checks.Capacity = std::size_t(m.Config.HashQueue);
    m.Checks = std::make_unique<TCheckQueue>(checks);

    // Web and push connections share the process's descriptors with the
    // database and the log: each side gets half of what those leave, unless
    // the push side is given its number and the web side takes the rest.
    std::size_t descriptors = 1024;
    if (rlimit files{}; getrlimit(RLIMIT_NOFILE, &files) == 0)
        descriptors = files.rlim_cur == RLIM_INFINITY ? std::size_t(1) << 20 : std::size_t(files.rlim_cur);
    const std::size_t connections = ConnectionLimitFor(descriptors, 1.0);
    const std::size_t pushConnections = m.Config.PushConnections > 0
                                            ? std::min(std::size_t(m.Config.PushConnections), connections)
                                            : ConnectionLimitFor(descriptors, 0.5);
    THttpLimits limits;
    // The web side always keeps a few, for the sign-in that precedes a device's push connection.
    limits.MaxConnections = std::max<std::size_t>(16, connections - pushConnections);
    m.HttpServer = std::make_unique<THttpServer>(m.WebIo, limits, m.Config.HttpThreads, m.Tls.get());
    m.HttpServer->SetCheckQueue(m.Checks.get());
    m.Http->Register(*m.HttpServer);
    try {
        m.HttpPort = m.HttpServer->Listen(m.Config.HttpHost, static_cast<std::uint16_t>(m.Config.HttpPort));
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot listen on " + m.Config.HttpHost + ":" +
                                 std::to_string(m.Config.HttpPort) + ": " + e.what());
    }

    TPushOptions po;
    po.IdleLimit = std::chrono::seconds(m.Config.PushIdleSeconds);
    po.LoginLimit = std::chrono::seconds(m.Config.PushLoginSeconds);
    po.MaxUnsignedPerAddress = std::size_t(m.Config.PushUnsignedPerAddress);
    po.MaxUnsigned = std::size_t(m.Config.PushUnsignedTotal);
    po.MaxConnections = pushConnections;
    po.MaxDevicesPerAccount = std::size_t(m.Config.PushDevicesPerAccount);
    // A sweep walks every connection on the push thread; a quarter of the
    // shorter limit is precise enough and keeps the walks rare.
    const auto shorter = std::min(m.Config.PushIdleSeconds, m.Config.PushLoginSeconds);
    po.SweepInterval = std::chrono::milliseconds(std::clamp(shorter * 250, 250, 5000));
    m.Push = std::make_unique<TPushServer>(m.Io, *m.Store, *m.Accounts, *m.Checks, po);
    try {
        m.PushPort = m.Push->Listen(m.Config.PushHost, static_cast<std::uint16_t>(m.Config.PushPort));
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot listen for push connections on " + m.Config.PushHost + ":" +
                                 std::to_string(m.Config.PushPort) + ": " + e.what());
    }
    m.Running = true;
    m.HttpThread = std::thread([&m] { m.WebIo.run(); });
    m.IoThread = std::thread([&m] { m.Io.run(); });
}

void TServerApp::Stop() {
    TImpl& m = *FImpl;
    if (!m.Running)
        return;
    m.Running = false;
    asio::post(m.WebIo, [&m] { m.HttpServer->Close(); });
    asio::post(m.WebIo, [&m] { m.WebIo.stop(); });
    if (m.HttpThread.joinable())
        m.HttpThread.join();
    // Requests in hand finish; their replies go nowhere.
    m.HttpServer->WaitForWorkers();
    // Checks in line run out (their replies go nowhere) before what they use goes.
    m.Checks->Stop();
    asio::post(m.Io, [&m] { m.Push->Close(); });
    // Let the close run, then end the loop.
    asio::post(m.Io, [&m] { m.Io.stop(); });
    if (m.IoThread.joinable())
        m.IoThread.join();
    m.Push.reset();
}

std::uint16_t TServerApp::HttpPort() const {
    return FImpl->HttpPort;
}
std::uint16_t TServerApp::PushPort() const {
    return FImpl->PushPort;
}
TServerStore& TServerApp::Store() {
    return *FImpl->Store;
}
std::size_t TServerApp::PushConnections() const {
    return FImpl->Push ? FImpl->Push->ConnectionCount() : 0;
}
TAccounts& TServerApp::Accounts() {
    return *FImpl->Accounts;
}
std::size_t TServerApp::PushSignedIn() const {
    return FImpl->Push ? FImpl->Push->SignedInCount() : 0;
}

} // namespace zsrv
