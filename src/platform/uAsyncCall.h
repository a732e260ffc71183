#pragma once
// Runs a blocking function (a network request) on a thread of its own and hands
// its result to a completion handler on the receiver's thread. When the receiver
// is gone by then, the result is dropped: a window closed while its request ran
// hears nothing of it.

#include "platform/uThreadHandOver.h"

#include <QObject>
#include <functional>
#include <memory>
#include <utility>

template <typename R> void RunAsync(QObject* receiver, std::function<R()> work, std::function<void(R)> done) {
    auto result = std::make_shared<R>();
    StartThread(
        receiver, [result, work = std::move(work)] { *result = work(); },
        [result, done = std::move(done)] { done(std::move(*result)); });
}
