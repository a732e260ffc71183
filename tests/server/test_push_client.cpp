// The program's push channel against the real push server: it signs in, hears
// of another device's change, announces its own, gets its keep-alives
// answered, and notices when the server ends the connection.

#include "ServerTestSupport.h"
#include "shared/uPushPacket.h"
#include "support/SignedInUser.h"
#include "sync/uPushChannel.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

using namespace servertest;

namespace {

const QString kPcId = QStringLiteral("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");

// Another device of the same user, speaking through a plain socket.
struct TOtherDevice {
    QTcpSocket Sock;

    void SignIn(std::uint16_t port, std::int32_t user, const std::string& digest) {
        Sock.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(Sock.waitForConnected(5000));
        Send(push::EncodeLogin("OTHER-DEVICE", push::TLoginBody{user, "other", digest}));
    }
    void Send(const std::string& packet) {
        Sock.write(packet.data(), static_cast<qint64>(packet.size()));
        Sock.flush();
    }
    QByteArray Read(int n) {
        QByteArray got;
        (void)QTest::qWaitFor(
            [&] {
                got += Sock.read(n - got.size());
                return got.size() >= n;
            },
            5000);
        return got;
    }
};

} // namespace

TEST(PushClient, TalksWithTheRealPushServer) {
    for (const std::string& kind : StoreKinds()) {
        SCOPED_TRACE(KindName(kind));
        TTestDatabase db(kind);
        TTestServer server(db.location());
        const std::int64_t id = server.addUser("ann@example.com", "secret");
        const testenv::TSignedInUser user(static_cast<qint32>(id), QStringLiteral("ann@example.com"),
                                          QString::fromStdString(Md5("secret")), kPcId);

        TPushChannel ch;
        std::uint32_t tick = 1000;
        ch.SetTickSource([&] { return tick; });
        ch.SetServer(QStringLiteral("127.0.0.1"), server.pushPort());
        QSignalSpy notices(&ch, &TPushChannel::NoteChangedNotice);
        QSignalSpy closed(&ch, &TPushChannel::ChannelClosed);
        ch.CreateClientSock();
        TOtherDevice other;
        other.SignIn(server.pushPort(), static_cast<std::int32_t>(id), Md5("secret"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.app().PushSignedIn() == 2; }, 10000));
        ASSERT_TRUE(ch.IsOpen());

        // The other device's change reaches this one.
        other.Send(push::EncodeNoteChanged("OTHER-DEVICE", push::TNoteChangedBody{0, "NOTE-A"}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return notices.count() == 1; }, 5000));

        // This one's upload notice reaches the other.
        ch.SendNoteChanged(QStringLiteral("NOTE-B"));
        const QByteArray got = other.Read(190);
        ASSERT_EQ(got.size(), 190);
        const auto body = push::DecodeNoteChanged(
            {reinterpret_cast<const std::uint8_t*>(got.constData()) + 132, std::size_t(58)});
        ASSERT_TRUE(body);
        EXPECT_EQ(body->NoteId, "NOTE-B");

        // The server answers keep-alives: the silence clock starts again.
        tick = 200000;
        ch.tmrSocketTimer();
        EXPECT_TRUE(QTest::qWaitFor([&] { return ch.LastServerActivity() == 200000; }, 5000));

        // Signing off: the server ends the connection, the channel notices.
        ch.SendCloseData();
        EXPECT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 5000));
        EXPECT_FALSE(ch.IsOpen());
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.app().PushSignedIn() == 1; }, 5000));
    }
}

TEST(PushClient, ARefusedSignInClosesTheChannel) {
    TTestDatabase db("sqlite");
    TTestServer server(db.location());
    const std::int64_t id = server.addUser("ann@example.com", "secret");
    const testenv::TSignedInUser user(static_cast<qint32>(id), QStringLiteral("ann@example.com"),
                                      QString::fromStdString(Md5("not the password")), kPcId);

    TPushChannel ch;
    ch.SetServer(QStringLiteral("127.0.0.1"), server.pushPort());
    QSignalSpy closed(&ch, &TPushChannel::ChannelClosed);
    ch.CreateClientSock();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }, 10000));
    EXPECT_FALSE(ch.IsOpen());
    EXPECT_EQ(server.app().PushSignedIn(), 0u);
}
