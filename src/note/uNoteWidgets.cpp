#include "note/uNoteWidgets.h"

#include <QHash>
#include <QPainter>
#include <vector>

namespace UpdatingSpinner {

const QImage& Frame(QColor background, int step) {
    static QHash<QPair<QRgb, int>, QImage> frames;
    step = ((step % kSteps) + kSteps) % kSteps;
    const QPair<QRgb, int> key(background.rgba(), step);
    auto it = frames.constFind(key);
    if (it != frames.cend())
        return *it;
    QImage img(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(background.isValid() ? background : QColor(Qt::transparent));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(kSize / 2, kSize / 2);
    for (int i = 0; i < kSteps; ++i) {
        QColor c(60, 60, 60);
        c.setAlpha(40 + ((i + kSteps - step) % kSteps) * 18);
        p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -3.5), QPointF(0, -6.5));
        p.rotate(360.0 / kSteps);
    }
    p.end();
    return *frames.insert(key, img);
}

} // namespace UpdatingSpinner

TSpinnerClock& TSpinnerClock::Instance() {
    static TSpinnerClock* clock = new TSpinnerClock; // lives as long as the event loop
    return *clock;
}

TSpinnerClock::TSpinnerClock() {
    FTimer.setInterval(UpdatingSpinner::kStepMs);
    connect(&FTimer, &QTimer::timeout, this, &TSpinnerClock::StepNow);
}

quint64 TSpinnerClock::Subscribe(THandler handler) {
    const quint64 ticket = FNext++;
    FHandlers.emplace(ticket, std::move(handler));
    if (!FTimer.isActive())
        FTimer.start();
    return ticket;
}

void TSpinnerClock::Unsubscribe(quint64 ticket) {
    FHandlers.erase(ticket);
    if (FHandlers.empty())
        FTimer.stop();
}

void TSpinnerClock::StepNow() {
    FStep = (FStep + 1) % UpdatingSpinner::kSteps;
    // A window may stop spinning (or close) while the others are told.
    std::vector<quint64> tickets;
    tickets.reserve(FHandlers.size());
    for (const auto& [t, h] : FHandlers)
        tickets.push_back(t);
    for (const quint64 t : tickets) {
        const auto it = FHandlers.find(t);
        if (it != FHandlers.end()) {
            const THandler h = it->second;
            h();
        }
    }
}
