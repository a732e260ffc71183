#pragma once
// The few ways work crosses between threads here: a call posted to another
// thread's event loop, and a thread whose end is heard of by a handler or a
// wait. Each says what the toolkit guarantees where ThreadSanitizer can see it
// (shared/uHandOver.h); the synchronisation itself is Qt's.

#include "shared/uHandOver.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <functional>
#include <type_traits>
#include <utility>

namespace handover_detail {

// The calling thread, as the token of what is handed to it (or of its end);
// not looked up outside the sanitizer's build, where a thread Qt did not start
// would get a thread object of its own from the look-up.
[[nodiscard]] inline const QThread* ThisThread() {
    if constexpr (kHandOverAnnotated)
        return QThread::currentThread();
    return nullptr;
}

// A function on its way into Qt's queued call. The token of a hand-over is the
// thread that takes it: the sender releases on the target thread, and the
// target acquires on itself before it reads anything the sender wrote. Qt moves
// the function into the call's storage as the last write before posting it, so
// the release goes with each move. Qt deletes the call on whichever thread drops
// the last reference to it: the target thread (after the call, or unrun when
// the target object is gone) or the sender after the call ran; either way the
// deleting thread has acquired all it needs first.
template <typename F> class THandedOver {
public:
    THandedOver(F fn, QThread* target) : FFn(std::move(fn)), FTarget(target) { HandOverRelease(FTarget); }
    THandedOver(THandedOver&& other) noexcept(std::is_nothrow_move_constructible_v<F>)
        : FFn(std::move(other.FFn)), FTarget(other.FTarget) {
        HandOverRelease(FTarget);
    }
    THandedOver(const THandedOver&) = delete;
    THandedOver& operator=(const THandedOver&) = delete;
    THandedOver& operator=(THandedOver&&) = delete;
    ~THandedOver() {
        HandOverAcquire(ThisThread());
        HandOverAcquire(this);
    }

    void operator()() {
        HandOverAcquire(ThisThread());
        FFn();
        HandOverRelease(this);
    }

private:
    F FFn;
    QThread* FTarget;
};

} // namespace handover_detail

// Runs fn on the thread of `context` once its event loop gets to it (never,
// when `context` is gone by then); returns at once.
template <typename F> void PostToThreadOf(QObject* context, F&& fn) {
    QMetaObject::invokeMethod(
        context, handover_detail::THandedOver<std::decay_t<F>>(std::forward<F>(fn), context->thread()),
        Qt::QueuedConnection);
}

// Runs fn on the thread of `context` and waits for it without a bound: only for
// a caller on another thread that cannot go on without what fn does, and that
// the thread of `context` never waits for. Returns without fn having run when
// `context` is gone first.
template <typename F> void RunOnThreadOfAndWait(QObject* context, F&& fn) {
    const QThread* const caller = handover_detail::ThisThread();
    QMetaObject::invokeMethod(context,
                              handover_detail::THandedOver(
                                  [caller, &fn] {
                                      fn();
                                      HandOverRelease(caller);
                                  },
                                  context->thread()),
                              Qt::BlockingQueuedConnection);
    HandOverAcquire(caller);
}

// A thread that runs fn, not yet started. Whoever learns that it ended, by its
// finished signal or by waiting for it, sees all that fn wrote once it calls
// ThreadEnded (as StartThread and WaitForThread do).
template <typename F> [[nodiscard]] QThread* CreateThread(F&& fn) {
    return QThread::create([fn = std::forward<F>(fn)]() mutable {
        fn();
        HandOverRelease(handover_detail::ThisThread());
    });
}
inline void ThreadEnded(const QThread* thread) {
    HandOverAcquire(thread);
}

// Waits for a thread made by CreateThread to end.
inline void WaitForThread(QThread* thread) {
    thread->wait();
    ThreadEnded(thread);
}

// Starts fn on a thread of its own. `finished` runs on the receiver's thread
// once the thread has ended (not when the receiver is gone by then); the thread
// object deletes itself afterwards.
template <typename F>
QThread* StartThread(QObject* receiver, F&& fn, std::function<void()> finished,
                     QThread::Priority priority = QThread::InheritPriority) {
    QThread* t = CreateThread(std::forward<F>(fn));
    QObject::connect(t, &QThread::finished, receiver, [t, finished = std::move(finished)] {
        ThreadEnded(t);
        if (finished)
            finished();
    });
    QObject::connect(t, &QThread::finished, t, &QObject::deleteLater);
    t->start(priority);
    return t;
}
