#include "note/uNoteDocking.h"

#include "data/uAppState.h"
#include "data/uNoteRepository.h"
#include "note/uFmNote.h"
#include "note/uFmNoteSupport.h"
#include "note/uNoteShell.h"
#include "note/uNoteText.h"
#include "platform/gui/uDesktop.h"
#include "platform/gui/uWindows.h"
#include "ui/uFmHint.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>

namespace NoteDocking {

namespace {

// Where a docked note goes back to: its stored place and size, at least (1, 1),
// at least 220 wide and 40 high, and not beyond the screen's right edge.
QRect RestoredGeometry(const TNoteItem& stored) {
    const int screenWidth = ScreenRect().width();
    int left = qMax(1, stored.FmX);
    const int top = qMax(1, stored.FmY);
    const int w = stored.FmW <= kRestoreMinWidth ? kRestoreMinWidth : stored.FmW;
    if (left + w > screenWidth)
        left = screenWidth - w - 1;
    return QRect(left, top, w, qMax(40, stored.FmH));
}

} // namespace

QRect ScreenRect() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

QRect StripGeometry(int edge, QPoint topLeft) {
    const QRect s = ScreenRect();
    // Held wholly on the screen along the edge: a strip beyond a corner could never
    // be clicked again.
    switch (edge) {
    case kEdgeTop:
        return QRect(qBound(0, topLeft.x(), s.width() - kStripLength), 0, kStripLength, kStripThickness);
    case kEdgeLeft:
        return QRect(0, qBound(0, topLeft.y(), s.height() - kStripLength), kStripThickness, kStripLength);
    case kEdgeRight:
        return QRect(s.width() - kStripThickness, qBound(0, topLeft.y(), s.height() - kStripLength),
                     kStripThickness, kStripLength);
    default:
        // A damaged row: no edge to hold it to.
        return QRect(topLeft, QSize(kStripThickness, kStripLength));
    }
}

QPoint PreviewPlace(int edge, const QRect& strip, QSize size) {
    const int workHeight = PrimaryWorkArea().height();
    const int screenWidth = ScreenRect().width();
    // Walked back until it ends inside, or reaches 0. A preview whose last row is
    // the last row inside already fits and stays.
    auto walkedBack = [](int start, int extent, int limit) {
        return start > 0 && start + extent > limit ? qMax(0, limit - extent) : start;
    };
    if (edge == kEdgeTop)
        return QPoint(walkedBack(strip.x(), size.width(), screenWidth), kPreviewGap);
    const int left = edge == kEdgeRight ? screenWidth - size.width() - kPreviewGap : strip.x() + kPreviewGap;
    return QPoint(left, walkedBack(strip.y(), size.height(), workHeight));
}

} // namespace NoteDocking

using namespace NoteDocking;
using NoteSupport::notes;

TNoteDocking::TNoteDocking(TFmNote& note) : FNote(note) {}

TNoteDocking::~TNoteDocking() {
    // Later, not now: whoever is deleting every note window may reach it next.
    if (FPreview)
        FPreview->deleteLater();
}

void TNoteDocking::BackToStoredStrip() {
    // The window in the shape its row describes after a statement that would have
    // changed both failed.
    const NoteDock& d = FNote.Dock();
    FNote.setGeometry(StripGeometry(d.Edge, QPoint(d.StripX, d.StripY)));
}

bool TNoteDocking::DockAtEdge() {
    const QRect s = ScreenRect();
    const QRect g = FNote.geometry();
    int edge = 0;
    if (g.x() + g.width() >= s.width())
        edge = kEdgeRight;
    else if (g.x() <= 0)
        edge = kEdgeLeft;
    else if (g.y() <= 0)
        edge = kEdgeTop;
    else
        return false;
    const QRect strip = StripGeometry(edge, g.topLeft());
    // The row first: the window changes its shape only once the row says it is docked.
    // A failed dock is reported once and ends the drop there: the note stays where
    // it was dropped, and its place reaches the store with the next save.
    if (NoteRepository* r = notes(FNote.Context()); r && !r->Dock(FNote.NoteId(), edge, strip.topLeft()))
        return true;
    FNote.FRecord.Dock = NoteDock{true, edge, strip.x(), strip.y()};
    FNote.setGeometry(strip);
    FNote.DrawNoteFrame();
    return true;
}

void TNoteDocking::PressStarted() {
    FPressStart = FNote.pos();
    ReleasePreview();
}

void TNoteDocking::DragEnded() {
    if (FNote.pos() == FPressStart) {
        Restore();
    } else {
        if (NoteRepository* r = notes(FNote.Context()); r && !r->MoveStrip(FNote.NoteId(), FNote.pos())) {
            BackToStoredStrip();
        } else {
            // Kept in step with the row: showing the note again puts it here.
            FNote.FRecord.Dock.StripX = FNote.x();
            FNote.FRecord.Dock.StripY = FNote.y();
            // Still under the mouse at its new place: the preview follows it there.
            if (FNote.underMouse())
                MouseEntered();
        }
    }
    FPressStart = FNote.pos();
}

bool TNoteDocking::StripMoved(NoteRepository& store) {
    if (!store.MoveStrip(FNote.NoteId(), FNote.pos()))
        return false;
    FNote.FRecord.Dock.StripX = FNote.x();
    FNote.FRecord.Dock.StripY = FNote.y();
    return true;
}

void TNoteDocking::Restore() {
    if (!FNote.IsDocked() || FNote.IsPreviewMode())
        return;
    NoteRepository* r = notes(FNote.Context());
    if (!r)
        return;
    // A failure leaves the note docked as its row says.
    const std::optional<NoteRecord> stored = r->Undock(FNote.NoteId(), FNote.pos());
    if (!stored) {
        BackToStoredStrip();
        return;
    }
    ReleasePreview();
    // The row keeps the strip's last place; the edge goes back to the left.
    FNote.FRecord.Dock = NoteDock{false, 0, FNote.x(), FNote.y()};
    FNote.setGeometry(RestoredGeometry(stored->Note));
    FNote.DrawNoteFrame();
}

QSize TNoteDocking::UndockedSize() const {
    // Unknown: the least size a restored note has.
    NoteRepository* r = notes(FNote.Context());
    const std::optional<NoteRecord> stored = r ? r->Find(FNote.NoteId()) : std::nullopt;
    return RestoredGeometry(stored ? stored->Note : TNoteItem{}).size();
}

void TNoteDocking::MouseEntered() {
    if (!FNote.IsDocked() || FNote.IsPreviewMode() || FPreview)
        return;
    // A preview is a courtesy; without its stored width it takes the least one.
    int width = 0;
    if (NoteRepository* r = notes(FNote.Context()))
        if (const std::optional<NoteRecord> stored = r->Find(FNote.NoteId()))
            width = stored->Note.FmW;
    // The note as it looks now, open, never bold, its height following its text.
    NoteRecord look = FNote.Record();
    look.Dock = NoteDock{};
    look.Note.NNote = NoteText::PlainText(FNote.Document());
    look.Note.FmTrans = FNote.Alpha();
    look.Note.FontColor = FNote.FontColor();
    const QFont f = FNote.EditorFont();
    look.Note.FontName = f.family();
    look.Note.FontSize = f.pointSize();
    look.Note.FontBold = 0;
    look.Note.AutoHeight = 1;
    auto* p = new TFmNote(FNote.ContextPtr());
    p->SetIsPreviewMode(true);
    // Its width first: the height is worked out for it.
    p->resize(width <= kRestoreMinWidth ? kRestoreMinWidth : width, p->height());
    p->ShowRecord(look);
    p->SetLayered(FNote.Layered());
    p->move(PreviewPlace(FNote.Dock().Edge, FNote.geometry(), p->size()));
    // Hovering must not take the keyboard from whatever window has it.
    p->setAttribute(Qt::WA_ShowWithoutActivating);
    FPreview = p;
    p->show();
}

void TNoteDocking::ReleasePreview() {
    // Released without the closing step: a preview was never registered anywhere,
    // and its destructor gives up its share of the ticker.
    if (TFmNote* p = FPreview) {
        FPreview = nullptr;
        delete p;
    }
}

void TNoteDocking::ToggleAutoHide() {
    TNoteOptions& o = AppState().NoteOptions;
    o.FconfigAutoHideNote = !o.FconfigAutoHideNote;
    if (FNote.actAutoHide)
        FNote.actAutoHide->setChecked(o.FconfigAutoHideNote);
    const TNoteContext& c = FNote.Context();
    if (c.DataFolder)
        (void)o.SaveToFile(c.DataFolder() + QStringLiteral("config.ini"));
    if (!o.FconfigAutoHideNote) {
        if (FNote.IsDocked())
            return; // strips stay; a click still restores them
        // Back on the screen, with one correction at the most.
        const int screenWidth = ScreenRect().width();
        QPoint p = FNote.pos();
        if (p.x() < 0)
            p.setX(0);
        else if (p.x() + FNote.width() > screenWidth)
            p.setX(screenWidth - FNote.width());
        else if (p.y() < 0)
            p.setY(0);
        FNote.move(p);
        return;
    }
    if (o.FGeneralShowHideNoteHint) {
        TFmHint hint(&FNote, NoteSupport::lang(c), c.DataFolder ? c.DataFolder() : QString());
        hint.HintID = 1;
        ExecModal(hint);
    }
}
