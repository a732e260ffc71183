#pragma once
// Small pieces of the note window: the updating spinner.

#include <QColor>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>

// The 16×16 "updating" spinner, drawn by the window that shows it: a download
// touches every note at once, and a child widget and a timer for each of a
// thousand notes would cost more than the notes themselves.
namespace UpdatingSpinner {
inline constexpr int kSize = 16;
inline constexpr int kSteps = 12;
inline constexpr int kStepMs = 100;
// One picture of the spinner over its background; made once per colour and step.
[[nodiscard]] const QImage& Frame(QColor background, int step);
} // namespace UpdatingSpinner

// Moves every shown spinner on by one step, from a single timer that runs only
// while some window spins.
class TSpinnerClock : public QObject {
public:
    using THandler = std::function<void()>;

    [[nodiscard]] static TSpinnerClock& Instance();

    [[nodiscard]] quint64 Subscribe(THandler handler);
    void Unsubscribe(quint64 ticket);
    // The step every spinner shows now (0 .. kSteps - 1).
    [[nodiscard]] int Step() const { return FStep; }
    [[nodiscard]] bool IsRunning() const { return FTimer.isActive(); }
    // Runs one step now (tests).
    void StepNow();

private:
    TSpinnerClock();
    QTimer FTimer;
    int FStep = 0;
    quint64 FNext = 1;
    std::map<quint64, THandler> FHandlers;
};
