#include "app/uScreenWatch.h"
#include "note/uNoteDocking.h"

#include "data/uNoteRepository.h"
#include "note/uFmNote.h"
#include "note/uNoteManager.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

TScreenWatch::TScreenWatch(NoteRepository& notes, const TNoteManager& windows, QObject* parent)
    : QObject(parent), FNotes(notes), FWindows(windows) {
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* s) {
        WatchScreen(s);
        FitSoon();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &TScreenWatch::FitSoon);
    for (QScreen* s : QGuiApplication::screens())
        WatchScreen(s);
}

void TScreenWatch::WatchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &TScreenWatch::FitSoon);
}

void TScreenWatch::FitSoon() {
    if (FPending)
        return;
    FPending = true;
    QTimer::singleShot(0, this, [this] {
        FPending = false;
        FitAll();
    });
}

QList<TScreenArea> TScreenWatch::CurrentScreens() {
    QList<TScreenArea> out;
    for (const QScreen* s : QGuiApplication::screens())
        out.append({s->geometry(), s->availableGeometry()});
    return out;
}

int TScreenWatch::FitAll() {
    return FitAll(CurrentScreens());
}

int TScreenWatch::FitAll(const QList<TScreenArea>& screens) {
    int moved = 0;
    for (TFmNote* n : FWindows.Windows())
        if (!n->IsPreviewMode() && FitNote(n, screens))
            ++moved;
    return moved;
}

bool TScreenWatch::FitNote(TFmNote* n, const QList<TScreenArea>& screens) {
    const QRect now = n->geometry();
    if (n->IsDocked()) {
        const std::optional<QRect> to = ScreenFit::FitDocked(now, n->Dock().Edge, screens);
        if (!to)
            return false;
        // The strip's own rule has the last word on where along its edge it sits.
        n->setGeometry(*to);
        if (n->geometry() == now)
            return false;
        // A failure is reported by the repository; the strip is on screen all the same.
        (void)n->Docking().StripMoved(FNotes);
        return true;
    }
    if (const std::optional<QPoint>& home = n->HomePlace()) {
        if (!ScreenFit::FitUndocked(QRect(*home, n->size()), screens)) {
            n->ReturnHome();
            return true;
        }
    }
    const std::optional<QRect> to = ScreenFit::FitUndocked(now, screens);
    if (!to)
        return false;
    // Nothing is stored: a screen that is gone for now, or a scaling that makes
    // the screen look smaller, must not cost the user the arrangement.
    n->MoveAwayFromHome(to->topLeft());
    return true;
}
