#pragma once
// Keeping notes reachable when screens come and go: a note of which too little
// is visible on every screen is moved fully onto the nearest one, and a docked
// strip whose screen edge is gone goes to the same edge of the nearest screen.
// Pure geometry, so every arrangement of screens can be tried without one.

#include <QList>
#include <QRect>
#include <optional>

struct TScreenArea {
    QRect Full; // the whole screen
    QRect Work; // without panels and docks
};

namespace ScreenFit {

// The smallest piece of a note that still counts as visible on one screen.
inline constexpr int kMinVisibleWidth = 40;
inline constexpr int kMinVisibleHeight = 20;

// The note's new rectangle, or nothing when it may stay where it is.
[[nodiscard]] std::optional<QRect> FitUndocked(const QRect& note, const QList<TScreenArea>& screens);
// edge: 0 left, 1 top, 2 right. The strip's new rectangle, or nothing when its edge still exists.
[[nodiscard]] std::optional<QRect> FitDocked(const QRect& strip, int edge, const QList<TScreenArea>& screens);

} // namespace ScreenFit
