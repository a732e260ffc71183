// The push channel against a scripted peer on loopback (the bytes it sends, how
// it reads, the silence rule, connects that never complete), and the
// basic-information task that tells it where to connect.

#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramFolder.h"
#include "support/SignedInUser.h"
#include "support/TestEnv.h"
#include "sync/uOtherTask.h"
#include "sync/uPushChannel.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kPcId = QStringLiteral("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");
const QString kDigest = QStringLiteral("5f4dcc3b5aa765d61d8327deb882cf99");

std::int32_t le32(const QByteArray& b, int at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                                     (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24));
}

QByteArray put32(std::int32_t v) {
    QByteArray b(4, '\0');
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        b[i] = char((u >> (8 * i)) & 0xFF);
    return b;
}

bool allZero(const QByteArray& b) {
    return b.count('\0') == b.size();
}

// The text field at [at, at + width) holds text and nothing but zeros after it.
void expectField(const QByteArray& packet, int at, int width, const QByteArray& text) {
    EXPECT_EQ(packet.mid(at, text.size()), text);
    EXPECT_TRUE(allZero(packet.mid(at + text.size(), width - text.size())));
}

// Checks the 132-byte header the client writes, and returns the body.
QByteArray expectHeader(const QByteArray& packet, std::int32_t command) {
    EXPECT_GE(packet.size(), 132);
    EXPECT_EQ(le32(packet, 0), 502613);
    EXPECT_EQ(le32(packet, 4), 1);
    EXPECT_EQ(le32(packet, 8), command);
    for (int at : {12, 16, 20})
        EXPECT_EQ(le32(packet, at), 0) << "offset " << at;
    EXPECT_EQ(le32(packet, 24), 100);
    EXPECT_EQ(le32(packet, 28), 36);
    expectField(packet, 32, 100, kPcId.toLatin1());
    return packet.mid(132);
}

// A server packet as the push server writes it: header and body.
QByteArray serverPacket(std::int32_t command, int bodySize, std::int32_t pass = 502613) {
    QByteArray h = put32(pass) + put32(1) + put32(command) + QByteArray(132 - 12, '\0');
    return h + QByteArray(bodySize, '\0');
}

// The far end: a listening socket on loopback that the test drives by hand.
class TScriptedPeer {
public:
    explicit TScriptedPeer(const QString& address = QStringLiteral("127.0.0.1")) {
        EXPECT_TRUE(FServer.listen(QHostAddress(address), 0));
    }
    [[nodiscard]] quint16 port() const { return FServer.serverPort(); }

    // The next connection the client opened.
    QTcpSocket* accept(int timeoutMs = 5000) {
        if (!FServer.hasPendingConnections() && !FServer.waitForNewConnection(0))
            (void)QTest::qWaitFor([&] { return FServer.hasPendingConnections(); }, timeoutMs);
        QTcpSocket* s = FServer.nextPendingConnection();
        if (s)
            FAccepted.append(s);
        return s;
    }
    [[nodiscard]] bool hasPendingConnection() {
        QTest::qWait(50);
        return FServer.hasPendingConnections();
    }

    // Exactly n bytes from the client, or what came within the time.
    static QByteArray read(QTcpSocket* s, int n, int timeoutMs = 5000) {
        QByteArray got;
        (void)QTest::qWaitFor(
            [&] {
                got += s->read(n - got.size());
                return got.size() >= n;
            },
            timeoutMs);
        return got;
    }

private:
    QTcpServer FServer;
    QList<QTcpSocket*> FAccepted;
};

class Push : public ::testing::Test {
protected:
    testenv::TSignedInUser FUser{42, QStringLiteral("alice"), kDigest, kPcId};

    // Connects ch to peer and returns the peer's end after the sign-in packet.
    static QTcpSocket* open(TPushChannel& ch, TScriptedPeer& peer, QByteArray* login = nullptr) {
        ch.SetServer(QStringLiteral("127.0.0.1"), peer.port());
        ch.CreateClientSock();
        QTcpSocket* s = peer.accept();
        if (!s)
            return nullptr;
        const QByteArray l = TScriptedPeer::read(s, 132 + 212);
        if (login)
            *login = l;
        (void)QTest::qWaitFor([&] { return ch.IsOpen(); }, 2000);
        return s;
    }
};

} // namespace

TEST_F(Push, TheClientsFourPacketsAreLaidOutByteForByte) {
    TScriptedPeer peer;
    TPushChannel ch;
    QByteArray login;
    QTcpSocket* s = open(ch, peer, &login);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(login.size(), 344);
    QByteArray body = expectHeader(login, 1);
    EXPECT_EQ(le32(body, 0), 42);
    EXPECT_EQ(le32(body, 4), 5);
    EXPECT_EQ(le32(body, 8), 32);
    expectField(body, 12, 100, "alice");
    expectField(body, 112, 100, kDigest.toLatin1());

    ch.SendNoteChanged(QStringLiteral("11111111-2222-3333-4444-555555555555"));
    const QByteArray changed = TScriptedPeer::read(s, 132 + 58);
    body = expectHeader(changed, 10);
    ASSERT_EQ(body.size(), 58);
    EXPECT_EQ(le32(body, 0), 42);
    EXPECT_EQ(le32(body, 4), 36);
    expectField(body, 8, 50, "11111111-2222-3333-4444-555555555555");

    // The upload of all pending rows announces no particular note.
    ch.SendNoteChanged(QString());
    body = expectHeader(TScriptedPeer::read(s, 132 + 58), 10);
    EXPECT_EQ(le32(body, 4), 0);
    EXPECT_TRUE(allZero(body.mid(8)));

    ch.tmrSocketTimer();
    const QByteArray keep = TScriptedPeer::read(s, 132 + 8);
    body = expectHeader(keep, 20);
    ASSERT_EQ(body.size(), 8);
    EXPECT_EQ(le32(body, 0), 0);
    EXPECT_GE(le32(body, 4), 0);
    EXPECT_LE(le32(body, 4), 9999);

    ch.SendCloseData();
    body = expectHeader(TScriptedPeer::read(s, 132 + 12), 30);
    ASSERT_EQ(body.size(), 12);
    EXPECT_EQ(le32(body, 0), 42);
    EXPECT_EQ(le32(body, 4), 0);
    EXPECT_EQ(le32(body, 8), 1);
    // The keep-alive timer reused the open connection.
    EXPECT_FALSE(peer.hasPendingConnection());
}

TEST_F(Push, OverlongTextsAreCutToTheirFieldAndTheLengthSaysSo) {
    struct TCase {
        QString Name;
        QString NoteId;
        int NameLen;
        int NoteLen;
    };
    const TCase cases[] = {
        {QString(100, QLatin1Char('n')), QString(50, QLatin1Char('i')), 100, 50},
        {QString(150, QLatin1Char('n')), QString(80, QLatin1Char('i')), 100, 50},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name.size());
        AppState().NoteOptions.FconfigUserName = c.Name;
        TScriptedPeer peer;
        TPushChannel ch;
        QByteArray login;
        QTcpSocket* s = open(ch, peer, &login);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(login.size(), 344);
        EXPECT_EQ(le32(login, 132 + 4), c.NameLen);
        EXPECT_EQ(login.mid(132 + 12, 100), QByteArray(c.NameLen, 'n'));
        // The digest's field follows right after, untouched by the name.
        EXPECT_EQ(login.mid(132 + 112, 32), kDigest.toLatin1());

        ch.SendNoteChanged(c.NoteId);
        const QByteArray changed = TScriptedPeer::read(s, 190);
        ASSERT_EQ(changed.size(), 190);
        EXPECT_EQ(le32(changed, 132 + 4), c.NoteLen);
        EXPECT_EQ(changed.mid(132 + 8, 50), QByteArray(c.NoteLen, 'i'));
    }
}

TEST_F(Push, NothingConnectsWithoutASignedInUser) {
    struct TCase {
        qint32 PushUserId;
        QString UserName;
    };
    // A refused sign-in leaves the id 0 with the name still set; a sign-out clears the name.
    for (const TCase& c : {TCase{0, QStringLiteral("alice")}, TCase{42, QString()}}) {
        AppState().PushUserId = c.PushUserId;
        AppState().NoteOptions.FconfigUserName = c.UserName;
        TScriptedPeer peer;
        TPushChannel ch;
        ch.SetServer(QStringLiteral("127.0.0.1"), peer.port());
        ch.CreateClientSock();
        ch.tmrSocketTimer();
        ch.SendNoteChanged(QStringLiteral("X"));
        EXPECT_FALSE(ch.IsConnecting());
        EXPECT_FALSE(peer.hasPendingConnection());
    }
}

TEST_F(Push, EveryPacketOfTheStreamIsActedOnHoweverTheReadsCutIt) {
    TScriptedPeer peer;
    TPushChannel ch;
    std::uint32_t tick = 1000;
    ch.SetTickSource([&] { return tick; });
    QTcpSocket* s = open(ch, peer);
    ASSERT_NE(s, nullptr);
    QSignalSpy notices(&ch, &TPushChannel::NoteChangedNotice);
    const QByteArray changed = serverPacket(10, 58);
    const QByteArray keep = serverPacket(20, 8);

    auto deliver = [&](const QByteArray& bytes) {
        s->write(bytes);
        s->flush();
        QTest::qWait(150);
    };

    // Two notices in one read: both count.
    deliver(changed + changed);
    EXPECT_EQ(notices.count(), 2);

    // A keep-alive answer first: it counts, and so does the notice behind it.
    tick = 5000;
    deliver(keep + changed);
    EXPECT_EQ(notices.count(), 3);
    EXPECT_EQ(ch.LastServerActivity(), 5000u);

    // A packet cut anywhere counts once it is whole.
    deliver(changed.left(11));
    deliver(changed.mid(11, 100));
    EXPECT_EQ(notices.count(), 3);
    deliver(changed.mid(111) + changed.left(140));
    EXPECT_EQ(notices.count(), 4);
    deliver(changed.mid(140));
    EXPECT_EQ(notices.count(), 5);
    EXPECT_TRUE(ch.IsOpen());

    // Bytes that are no packet leave no way to the next one: the channel is
    // dropped (the keep-alive timer connects it again), nothing is acted on.
    QSignalSpy closed(&ch, &TPushChannel::ChannelClosed);
    tick = 9000;
    deliver(serverPacket(10, 58, 502614) + changed);
    EXPECT_EQ(notices.count(), 5);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(ch.IsOpen());
    EXPECT_EQ(ch.LastServerActivity(), 5000u);
}

TEST_F(Push, SilenceBeyondFiveMinutesReconnectsAlsoAcrossTheTickWrap) {
    TScriptedPeer peer;
    TPushChannel ch;
    std::uint32_t tick = 0xFFFFFFFFu - 100000; // the counter wraps 100 s after the connect
    ch.SetTickSource([&] { return tick; });
    QTcpSocket* first = open(ch, peer);
    ASSERT_NE(first, nullptr);
    QSignalSpy opened(&ch, &TPushChannel::ChannelOpened);

    tick += 300000; // exactly the limit, past the wrap: still alive
    ch.tmrSocketTimer();
    EXPECT_EQ(le32(TScriptedPeer::read(first, 140), 8), 20);
    EXPECT_FALSE(peer.hasPendingConnection());

    tick += 1; // one past it: dropped and connected again
    ch.tmrSocketTimer();
    QTcpSocket* second = peer.accept();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(le32(TScriptedPeer::read(second, 344), 8), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first->state() != QAbstractSocket::ConnectedState; }, 2000));
    ASSERT_EQ(opened.count(), 1);
    EXPECT_TRUE(opened.at(0).at(0).toBool()) << "a reconnect must catch up";
    EXPECT_EQ(ch.LastServerActivity(), tick);
}

TEST_F(Push, AClosedChannelComesBackAtTheNextTickAndAsksToCatchUp) {
    TScriptedPeer peer;
    TPushChannel ch;
    QSignalSpy opened(&ch, &TPushChannel::ChannelOpened);
    QSignalSpy closed(&ch, &TPushChannel::ChannelClosed);
    QTcpSocket* first = open(ch, peer);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(opened.count(), 1);
    EXPECT_FALSE(opened.at(0).at(0).toBool()) << "the first connect of a run is no catch-up";

    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ch.IsOpen(); }, 3000));
    EXPECT_EQ(closed.count(), 1);

    ch.tmrSocketTimer();
    QTcpSocket* second = peer.accept();
    ASSERT_NE(second, nullptr);
    const QByteArray bytes = TScriptedPeer::read(second, 344 + 140);
    EXPECT_EQ(le32(bytes, 8), 1);
    // The keep-alive of the same tick follows the sign-in.
    EXPECT_EQ(le32(bytes, 344 + 8), 20);
    ASSERT_EQ(opened.count(), 2);
    EXPECT_TRUE(opened.at(1).at(0).toBool());
}

TEST_F(Push, AnUploadNoticeOnAClosedChannelFollowsTheSignIn) {
    TScriptedPeer peer;
    TPushChannel ch;
    ch.SetServer(QStringLiteral("127.0.0.1"), peer.port());
    ch.SendNoteChanged(QStringLiteral("NOTE-1"));
    QTcpSocket* s = peer.accept();
    ASSERT_NE(s, nullptr);
    const QByteArray bytes = TScriptedPeer::read(s, 344 + 190);
    ASSERT_EQ(bytes.size(), 344 + 190);
    EXPECT_EQ(le32(bytes, 8), 1);
    EXPECT_EQ(le32(bytes, 344 + 8), 10);
    EXPECT_EQ(bytes.mid(344 + 132 + 8, 6), "NOTE-1");
}

TEST_F(Push, AServerThatNeverAnswersTheConnectDoesNotHoldTheUserInterface) {
    // A listening socket that never accepts, with its queue already full:
    // further connects get no answer at all.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    QList<QTcpSocket*> fillers;
    for (int i = 0; i < 3; ++i) {
        auto* f = new QTcpSocket;
        f->connectToHost(QHostAddress::LocalHost, ntohs(addr.sin_port));
        fillers.append(f);
    }
    QTest::qWait(200);

    TPushChannel ch;
    ch.SetConnectTimeoutMs(1500);
    ch.SetServer(QStringLiteral("127.0.0.1"), ntohs(addr.sin_port));
    int ticks = 0;
    QTimer ui;
    QObject::connect(&ui, &QTimer::timeout, [&] { ++ticks; });
    ui.start(10);

    ch.CreateClientSock();
    EXPECT_TRUE(ch.IsConnecting()) << "the connect must still be under way when the call returns";
    QTest::qWait(500);
    EXPECT_TRUE(ch.IsConnecting());
    EXPECT_GT(ticks, 10) << "the event loop keeps turning while the connect waits";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ch.IsConnecting(); }, 5000));
    EXPECT_FALSE(ch.IsOpen());
    qDeleteAll(fillers);
    ::close(listener);
}

// ---- basic information --------------------------------------------------------------

TEST(BasicInfo, OnlyTheAsyncServerChildOfTheBasicInfoElementCounts) {
    struct TCase {
        const char* Xml;
        const char* Address;
    };
    const TCase cases[] = {
        {"<basicinfo><asyncserver>10.1.2.3</asyncserver><other/></basicinfo>", "10.1.2.3"},
        {"<?xml version=\"1.0\"?>\n<basicinfo>\n  <x>1</x>\n  "
         "<asyncserver>10.1.2.3</asyncserver>\n</basicinfo>",
         "10.1.2.3"},
        {"<basicinfo><inner><asyncserver>10.1.2.3</asyncserver></inner></basicinfo>", ""},
        {"<other><asyncserver>10.1.2.3</asyncserver></other>", ""},
        {"<basicinfo><asyncserver></asyncserver></basicinfo>", ""},
        {"<basicinfo><asyncserver>10.1.2.3</asyncserver>", ""},
        {"", ""},
        {"-2", ""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ParseBasicInfo(c.Xml), QLatin1String(c.Address)) << c.Xml;
}

TEST(BasicInfo, TheDocumentIsFetchedOnlyForASignedInUserAndAnsweredOnTheStartersThread) {
    TLoopbackHttpServer http;
    http.setReply({200, "text/xml", "<basicinfo><asyncserver>127.0.0.9</asyncserver></basicinfo>", 0});
    const testenv::TScopedEnv server("ZUVONOTE_SERVER", http.baseUrl().toUtf8());
    QObject context;
    for (bool signedIn : {false, true}) {
        QString got = QStringLiteral("unset");
        Qt::HANDLE thread = nullptr;
        TOtherTaskThread::Start(&context, signedIn, [&](const TBasicInfo& info) {
            got = info.PushAddress;
            thread = QThread::currentThreadId();
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return got != QLatin1String("unset"); }, 15000));
        EXPECT_EQ(thread, QThread::currentThreadId());
        EXPECT_EQ(got, signedIn ? QStringLiteral("127.0.0.9") : QString());
        EXPECT_EQ(http.requests().size(), signedIn ? 1 : 0);
    }
    const TRecordedRequest r = http.requests().at(0);
    EXPECT_EQ(r.Method, "GET");
    EXPECT_EQ(r.Target, "/zuvonote.xml");
    EXPECT_EQ(r.Headers.value("referer"), (http.baseUrl() + QStringLiteral("api/v11/")).toUtf8());
    EXPECT_TRUE(r.Headers.value("user-agent").startsWith("Mozilla/4.0 (compatible; MSIE 6.0;"));
}

// ---- the main window -----------------------------------------------------------------

TEST_F(Push, TheMainWindowConnectsWhereTheDocumentSaysCatchesUpAfterADropClosesAtSignOutAndSignsOffAtExit) {
    // The document names 127.0.0.2, not the default 127.0.0.1: only that address answers.
    TScriptedPeer peer(QStringLiteral("127.0.0.2"));
    TLoopbackHttpServer http;
    http.setReply({200, "text/xml", "<basicinfo><asyncserver>127.0.0.2</asyncserver></basicinfo>", 0});
    const testenv::TScopedEnv server("ZUVONOTE_SERVER", http.baseUrl().toUtf8());
    const testenv::TScopedEnv port("ZUVONOTE_PUSH_PORT", QByteArray::number(peer.port()));

    const testenv::TProgramSetup setup = testenv::MakeProgramSetup();
    QDir().mkpath(setup.DataFolder());
    testenv::writeFile(setup.DataFolder() + QStringLiteral("config.ini"),
                       "[config]\nUserID=42\nUserName=alice\nUserPass=" + kDigest.toLatin1() +
                           "\nPcID=" + kPcId.toLatin1() + "\n");
    TFmMainEnv env = setup.Env();
    env.ApiBase = http.baseUrl() + QStringLiteral("api/v11/");
    {
        TFmMain main(env);
        QString error;
        ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
        QTcpSocket* s = peer.accept(15000);
        ASSERT_NE(s, nullptr);
        const QByteArray login = TScriptedPeer::read(s, 344);
        expectHeader(login, 1);
        EXPECT_EQ(le32(login, 132), 42);
        ASSERT_TRUE(QTest::qWaitFor([&] { return main.PushChannel()->IsOpen(); }, 2000));

        // A channel that was down and comes back downloads everything: notices
        // sent meanwhile never arrived.
        const auto downloads = [&] {
            int n = 0;
            for (const TRecordedRequest& r : http.requests())
                n += r.Target.contains("get_notes.php") ? 1 : 0;
            return n;
        };
        ASSERT_TRUE(QTest::qWaitFor([&] { return downloads() >= 1 && !AppState().DownloadRunning; }, 15000));
        const int before = downloads();
        s->close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !main.PushChannel()->IsOpen(); }, 3000));
        QTest::qWait(200);
        EXPECT_EQ(downloads(), before) << "a closed channel alone downloads nothing";
        main.PushChannel()->tmrSocketTimer();
        s = peer.accept();
        ASSERT_NE(s, nullptr);
        expectHeader(TScriptedPeer::read(s, 344), 1);
        expectHeader(TScriptedPeer::read(s, 140), 20);
        EXPECT_TRUE(QTest::qWaitFor([&] { return downloads() == before + 1; }, 10000));

        // Sign-out closes without a word to the server, and the timer leaves it closed.
        TNoteOptions& o = AppState().NoteOptions;
        {
            // Workers of the main window may be copying the account meanwhile.
            std::lock_guard l(AppState().AccountLock);
            o.FconfigUserID.clear();
            o.FconfigUserName.clear();
            o.FconfigUserPass.clear();
        }
        main.SignedOut();
        EXPECT_TRUE(QTest::qWaitFor([&] { return s->state() != QAbstractSocket::ConnectedState; }, 3000));
        EXPECT_TRUE(s->readAll().isEmpty()) << "no logout on sign-out";
        main.PushChannel()->tmrSocketTimer();
        EXPECT_FALSE(peer.hasPendingConnection());

        // Signing in again connects at once.
        {
            std::lock_guard l(AppState().AccountLock);
            o.FconfigUserID = QStringLiteral("42");
            o.FconfigUserName = QStringLiteral("alice");
            o.FconfigUserPass = kDigest;
        }
        main.SignedIn();
        s = peer.accept();
        ASSERT_NE(s, nullptr);
        expectHeader(TScriptedPeer::read(s, 344), 1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return main.PushChannel()->IsOpen(); }, 2000));

        main.Shutdown();
        const QByteArray logout = TScriptedPeer::read(s, 144);
        expectHeader(logout, 30);
        EXPECT_TRUE(QTest::qWaitFor([&] { return s->state() != QAbstractSocket::ConnectedState; }, 3000));
    }
}
