#pragma once
// Runs a blocking function (a network call the design makes on the UI thread) on
// a helper thread while the calling thread keeps its event loop turning, and
// returns once the function has finished.

#include <QEventLoop>
#include <QThread>
#include <memory>
#include <utility>

template <typename F> void RunWithEventLoop(F&& fn) {
    std::unique_ptr<QThread> t(QThread::create(std::forward<F>(fn)));
    QEventLoop loop;
    QObject::connect(t.get(), &QThread::finished, &loop, &QEventLoop::quit);
    t->start();
    if (!t->isFinished())
        loop.exec();
    t->wait();
}
