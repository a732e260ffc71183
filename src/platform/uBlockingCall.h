#pragma once
// Calls across threads that keep the waiting side's wait bounded or its loop turning.

#include "platform/uThreadHandOver.h"

#include <QEventLoop>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <memory>
#include <utility>

// Runs a blocking function (a network call the design makes on the UI thread) on
// a helper thread while the calling thread keeps its event loop turning, and
// returns once the function has finished.
template <typename F> void RunWithEventLoop(F&& fn) {
    std::unique_ptr<QThread> t(CreateThread(std::forward<F>(fn)));
    QEventLoop loop;
    QObject::connect(t.get(), &QThread::finished, &loop, &QEventLoop::quit);
    t->start();
    if (!t->isFinished())
        loop.exec();
    WaitForThread(t.get());
}

// Runs fn on the thread of `context` and waits for it at most `timeoutMs`. True
// when it ran within that time. Past it the caller goes on while fn stays queued:
// it still runs once that thread is free again (unless `context` is gone by then),
// so a busy user-interface thread delays what a worker hands it but never holds
// the worker, nor anything that waits for the worker, without a bound.
template <typename F> bool RunOnThreadOf(QObject* context, F&& fn, int timeoutMs) {
    if (context->thread() == QThread::currentThread()) {
        fn();
        return true;
    }
    auto done = std::make_shared<QSemaphore>();
    PostToThreadOf(context, [done, fn = std::forward<F>(fn)]() mutable {
        fn();
        HandOverRelease(done.get());
        done->release();
    });
    if (!done->tryAcquire(1, timeoutMs))
        return false;
    HandOverAcquire(done.get());
    return true;
}
