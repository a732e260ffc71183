// Numbered window messages: synchronous delivery on the receiver's thread, a
// worker blocking until the window handled it, and message boxes answered by tests.

#include "platform/gui/uWindows.h"
#include "platform/uBlockingCall.h"
#include "platform/uMessages.h"

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace {

class TReceiver : public QWidget {
public:
    explicit TReceiver(const QString& title) { setWindowTitle(title); }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Type(WM_SETTRANS)) {
            auto& m = static_cast<TWinMessage&>(*e);
            FHandledOn = QThread::currentThread();
            FSeen.append(m.LParam);
            m.Result = m.WParam * 1000 + m.LParam;
            return true;
        }
        return QWidget::event(e);
    }
    QThread* FHandledOn = nullptr;
    QList<LPARAM> FSeen;
};

} // namespace

TEST(Messages, SendFromTheUiThreadIsDirectAndReturnsTheResult) {
    TReceiver r(QStringLiteral("x"));
    EXPECT_EQ(SendMessageW(&r, WM_SETTRANS, 2, 160), 2160);
    EXPECT_EQ(r.FHandledOn, QThread::currentThread());
    EXPECT_EQ(SendMessageW(nullptr, WM_SETTRANS, 2, 160), 0);
}

TEST(Messages, AWorkerWaitsUntilTheWindowHandledItOnTheUiThread) {
    TReceiver r(QStringLiteral("x"));
    std::atomic<LRESULT> result{-1};
    QThread* worker = QThread::create([&] { result = SendMessageW(&r, WM_SETTRANS, 1, 7); });
    worker->start();
    // The worker is blocked until this thread turns its event loop.
    EXPECT_FALSE(worker->wait(200));
    EXPECT_EQ(result.load(), -1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return worker->isFinished(); }, 5000));
    EXPECT_EQ(result.load(), 1007);
    EXPECT_EQ(r.FHandledOn, QApplication::instance()->thread());
    delete worker;
}

TEST(Messages, AWindowDestroyedBeforeItsTurnReleasesTheWorker) {
    auto* r = new TReceiver(QStringLiteral("x"));
    std::atomic<LRESULT> result{-1};
    QThread* worker = QThread::create([&] { result = SendMessageW(r, WM_SETTRANS, 1, 7); });
    worker->start();
    QThread::msleep(100);
    delete r;
    EXPECT_TRUE(QTest::qWaitFor([&] { return worker->isFinished(); }, 5000));
    EXPECT_EQ(result.load(), 0);
    delete worker;
}

TEST(Messages, MessageBoxesCanBeAnsweredByTests) {
    QString seenText;
    unsigned seenType = 0;
    const TMessageBoxHandler old =
        SetMessageBoxHandler([&](QWidget*, const QString& text, const QString&, unsigned t) {
            seenText = text;
            seenType = t;
            return IDYES;
        });
    EXPECT_EQ(
        MessageBoxW(nullptr, QStringLiteral("Sure?"), QStringLiteral("Question"), MB_YESNO | MB_ICONQUESTION),
        IDYES);
    EXPECT_EQ(seenText, QStringLiteral("Sure?"));
    EXPECT_EQ(seenType, MB_YESNO | MB_ICONQUESTION);
    SetMessageBoxHandler(old);
}

// A worker hands the user-interface thread a call and waits a bounded time: a
// busy thread lets it go on, and the call still runs, in order, once that thread
// is free; a free thread runs it within the wait; a target gone meanwhile drops it.
TEST(BoundedCall, ABusyThreadReleasesTheWorkerAndStillRunsTheCallsInOrderLater) {
    QObject target;
    QStringList ran;
    std::atomic<int> inTime{0};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        inTime += RunOnThreadOf(
                      &target, [&] { ran << QStringLiteral("first"); }, 50)
                      ? 1
                      : 0;
        inTime += RunOnThreadOf(
                      &target, [&] { ran << QStringLiteral("second"); }, 50)
                      ? 1
                      : 0;
    }));
    worker->start();
    // This thread does not turn its loop until the worker has given up on it.
    ASSERT_TRUE(worker->wait(10000));
    EXPECT_EQ(inTime.load(), 0);
    EXPECT_TRUE(ran.isEmpty());
    QCoreApplication::sendPostedEvents(&target);
    EXPECT_EQ(ran, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
}

TEST(BoundedCall, AFreeThreadRunsTheCallWithinTheWait) {
    QObject target;
    std::atomic<bool> inTime{false};
    Qt::HANDLE ranOn = nullptr;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        inTime = RunOnThreadOf(
            &target, [&] { ranOn = QThread::currentThreadId(); }, 60000);
    }));
    worker->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return worker->isFinished(); }, 10000));
    EXPECT_TRUE(inTime.load());
    EXPECT_EQ(ranOn, QThread::currentThreadId());
}

TEST(BoundedCall, ACallForATargetGoneMeanwhileIsDropped) {
    auto target = std::make_unique<QObject>();
    bool ran = false;
    std::unique_ptr<QThread> worker(QThread::create([&, t = target.get()] {
        (void)RunOnThreadOf(
            t, [&] { ran = true; }, 10);
    }));
    worker->start();
    ASSERT_TRUE(worker->wait(10000));
    target.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(ran);
}
