#pragma once
// One one-second timer for many per-window one-second timers: each subscriber's
// handler runs once a second, in subscription order, from a single wake-up.

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

class TSharedTicker : public QObject {
public:
    using THandler = std::function<void()>;

    [[nodiscard]] static TSharedTicker& Instance();

    // Returns a ticket for Unsubscribe.
    [[nodiscard]] quint64 Subscribe(THandler handler);
    void Unsubscribe(quint64 ticket);
    [[nodiscard]] int SubscriberCount() const { return int(FHandlers.size()); }
    // Runs one tick now (tests).
    void TickNow();

private:
    TSharedTicker();
    QTimer FTimer;
    quint64 FNext = 1;
    std::map<quint64, THandler> FHandlers; // ordered by ticket = creation order
};
