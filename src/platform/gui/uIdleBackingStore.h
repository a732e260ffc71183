#pragma once
// Lets a top-level window give back its backing store (the client-side image of
// its pixels, a shared-memory segment of width x height x 4 bytes) after each
// paint while it is idle. The picture stays on screen; the next update or expose
// repaints the whole window into a fresh store. Worth it for windows made by the
// hundred that are seldom repainted.

#include <QObject>
#include <functional>

class QWidget;

class TIdleBackingStore : public QObject {
public:
    // `inUse` says when the window must hold on to its store (someone works in it);
    // `animating` when it repaints on its own every moment: it then keeps the store
    // from its first repaint of its own on, not from a mere expose (a thousand
    // windows coming up all animating would otherwise hold a thousand stores).
    // The window must be native already (its window handle exists).
    TIdleBackingStore(QWidget* window, std::function<bool()> inUse, std::function<bool()> animating = {});

    [[nodiscard]] bool Released() const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ReleaseAfterPaint(bool exposed);

    QWidget* FWindow;
    std::function<bool()> FInUse;
    std::function<bool()> FAnimating;
    bool FInPaint = false;
};
