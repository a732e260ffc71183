#include "platform/gui/uIdleBackingStore.h"

#include <QBackingStore>
#include <QEvent>
#include <QWidget>
#include <QWindow>

TIdleBackingStore::TIdleBackingStore(QWidget* window, std::function<bool()> inUse,
                                     std::function<bool()> animating)
    : QObject(window), FWindow(window), FInUse(std::move(inUse)), FAnimating(std::move(animating)) {
    FWindow->installEventFilter(this);
    if (QWindow* w = FWindow->windowHandle())
        w->installEventFilter(this);
}

bool TIdleBackingStore::Released() const {
    const QBackingStore* store = FWindow->backingStore();
    return !store || store->size().isEmpty();
}

void TIdleBackingStore::ReleaseAfterPaint(bool exposed) {
    if (Released() || (FInUse && FInUse()) || (!exposed && FAnimating && FAnimating()))
        return;
    // An empty size frees the image and its segment; the next paint finds the size
    // wrong and repaints everything at the window's size.
    FWindow->backingStore()->resize(QSize(0, 0));
}

bool TIdleBackingStore::eventFilter(QObject* watched, QEvent* e) {
    // A window made anew (new flags, new parent) must be watched as well.
    if (e->type() == QEvent::WinIdChange && watched == FWindow) {
        if (QWindow* w = FWindow->windowHandle())
            w->installEventFilter(this);
        return false;
    }
    const bool expose = e->type() == QEvent::Expose && watched == FWindow->windowHandle();
    const bool update = e->type() == QEvent::UpdateRequest && watched == FWindow;
    if ((!expose && !update) || FInPaint)
        return false;
    // An expose with nothing dirty only copies the store to the screen: with the
    // store given back there is nothing to copy, so the window is repainted instead.
    if (expose && Released())
        FWindow->update();
    // Paint (and flush) now, then give the store back before the next window paints,
    // so that a thousand windows coming up never hold a thousand stores at once.
    FInPaint = true;
    watched->event(e);
    FInPaint = false;
    ReleaseAfterPaint(expose);
    return true;
}
