#include "server/uServerApp.h"

#include "server/uAccounts.h"
#include "server/uHttpService.h"
#include "server/uPushServer.h"
#include "server/uServerStore.h"

#include <algorithm>
#include <functional>
#include <httplib.h>
#include <libxml/parser.h>
#include <sys/socket.h>
#include <thread>

namespace zsrv {

namespace {

// The library listens with a backlog of 5, which drops connections that a
// burst of clients opens at once; widening it needs the listening socket.
template <class TBase> class TWideBacklog final : public TBase {
public:
    using TBase::TBase;
    void widenBacklog() { ::listen(this->svr_sock_, SOMAXCONN); }
};

} // namespace

struct TServerApp::TImpl {
    TServerConfig Config;
    // Declared before the store: the store's listener posts into it until the
    // store is gone.
    asio::io_context Io;
    std::unique_ptr<TServerStore> Store;
    std::unique_ptr<TAccounts> Accounts;
    std::unique_ptr<THttpService> Http;
    std::unique_ptr<httplib::Server> HttpServer;
    std::function<void()> WidenBacklog;
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
    m.Accounts = std::make_unique<TAccounts>(*m.Store);
    m.Http = std::make_unique<THttpService>(*m.Store, *m.Accounts, m.Config);

    const bool tls = !m.Config.TlsCert.empty() || !m.Config.TlsKey.empty();
    if (tls) {
        auto ssl = std::make_unique<TWideBacklog<httplib::SSLServer>>(m.Config.TlsCert.c_str(),
                                                                      m.Config.TlsKey.c_str());
        if (!ssl->is_valid())
            throw std::runtime_error("cannot use the TLS certificate " + m.Config.TlsCert + " and key " +
                                     m.Config.TlsKey);
        m.WidenBacklog = [raw = ssl.get()] { raw->widenBacklog(); };
        m.HttpServer = std::move(ssl);
    } else {
        auto plain = std::make_unique<TWideBacklog<httplib::Server>>();
        m.WidenBacklog = [raw = plain.get()] { raw->widenBacklog(); };
        m.HttpServer = std::move(plain);
    }
    const int threads = m.Config.HttpThreads;
    m.HttpServer->new_task_queue = [threads] { return new httplib::ThreadPool(std::size_t(threads)); };
    m.Http->Register(*m.HttpServer);
    if (m.Config.HttpPort == 0) {
        const int port = m.HttpServer->bind_to_any_port(m.Config.HttpHost);
        if (port <= 0)
            throw std::runtime_error("cannot listen on " + m.Config.HttpHost);
        m.HttpPort = static_cast<std::uint16_t>(port);
    } else {
        if (!m.HttpServer->bind_to_port(m.Config.HttpHost, m.Config.HttpPort))
            throw std::runtime_error("cannot listen on " + m.Config.HttpHost + ":" +
                                     std::to_string(m.Config.HttpPort));
        m.HttpPort = static_cast<std::uint16_t>(m.Config.HttpPort);
    }

    m.WidenBacklog();

    TPushOptions po;
    po.IdleLimit = std::chrono::seconds(m.Config.PushIdleSeconds);
    po.LoginLimit = std::chrono::seconds(m.Config.PushLoginSeconds);
    // A sweep walks every connection on the push thread; a quarter of the
    // shorter limit is precise enough and keeps the walks rare.
    const auto shorter = std::min(m.Config.PushIdleSeconds, m.Config.PushLoginSeconds);
    po.SweepInterval = std::chrono::milliseconds(std::clamp(shorter * 250, 250, 5000));
    m.Push = std::make_unique<TPushServer>(m.Io, *m.Store, *m.Accounts, po);
    try {
        m.PushPort = m.Push->Listen(m.Config.PushHost, static_cast<std::uint16_t>(m.Config.PushPort));
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot listen for push connections on " + m.Config.PushHost + ":" +
                                 std::to_string(m.Config.PushPort) + ": " + e.what());
    }
    m.Running = true;
    m.HttpThread = std::thread([&m] { m.HttpServer->listen_after_bind(); });
    m.IoThread = std::thread([&m] { m.Io.run(); });
}

void TServerApp::Stop() {
    TImpl& m = *FImpl;
    if (!m.Running)
        return;
    m.Running = false;
    m.HttpServer->stop();
    if (m.HttpThread.joinable())
        m.HttpThread.join();
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
std::size_t TServerApp::PushSignedIn() const {
    return FImpl->Push ? FImpl->Push->SignedInCount() : 0;
}

} // namespace zsrv
