#include "platform/uSharedTicker.h"

#include <vector>

TSharedTicker& TSharedTicker::Instance() {
    static TSharedTicker* ticker = new TSharedTicker; // lives as long as the event loop
    return *ticker;
}

TSharedTicker::TSharedTicker() {
    FTimer.setInterval(1000);
    FTimer.setTimerType(Qt::CoarseTimer);
    connect(&FTimer, &QTimer::timeout, this, &TSharedTicker::TickNow);
}

quint64 TSharedTicker::Subscribe(THandler handler) {
    const quint64 ticket = FNext++;
    FHandlers.emplace(ticket, std::move(handler));
    if (!FTimer.isActive())
        FTimer.start();
    return ticket;
}

void TSharedTicker::Unsubscribe(quint64 ticket) {
    FHandlers.erase(ticket);
    if (FHandlers.empty())
        FTimer.stop();
}

void TSharedTicker::TickNow() {
    // A handler may subscribe or unsubscribe (a note closing): walk the tickets of this tick.
    std::vector<quint64> tickets;
    tickets.reserve(FHandlers.size());
    for (const auto& [t, h] : FHandlers)
        tickets.push_back(t);
    for (quint64 t : tickets) {
        const auto it = FHandlers.find(t);
        if (it != FHandlers.end()) {
            THandler h = it->second; // the handler may unsubscribe itself
            h();
        }
    }
}
