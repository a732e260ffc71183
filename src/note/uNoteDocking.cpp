#include "note/uNoteDocking.h"

#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "data/uNoteStore.h"
#include "note/uFmNote.h"
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

TDbConnection* db() {
    TFmMain* m = FmMain();
    return m ? &m->Db() : nullptr;
}

QPoint StripPlace(const TFmNote* note) {
    return QPoint(note->HiddenPosX, note->HiddenPosY);
}

// Where a docked note goes back to: its stored place and size, at least (1, 1),
// at least 220 wide and 40 high, and not beyond the screen's right edge.
QRect RestoredGeometry(const TRowSet& r) {
    const bool found = r.rowCount() > 0;
    auto stored = [&](const char* column) { return found ? r.asInt(0, QLatin1String(column)) : 0; };
    const int screenWidth = ScreenRect().width();
    int left = qMax(1, stored("form_x"));
    const int top = qMax(1, stored("form_y"));
    const int w = stored("form_w") <= kRestoreMinWidth ? kRestoreMinWidth : stored("form_w");
    if (left + w > screenWidth)
        left = screenWidth - w - 1;
    return QRect(left, top, w, qMax(40, stored("form_h")));
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
    try {
        if (TDbConnection* d = db())
            d->Exec(QStringLiteral("update notes set ishiddenmode=1, hiddenpos=?,hiddenposx=?, hiddenposy=? "
                                   "where  id=?"),
                    {edge, strip.x(), strip.y(), note->NoteId});
    } catch (const TSqlError& e) {
        ShowStoreError(note, e);
        return false;
    }
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
        try {
            if (TDbConnection* d = db())
                d->Exec(QStringLiteral("update notes set hiddenposx=?,hiddenposy=? where  id=?"),
                        {note->x(), note->y(), note->NoteId});
            // Kept in step with the row: showing the note again puts it here.
            note->HiddenPosX = note->x();
            note->HiddenPosY = note->y();
            // Still under the mouse at its new place: the preview follows it there.
            if (note->underMouse())
                MouseEntered(note);
        } catch (const TSqlError& e) {
            ShowStoreError(note, e);
            BackToStoredStrip(note);
        }
    }
    note->FIsHiddenNoteChangedX = note->x();
    note->FIsHiddenNoteChangedY = note->y();
}

void Restore(TFmNote* note) {
    if (!note->IsHiddenMode || note->IsPreviewMode())
        return;
    TDbConnection* d = db();
    if (!d)
        return;
    // The stored place is read before the row is undocked; the undocking does not
    // touch it, and a failure of either leaves the note docked as its row says.
    TRowSet r;
    try {
        r = d->Select(QStringLiteral("select * from notes  where  id=?"), {note->NoteId});
        d->Exec(QStringLiteral("update notes set ishiddenmode=0, hiddenpos=0,hiddenposx=?, hiddenposy=? "
                               "where  id=?"),
                {note->x(), note->y(), note->NoteId});
    } catch (const TSqlError& e) {
        ShowStoreError(note, e);
        BackToStoredStrip(note);
        return;
    }
    ReleasePreview(note);
    note->IsHiddenMode = false;
    note->HiddenPos = 0;
    note->setGeometry(RestoredGeometry(r));
    note->DrawNoteFrame();
}

QSize UndockedSize(const TFmNote* note) {
    TRowSet r;
    try {
        if (TDbConnection* d = db())
            r = d->Select(QStringLiteral("select * from notes  where  id=?"), {note->NoteId});
    } catch (const TSqlError&) {
        // Unknown: the least size a restored note has.
    }
    return RestoredGeometry(r).size();
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
    int width = 0;
    try {
        if (TDbConnection* d = db()) {
            const TRowSet r = d->Select(QStringLiteral("select * from notes  where  id=?"), {note->NoteId});
            if (r.rowCount() > 0)
                width = r.asInt(0, "form_w");
        }
    } catch (const TSqlError&) {
        // A preview is a courtesy; without its stored width it takes the least one.
    }
    auto* p = new TFmNote;
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
    if (TFmMain* m = FmMain())
        (void)o.SaveToFile(m->DataFolder() + QStringLiteral("config.ini"));
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
        TFmHint hint(note);
        hint.HintID = 1;
        ExecModal(hint);
    }
}

} // namespace NoteDocking
