#include "data/uScreenFit.h"

#include <algorithm>
#include <limits>

namespace {

qint64 squaredDistance(const QPoint& p, const QRect& r) {
    const qint64 dx = p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0);
    const qint64 dy = p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0);
    return dx * dx + dy * dy;
}

const TScreenArea* nearest(const QRect& rect, const QList<TScreenArea>& screens) {
    const TScreenArea* best = nullptr;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (const TScreenArea& s : screens) {
        const qint64 d = squaredDistance(rect.center(), s.Full);
        if (d < bestDistance) {
            bestDistance = d;
            best = &s;
        }
    }
    return best;
}

// Start of a span of length `size` kept inside [lo, lo + room); the start wins when it does not fit.
int clampSpan(int start, int size, int lo, int room) {
    return std::max(lo, std::min(start, lo + room - size));
}

bool within(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}

} // namespace

namespace ScreenFit {

std::optional<QRect> FitUndocked(const QRect& note, const QList<TScreenArea>& screens) {
    for (const TScreenArea& s : screens) {
        const QRect seen = note.intersected(s.Full);
        if (seen.width() >= kMinVisibleWidth && seen.height() >= kMinVisibleHeight)
            return std::nullopt;
    }
    const TScreenArea* target = nearest(note, screens);
    if (!target)
        return std::nullopt;
    const QRect& w = target->Work.isValid() ? target->Work : target->Full;
    return QRect(clampSpan(note.x(), note.width(), w.x(), w.width()),
                 clampSpan(note.y(), note.height(), w.y(), w.height()), note.width(), note.height());
}

std::optional<QRect> FitDocked(const QRect& strip, int edge, const QList<TScreenArea>& screens) {
    const QPoint c = strip.center();
    for (const TScreenArea& s : screens) {
        const QRect& f = s.Full;
        const bool onEdge = (edge == 0 && strip.left() == f.left() && within(c.y(), f.top(), f.bottom())) ||
                            (edge == 1 && strip.top() == f.top() && within(c.x(), f.left(), f.right())) ||
                            (edge == 2 && strip.right() == f.right() && within(c.y(), f.top(), f.bottom()));
        if (onEdge)
            return std::nullopt;
    }
    if (edge < 0 || edge > 2)
        return std::nullopt;
    const TScreenArea* target = nearest(strip, screens);
    if (!target)
        return std::nullopt;
    const QRect& f = target->Full;
    QRect out(strip);
    switch (edge) {
    case 0:
        out.moveTo(f.left(), clampSpan(strip.y(), strip.height(), f.top(), f.height()));
        break;
    case 1:
        out.moveTo(clampSpan(strip.x(), strip.width(), f.left(), f.width()), f.top());
        break;
    default:
        out.moveTo(f.right() - strip.width() + 1, clampSpan(strip.y(), strip.height(), f.top(), f.height()));
        break;
    }
    return out;
}

} // namespace ScreenFit
