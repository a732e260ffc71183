// The sync controller against a service double and a scripted push server on
// loopback: no request for a download is lost, a channel that opens after a
// start without a server catches up, and a sign-in reads where the push server
// is before connecting.

#include "data/uAppState.h"
#include "data/uNoteStore.h"
#include "shared/uPushPacket.h"
#include "support/LoopbackHttpServer.h"
#include "support/SignedInUser.h"
#include "support/TestEnv.h"
#include "sync/uPushChannel.h"
#include "sync/uSyncController.h"
#include "sync/uSyncEngine.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>

namespace {

const QString kPcId = QStringLiteral("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");
const QString kDigest = QStringLiteral("5f4dcc3b5aa765d61d8327deb882cf99");
const QByteArray kEmptyNotes = "<?xml version=\"1.0\" encoding=\"utf-8\"?><NOTES></NOTES>";

class SyncControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FPush.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        qputenv("ZUVONOTE_SERVER", FHttp.baseUrl().toUtf8());
        qputenv("ZUVONOTE_PUSH_PORT", QByteArray::number(FPush.serverPort()));
        const QString dir = testenv::freshDir(QStringLiteral("controller"));
        FStore = dir + QStringLiteral("/brisel.mdb");
        NoteStore::CreateFromSchema(FStore);
        FAudio = dir + QStringLiteral("/audio/");
        FHttp.setHandler([this](const TRecordedRequest& r) { return reply(r); });
    }
    void TearDown() override {
        qunsetenv("ZUVONOTE_SERVER");
        qunsetenv("ZUVONOTE_PUSH_PORT");
    }

    TCannedReply reply(const TRecordedRequest& r) {
        TCannedReply out;
        if (r.Target.contains("zuvonote.xml")) {
            out.Body =
                "<basicinfo><asyncserver>127.0.0.2</asyncserver><maxupload>123456</maxupload></basicinfo>";
        } else if (r.Target.contains("get_notes.php")) {
            ++FDownloads;
            out.Status = FServerDown ? 503 : 200;
            out.Body = FServerDown ? QByteArray() : kEmptyNotes;
            out.DelayMs = FDownloadDelayMs;
        }
        return out;
    }
    [[nodiscard]] int requestsFor(const char* path) const {
        int n = 0;
        for (const TRecordedRequest& r : FHttp.requests())
            n += r.Target.contains(path) ? 1 : 0;
        return n;
    }
    std::unique_ptr<SyncController> make() {
        return std::make_unique<SyncController>(FStore, FAudio, SyncController::THooks{});
    }
    // The push server's end of the next connection, after the client's sign-in.
    QTcpSocket* acceptSignIn(int timeoutMs = 10000) {
        if (!QTest::qWaitFor([&] { return FPush.hasPendingConnections(); }, timeoutMs))
            return nullptr;
        QTcpSocket* s = FPush.nextPendingConnection();
        (void)QTest::qWaitFor(
            [&] { return s->bytesAvailable() >= qint64(push::kHeaderSize + push::kLoginBodySize); }, 5000);
        s->readAll();
        return s;
    }

    TLoopbackHttpServer FHttp;
    QTcpServer FPush;
    QString FStore;
    QString FAudio;
    std::atomic<int> FDownloads{0};
    std::atomic<bool> FServerDown{false};
    std::atomic<int> FDownloadDelayMs{0};
};

} // namespace

TEST_F(SyncControllerTest, ADownloadAskedForWhileOneRunsFollowsItAndEveryNoticeCounts) {
    testenv::TSignedInUser user(42, QStringLiteral("ann"), kDigest, kPcId);
    auto sync = make();
    QSignalSpy begun(sync.get(), &SyncController::UpdatingBegin);
    QSignalSpy ended(sync.get(), &SyncController::UpdatingEnd);
    FDownloadDelayMs = 400;
    sync->Start(true);
    QTcpSocket* peer = acceptSignIn();
    ASSERT_NE(peer, nullptr);

    sync->RequestFullDownload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return FDownloads == 1; }, 10000));
    // Two notices in one write, while that download runs.
    const std::string notice = push::EncodeNoteChanged("SERVER", push::TNoteChangedBody{42, "N"});
    peer->write(QByteArray::fromStdString(notice + notice));
    peer->flush();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sync->DownloadWaiting(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return FDownloads == 2 && !AppState().DownloadRunning; }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(FDownloads, 2) << "the requests made meanwhile are one download after it";
    EXPECT_FALSE(sync->DownloadWaiting());
    EXPECT_EQ(begun.count(), ended.count());
    EXPECT_EQ(sync->MaxUploadBytes(), 123456);
    sync->StopRuns();
}

TEST_F(SyncControllerTest, TheFirstChannelOpenAfterAStartWithoutTheServerCatchesUp) {
    testenv::TSignedInUser user(42, QStringLiteral("ann"), kDigest, kPcId);
    auto sync = make();
    QSignalSpy finished(sync.get(), &SyncController::DownloadFinished);
    FServerDown = true;
    sync->RequestFullDownload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 10000));
    FServerDown = false;

    sync->Start(true);
    ASSERT_NE(acceptSignIn(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return FDownloads == 2; }, 10000));

    // Once a download got through, a later first open needs none.
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, 10000));
    sync->Push()->CloseClientSock();
    sync->Push()->CreateClientSock();
    ASSERT_NE(acceptSignIn(), nullptr);
    QTest::qWait(300);
    EXPECT_EQ(FDownloads, 3) << "a channel open again catches up once";
    sync->StopRuns();
}

TEST_F(SyncControllerTest, ASignInReadsWhereThePushServerIsBeforeConnecting) {
    auto sync = make();
    sync->Start(false);
    QTest::qWait(300);
    EXPECT_EQ(requestsFor("zuvonote.xml"), 0) << "nobody signed in: nothing is asked";
    EXPECT_FALSE(FPush.hasPendingConnections());

    testenv::TSignedInUser user(42, QStringLiteral("ann"), kDigest, kPcId);
    sync->SignedIn();
    // Only the address the document names answers (127.0.0.2, not the default).
    ASSERT_NE(acceptSignIn(), nullptr);
    EXPECT_EQ(requestsFor("zuvonote.xml"), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sync->Push()->IsOpen(); }, 5000));
    EXPECT_EQ(sync->Push()->ServerAddress(), QStringLiteral("127.0.0.2"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return requestsFor("get_notes.php") >= 1; }, 10000));

    sync->SignedOut();
    EXPECT_FALSE(sync->Push()->IsOpen());
    sync->StopRuns();
}
