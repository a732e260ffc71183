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

using NoteSupport::notes;

QPoint StripPlace(const TFmNote* note) {
    return QPoint(note->HiddenPosX, note->HiddenPosY);
}

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

// Puts the window in the shape its row describes after a statement that would have
// changed both failed.
void BackToStoredStrip(TFmNote* note) {
    note->setGeometry(StripGeometry(note->HiddenPos, StripPlace(note)));
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

bool IfHideNoteWindow(TFmNote* note) {
    const QRect s = ScreenRect();
    const QRect g = note->geometry();
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
    if (NoteRepository* r = notes(note->Context()); r && !r->Dock(note->NoteId, edge, strip.topLeft()))
        return true;
    note->HiddenPos = edge;
    note->HiddenPosX = strip.x();
    note->HiddenPosY = strip.y();
    note->IsHiddenMode = true;
    note->setGeometry(strip);
    note->DrawNoteFrame();
    return true;
}

void DockedDragEnded(TFmNote* note) {
    if (note->pos() == QPoint(note->FIsHiddenNoteChangedX, note->FIsHiddenNoteChangedY)) {
        Restore(note);
    } else {
        if (NoteRepository* r = notes(note->Context()); r && !r->MoveStrip(note->NoteId, note->pos())) {
            BackToStoredStrip(note);
        } else {
            // Kept in step with the row: showing the note again puts it here.
            note->HiddenPosX = note->x();
            note->HiddenPosY = note->y();
            // Still under the mouse at its new place: the preview follows it there.
            if (note->underMouse())
                MouseEntered(note);
        }
    }
    note->FIsHiddenNoteChangedX = note->x();
    note->FIsHiddenNoteChangedY = note->y();
}

void Restore(TFmNote* note) {
    if (!note->IsHiddenMode || note->IsPreviewMode())
        return;
    NoteRepository* r = notes(note->Context());
    if (!r)
        return;
    // A failure leaves the note docked as its row says.
    const std::optional<NoteRecord> stored = r->Undock(note->NoteId, note->pos());
    if (!stored) {
        BackToStoredStrip(note);
        return;
    }
    ReleasePreview(note);
    note->IsHiddenMode = false;
    note->HiddenPos = 0;
    note->setGeometry(RestoredGeometry(stored->Note));
    note->DrawNoteFrame();
}

QSize UndockedSize(const TFmNote* note) {
    // Unknown: the least size a restored note has.
    NoteRepository* r = notes(note->Context());
    const std::optional<NoteRecord> stored = r ? r->Find(note->NoteId) : std::nullopt;
    return RestoredGeometry(stored ? stored->Note : TNoteItem{}).size();
}

QPoint PreviewPlace(int edge, const QRect& strip, QSize size) {
    const int workHeight = PrimaryWorkArea().height();
    const int screenWidth = ScreenRect().width();
    // Walked back one pixel at a time until it ends inside, or reaches 0.
    auto walkedBack = [](int start, int extent, int limit) {
        return start > 0 && start + extent >= limit ? qMax(0, limit - extent - 1) : start;
    };
    if (edge == kEdgeTop)
        return QPoint(walkedBack(strip.x(), size.width(), screenWidth), kPreviewGap);
    const int left = edge == kEdgeRight ? screenWidth - size.width() - kPreviewGap : strip.x() + kPreviewGap;
    return QPoint(left, walkedBack(strip.y(), size.height(), workHeight));
}

void MouseEntered(TFmNote* note) {
    if (!note->IsHiddenMode || note->IsPreviewMode() || note->FmNotePreview)
        return;
    // A preview is a courtesy; without its stored width it takes the least one.
    int width = 0;
    if (NoteRepository* r = notes(note->Context()))
        if (const std::optional<NoteRecord> stored = r->Find(note->NoteId))
            width = stored->Note.FmW;
    auto* p = new TFmNote(note->ContextPtr());
    p->SetIsPreviewMode(true);
    p->SetBgColorIndex(note->BgColorIndex());
    p->SetNoteType(note->NoteType());
    p->SetIsTopMost(note->IsTopMost());
    p->SetShowAsList(note->ShowAsList());
    p->SetAlpha(note->Alpha());
    p->SetLayered(note->Layered());
    p->NoteId = note->NoteId;
    p->resize(width <= kRestoreMinWidth ? kRestoreMinWidth : width, p->height());
    const QFont f = note->EditorFont();
    p->SetEditorFont(f.family(), f.pointSize(), false);
    p->SetFontColor(note->FontColor());
    p->SetNoteText(NoteText::PlainText(note->Document()));
    // Its height follows its text, worked out now that width, font and text are set.
    p->SetIsAutoHeight(1);
    p->move(PreviewPlace(note->HiddenPos, note->geometry(), p->size()));
    // Hovering must not take the keyboard from whatever window has it.
    p->setAttribute(Qt::WA_ShowWithoutActivating);
    note->FmNotePreview = p;
    p->show();
}

void ReleasePreview(TFmNote* note) {
    // Released without the closing step: a preview was never registered anywhere,
    // and its destructor gives up its share of the ticker.
    if (TFmNote* p = note->FmNotePreview) {
        note->FmNotePreview = nullptr;
        delete p;
    }
}

void actAutoHideExecute(TFmNote* note) {
    TNoteOptions& o = AppState().NoteOptions;
    o.FconfigAutoHideNote = !o.FconfigAutoHideNote;
    if (note->actAutoHide)
        note->actAutoHide->setChecked(o.FconfigAutoHideNote);
    if (note->Context().DataFolder)
        (void)o.SaveToFile(note->Context().DataFolder() + QStringLiteral("config.ini"));
    if (!o.FconfigAutoHideNote) {
        if (note->IsHiddenMode)
            return; // strips stay; a click still restores them
        // Back on the screen, with one correction at the most.
        const int screenWidth = ScreenRect().width();
        QPoint p = note->pos();
        if (p.x() < 0)
            p.setX(0);
        else if (p.x() + note->width() > screenWidth)
            p.setX(screenWidth - note->width());
        else if (p.y() < 0)
            p.setY(0);
        note->move(p);
        return;
    }
    if (o.FGeneralShowHideNoteHint) {
        const TNoteContext& c = note->Context();
        TFmHint hint(note, NoteSupport::lang(c), c.DataFolder ? c.DataFolder() : QString());
        hint.HintID = 1;
        ExecModal(hint);
    }
}

} // namespace NoteDocking
