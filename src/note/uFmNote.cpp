#include "note/uFmNote.h"
#include "note/uNoteAd.h"

#include "data/uAppState.h"
#include "data/uColors.h"
#include "data/uNoteRepository.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "note/uAudioPlayPanel.h"
#include "note/uFmNoteSupport.h"
#include "note/uNoteDeletion.h"
#include "note/uNoteDocking.h"
#include "note/uNoteManager.h"
#include "note/uNoteText.h"
#include "note/uNoteWidgets.h"
#include "note/uSharedAudio.h"
#include "note/uTransRichEdit.h"
#include "platform/gui/uAppIcon.h"
#include "platform/gui/uDesktop.h"
#include "platform/gui/uIdleBackingStore.h"
#include "platform/gui/uWindows.h"
#include "platform/uSharedTicker.h"
#include "ui/uFmFont.h"
#include "ui/uFmNoteManager.h"
#include "ui/uFmSetColor.h"
#include "ui/uFmSetTransValue.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QSlider>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QUuid>
#include <QWindow>

std::function<void(const QString& url)> TFmNote::OpenUrlHook = [](const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
};

using namespace NoteSupport;

namespace {
constexpr int kBorder = 8;
constexpr int kMinWidth = 120;
constexpr int kMinHeight = 40;
} // namespace

TFmNote::TFmNote(TNoteContextPtr context, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint),
      FContext(context ? std::move(context) : EmptyNoteContext()),
      FDocking(std::make_unique<TNoteDocking>(*this)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    // paintEvent covers every pixel: no background fill before it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(1, 1);
    resize(220, 100);

    FDocument = new QTextDocument(this);
    FDocument->setDocumentMargin(1);
    FDocument->setIndentWidth(18);
    FDocument->setUndoRedoEnabled(false);
    FFont = QFont(QStringLiteral("Tahoma"));
    FFont.setPointSize(9);
    ApplyFontToDocument();
    connect(FDocument, &QTextDocument::contentsChanged, this, [this] {
        if (IsAutoHeight() == 1 && !mmoNote)
            UpdateAutoHeightFromDocument();
        UpdateTitle();
    });

    ApplyTopMost();
    ApplyAutoHeight();
    ApplyListStyle();
    FisUpdatingNote = false;
    FIsShowDesktop = false;
    LayoutEditor();
    // 3.-4.
    // Window lists and screen readers tell notes apart by their first lines; the
    // role tells window managers (and the program's own checks) what they are.
    setWindowTitle(QString::fromLatin1(kNoteWindowTitle));
    setWindowRole(QString::fromLatin1(kNoteWindowRole));
    setFocusPolicy(Qt::StrongFocus);
    // A few dozen kilobytes of icon per note instead of the full set, twice: once
    // as the native window is made (from its window handle, which exists this
    // early only for a native widget; a note is native from then on anyway) and
    // once from the widget.
    setAttribute(Qt::WA_NativeWindow);
    setWindowIcon(SmallAppIcon());
    if (QWindow* w = windowHandle())
        w->setIcon(SmallAppIcon());
    // Most notes sit on the desktop unchanged for days: they keep no copy of their
    // pixels between paints unless someone works in them.
    new TIdleBackingStore(
        this, [this] { return isActiveWindow() || mmoNote || FNoteState.contains(nsFocused); },
        [this] { return FisUpdatingNote && isVisible(); });
    if (TNoteManager* windows = NoteWindows(Context()))
        windows->Register(this);
    SendMessageW(this, WM_UPDATELANGUAGE, 0, 0);
    // 6. The one-second work (show-desktop watch, reminder) rides the shared ticker.
    FTicket = TSharedTicker::Instance().Subscribe([this] { Tick(); });
}

TFmNote::~TFmNote() {
    TSharedTicker::Instance().Unsubscribe(FTicket);
    if (FSpinTicket)
        TSpinnerClock::Instance().Unsubscribe(FSpinTicket);
    // A note gone while it was being edited must not hold back every later download.
    if (IsEditing())
        AppState().NoteEditing = false;
}

// ---- properties -------------------------------------------------------------

void TFmNote::ShowRecord(const NoteRecord& record) {
    FRecord = record;
    const TNoteItem& i = record.Note;
    SetEditorFont(i.FontName, i.FontSize, i.FontBold == 1);
    SetFontColor(i.FontColor);
    ApplyBgColorIndex();
    ApplyNoteType();
    SetAlpha(i.FmTrans & 0xFF);
    // The strip as stored; showing the window holds it to its edge.
    const NoteDock& d = Dock();
    if (d.Docked) {
        switch (d.Edge) {
        case NoteDocking::kEdgeTop:
            setGeometry(d.StripX, 0, NoteDocking::kStripLength, NoteDocking::kStripThickness);
            break;
        case NoteDocking::kEdgeLeft:
            setGeometry(0, d.StripY, NoteDocking::kStripThickness, NoteDocking::kStripLength);
            break;
        case NoteDocking::kEdgeRight:
            setGeometry(d.StripX, d.StripY, NoteDocking::kStripThickness, NoteDocking::kStripLength);
            break;
        default:
            break;
        }
    }
    ApplyTopMost();
    ApplyAutoHeight();
    SetNoteText(i.NNote);
    SetStoredNote();
    RememberStoredLook();
}

bool TFmNote::Stored(const std::function<bool(NoteRepository&)>& write) {
    NoteRepository* r = notes(Context());
    return !r || write(*r);
}

bool TFmNote::MenuRemoved() const {
    const TNoteDeletion* d = TNoteDeletion::Find(this);
    return d && d->MenuRemoved();
}

void TFmNote::ApplyBgColorIndex() {
    DrawNoteFrame();
}

void TFmNote::ApplyTopMost() {
    const bool on = IsTopMost() == 1;
    if (QWindow* w = windowHandle())
        w->setFlag(Qt::WindowStaysOnTopHint, on);
    else
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (actTopmost)
        actTopmost->setChecked(on);
}

void TFmNote::ApplyAutoHeight() {
    const bool on = IsAutoHeight() == 1;
    if (mmoNote)
        mmoNote->SetAutoHeight(on);
    else if (on)
        UpdateAutoHeightFromDocument();
    if (actAutoHeight)
        actAutoHeight->setChecked(on);
}

void TFmNote::ApplyNoteType() {
    if (NoteType() != 1) {
        if (pnlPlay)
            pnlPlay->hide();
        return;
    }
    if (!pnlPlay) {
        pnlPlay = new TAudioPlayPanel(this, FContext);
        pnlPlay->imgAudioCtrl->setPixmap(AudioPlayPicture());
        pnlPlay->UpdateLanguage();
    }
    pnlPlay->NoteId = NoteId();
    PlaceControls();
    pnlPlay->show();
}

void TFmNote::SetIsPreviewMode(bool v) {
    FIsPreviewMode = v;
    DrawNoteFrame();
}

void TFmNote::SetAlpha(int alpha) {
    FAlpha = alpha & 0xFF;
    if (FLayered)
        setWindowOpacity(FAlpha / 255.0);
    DrawNoteFrame();
}

void TFmNote::SetLayered(bool on) {
    FLayered = on;
    setWindowOpacity(on ? FAlpha / 255.0 : 1.0);
    DrawNoteFrame();
}

void TFmNote::SetEditorFont(const QString& name, int pointSize, bool bold) {
    FFont = QFont(name);
    if (pointSize > 0)
        FFont.setPointSize(pointSize);
    FFont.setBold(bold);
    ApplyFontToDocument();
    if (mmoNote)
        mmoNote->setFont(FFont);
    update();
}

void TFmNote::SetFontColor(qint32 color) {
    FFontColor = color & 0xFFFFFF;
    if (mmoNote) {
        QPalette p = mmoNote->palette();
        p.setColor(QPalette::Text, colorOf(FFontColor));
        mmoNote->setPalette(p);
    }
    update();
}

int TFmNote::TextHeight() const {
    return NoteText::TextHeightOf(FFont);
}

void TFmNote::ApplyFontToDocument() {
    FDocument->setDefaultFont(FFont);
    ApplyLineSpacing();
}

// ---- text ------------------------------------------------------------------

void TFmNote::SetNoteText(const QString& text) {
    FShowingHint = !text.isEmpty() && text == blankHint(Context());
    NoteText::SetPlainText(FDocument, text, TextHeight() + NoteText::kLineSpace, FRecord.Note.ShowAsList);
    FScrollY = 0;
    update();
}

void TFmNote::UpdateTitle() {
    QString title = FShowingHint ? QString() : FDocument->firstBlock().text().simplified();
    if (title.size() > kMaxTitleLength)
        title = title.left(kMaxTitleLength - 1) + QChar(0x2026);
    if (title.isEmpty())
        title = QString::fromLatin1(kNoteWindowTitle);
    if (title != windowTitle())
        setWindowTitle(title);
}

void TFmNote::ShowBlankHint() {
    SetNoteText(blankHint(Context()));
}

void TFmNote::SetStoredNote() {
    FRecord.Note.NNote = NoteText();
}

void TFmNote::RememberStoredLook() {
    FRecord.Note.FmTrans = FAlpha;
    FRecord.Note.FontColor = FFontColor;
}

QString TFmNote::NoteText() const {
    // The blank-note hint is a display, never the note's text.
    return FShowingHint ? QString() : NoteText::PlainText(FDocument);
}

void TFmNote::ApplyLineSpacing() {
    NoteText::ApplyLineSpacing(FDocument, TextHeight() + NoteText::kLineSpace);
}

void TFmNote::ApplyListStyle() {
    NoteText::ApplyListStyle(FDocument, FRecord.Note.ShowAsList);
    update();
}

NoteRecord TFmNote::ShownRecord() const {
    NoteRecord r;
    TNoteItem& i = r.Note;
    i.NoteID = NoteId();
    i.NNote = NoteText();
    i.NoteType = FRecord.Note.NoteType;
    i.FmTrans = FAlpha;
    const QPoint place = FHomePlace.value_or(pos());
    i.FmX = place.x();
    i.FmY = place.y();
    i.FmW = width();
    i.FmH = height();
    i.FontColor = FFontColor;
    i.FontSize = FFont.pointSize();
    i.FontName = FFont.family();
    i.FontBold = FFont.bold() ? 1 : 0;
    i.BGColorIdx = FRecord.Note.BGColorIdx;
    i.ShowNote = 1;
    i.IsTopMost = FRecord.Note.IsTopMost;
    i.AutoHeight = FRecord.Note.AutoHeight;
    i.ShowAsList = FRecord.Note.ShowAsList;
    r.Dock = Dock();
    return r;
}

void TFmNote::StartEditRequest(const QPoint& globalPos) {
    const TNoteOptions& o = AppState().NoteOptions;
    if (o.FconfigUserID.isEmpty() || o.FconfigUserName.isEmpty()) {
        EnableMmoNote();
        return;
    }
    if (FisUpdatingNote) {
        EnsureWaitPanel();
        pnlIsUpdating->setGeometry(10, (height() - 35) / 2, width() - 20, 35);
        pnlIsUpdating->show();
        pnlIsUpdating->raise();
        return;
    }
    FLastMousePos = globalPos;
    SetUpdating(true);
    if (Context().RefreshNote)
        Context().RefreshNote(this);
    else
        OnGetOneNoteTerminate();
}

void TFmNote::ShowSyncRefused() {
    FSyncRefused = true;
    setToolTip(lang(Context())->FmNotesyncTooLarge_Hint());
}

void TFmNote::ClearSyncRefused() {
    if (!std::exchange(FSyncRefused, false))
        return;
    setToolTip(QString());
}

void TFmNote::OnGetOneNoteTerminate() {
    SetUpdating(false);
    if (pnlIsUpdating)
        pnlIsUpdating->hide();
    SendMessageW(this, WM_RELOADNOTE, 0, 0);
    EnableMmoNote();
}

void TFmNote::EnableMmoNote() {
    if (FRecord.Note.NoteType == 1)
        return;
    if (FShowingHint)
        SetNoteText(QString());
    AppState().NoteEditing = true;
    if (!mmoNote) {
        mmoNote = new TTransRichEdit(this);
        mmoNote->SetTransparent(true);
        mmoNote->setFont(FFont);
        mmoNote->ShareDocument(FDocument);
        mmoNote->SetAutoHeight(false);
        mmoNote->SetOnHeightChange([this](TTransRichEdit*, int& h) { mmoNoteHeightChange(h); });
        mmoNote->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(mmoNote, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
            if (!MenuRemoved())
                PopupMenu()->popup(mmoNote->mapToGlobal(p));
        });
        mmoNote->installEventFilter(this);
        mmoNote->viewport()->installEventFilter(this);
        mmoNote->viewport()->setCursor(Qt::IBeamCursor);
        SetFontColor(FFontColor);
        LayoutEditor();
        mmoNote->SetAutoHeight(FRecord.Note.AutoHeight == 1);
    }
    mmoNote->setEnabled(true);
    mmoNote->show();
    mmoNote->verticalScrollBar()->setValue(FScrollY);
    FNoteState.include(nsEditing);
    DrawNoteFrame();
    activateWindow();
    mmoNote->setFocus();
    // Typing can be undone while the note is edited; an edit session starts with
    // nothing to undo (loading the text is not an edit).
    FDocument->setUndoRedoEnabled(true);
    FRecord.Note.NNote = NoteText();
    if (FLastMousePos == QPoint(0, 0))
        FLastMousePos = QCursor::pos();
    const QPoint local = mmoNote->viewport()->mapFromGlobal(FLastMousePos);
    mmoNote->setTextCursor(mmoNote->cursorForPosition(local));
    FLastMousePos = QPoint(0, 0);
}

void TFmNote::TakeTyping() {
    if (FIsPreviewMode || FRecord.Note.NoteType == 1)
        return;
    raise();
    activateWindow();
    EnableMmoNote();
    if (!mmoNote)
        return;
    QTextCursor c = mmoNote->textCursor();
    c.movePosition(QTextCursor::End);
    mmoNote->setTextCursor(c);
}

void TFmNote::DisableEditor() {
    if (!mmoNote)
        return;
    FScrollY = mmoNote->verticalScrollBar()->value();
    FDocument->setUndoRedoEnabled(false); // drops this session's undo history
    TTransRichEdit* ed = mmoNote;
    mmoNote = nullptr;
    ed->hide();
    ed->removeEventFilter(this);
    ed->viewport()->removeEventFilter(this);
    ed->deleteLater();
}

void TFmNote::Deactivated() {
    if (FIsPreviewMode || NoteId().isEmpty())
        return;
    if (mmoNote) {
        QTextCursor c = mmoNote->textCursor();
        c.setPosition(0);
        mmoNote->setTextCursor(c);
    }
    const QString text = NoteText();
    if (text != FRecord.Note.NNote) {
        if (mmoNote) {
            // Makes the transparent editor lay its text out and repaint again.
            mmoNote->resize(mmoNote->width() < width() - 15 ? mmoNote->width() + 1 : width() - 20,
                            mmoNote->height());
        }
        // Saved only once the store has it: a failed save stays an unsaved edit,
        // which the next save (at the latest at the end of the session) writes as pending.
        const NoteRecord shown = ShownRecord();
        if (Stored([&](NoteRepository& r) { return r.SaveEdit(shown); })) {
            FRecord.Note.NNote = text;
            TookPlace();
        }
    }
    if (text.isEmpty())
        ShowBlankHint();
    DisableEditor();
    FNoteState.exclude(nsEditing);
    DrawNoteFrame();
    AppState().NoteEditing = false;
}

void TFmNote::SaveOnEndSession() {
    if (FIsPreviewMode || NoteId().isEmpty())
        return;
    const NoteRecord shown = ShownRecord();
    // An edit that was never saved must still go up: it is pending like any other.
    const bool textChanged = shown.Note.NNote != FRecord.Note.NNote;
    if (Stored([&](NoteRepository& r) { return r.SaveAtSessionEnd(shown, textChanged); })) {
        FRecord.Note.NNote = shown.Note.NNote;
        TookPlace();
    }
}

void TFmNote::WMSaveNoteAttrs() {
    if (FIsPreviewMode || NoteId().isEmpty())
        return;
    const NoteRecord shown = ShownRecord();
    if (Stored([&](NoteRepository& r) { return r.SaveLook(shown); }))
        TookPlace();
}

// ---- look -------------------------------------------------------------------

QRect TFmNote::EditorRect() const {
    return QRect(10, 15, width() - 20, height() - 25);
}

void TFmNote::LayoutEditor() {
    FDocument->setTextWidth(qMax(1, width() - 20));
    if (mmoNote)
        mmoNote->setGeometry(EditorRect());
}

int TFmNote::FocusBorderStep() const {
    int e = 5;
    if (FLayered) {
        if (FAlpha >= 150 && FAlpha <= 200)
            e = 6;
        if (FAlpha >= 100 && FAlpha <= 150)
            e = 7;
        if (FAlpha >= 0 && FAlpha <= 100)
            e = 8;
    }
    return e;
}

void TFmNote::DrawNoteFrame() {
    // The picture is worked out once per change, at the next paint; paints in between
    // only replay it.
    cacheBmp.Valid = false;
    UpdateRegion();
    update();
}

void TFmNote::UpdateRegion() {
    const int W = width();
    const int H = height();
    const QRect key(IsDocked() ? Dock().Edge : -1, 0, W, H);
    if (key == FRegionKey)
        return;
    FRegionKey = key;
    if (!IsDocked()) {
        setMask(roundRectRegion(QRect(0, 0, W, H)));
        return;
    }
    // The side that touches the screen edge is squared off.
    QRegion strip = roundRectRegion(QRect(1, 1, 15, 59));
    if (Dock().Edge == 0)
        strip = roundRectRegion(QRect(1, 1, 15, 59)) | QRegion(1, 1, 9, 59);
    else if (Dock().Edge == 1)
        strip = roundRectRegion(QRect(1, 1, 59, 15)) | QRegion(1, 1, 59, 9);
    else if (Dock().Edge == 2)
        strip = roundRectRegion(QRect(1, 1, 15, 59)) | QRegion(7, 1, 9, 59);
    setMask(strip);
}

void TFmNote::BuildFrame() {
    const int i = safeIndex(FRecord.Note.BGColorIdx);
    cacheBmp.Size = size();
    cacheBmp.Docked = IsDocked();
    cacheBmp.Body = colorOf(bodyColor(Context(), i));
    cacheBmp.Title = colorOf(titleColor(Context(), i));
    cacheBmp.BorderCount = 0;
    if (!IsDocked() && (FNoteState.contains(nsFocused) || FNoteState.contains(nsEditing) || FIsPreviewMode)) {
        const int e = FocusBorderStep();
        for (int n = 8; n >= 0; --n)
            cacheBmp.Border[cacheBmp.BorderCount++] = colorOf(LightenColor(bodyColor(Context(), i), n * e));
    }
    cacheBmp.Valid = true;
}

void TFmNote::PaintFrame(QPainter& p) const {
    const int W = cacheBmp.Size.width();
    const int H = cacheBmp.Size.height();
    if (cacheBmp.Docked) {
        p.fillRect(0, 0, W, H, cacheBmp.Body);
        return;
    }
    p.fillRect(0, 0, W, H, Qt::black);
    p.fillRect(0, 0, W, 20, cacheBmp.Title);
    p.fillRect(0, 20, W, H - 20, cacheBmp.Body);
    // Nine one-pixel outlines, lightest outside, the outermost with rounded corners.
    QRect r(0, 0, W, H);
    p.setBrush(cacheBmp.Body);
    for (int k = 0; k < cacheBmp.BorderCount; ++k) {
        r.adjust(1, 1, -1, -1);
        p.setPen(cacheBmp.Border[k]);
        const QRect outline = r.adjusted(0, 0, -1, -1);
        if (k == 0)
            p.drawRoundedRect(outline, 3, 3);
        else
            p.drawRect(outline);
    }
}

void TFmNote::paintEvent(QPaintEvent*) {
    if (!cacheBmp.Valid || cacheBmp.Size != size())
        BuildFrame();
    QPainter p(this);
    PaintFrame(p);
    if (!mmoNote && !IsDocked()) {
        // Nobody edits: the window draws its text itself, clipped to the editor's place.
        p.save();
        const QRect r = EditorRect();
        p.setClipRect(r);
        p.translate(r.topLeft() - QPoint(0, FScrollY));
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.palette.setColor(QPalette::Text, colorOf(FFontColor));
        ctx.clip = QRectF(0, FScrollY, r.width(), r.height());
        ctx.selections = NoteText::LinkMarks(FDocument, ctx.clip);
        FDocument->documentLayout()->draw(&p, ctx);
        NoteText::DrawListMarkers(&p, FDocument, ctx.clip, colorOf(FFontColor));
        p.restore();
    }
    if (FisUpdatingNote)
        p.drawImage(SpinnerRect().topLeft(),
                    UpdatingSpinner::Frame(cacheBmp.Body, TSpinnerClock::Instance().Step()));
}

QRect TFmNote::SpinnerRect() const {
    constexpr int s = UpdatingSpinner::kSize;
    if (!IsDocked())
        return QRect(width() - s - 6, 8, s, s);
    if (Dock().Edge == NoteDocking::kEdgeTop)
        return QRect(width() - s - 5, (height() - s) / 2, s, s);
    return QRect((width() - s) / 2, height() - s - 6, s, s);
}

void TFmNote::SetUpdating(bool on) {
    FisUpdatingNote = on;
    TSpinnerClock& clock = TSpinnerClock::Instance();
    if (on && !FSpinTicket) {
        FSpinTicket = clock.Subscribe([this] {
            if (isVisible())
                update(SpinnerRect());
        });
    } else if (!on && FSpinTicket) {
        clock.Unsubscribe(std::exchange(FSpinTicket, 0));
    }
    update(SpinnerRect());
}

void TFmNote::resizeEvent(QResizeEvent*) {
    DrawNoteFrame();
    LayoutEditor();
    PlaceControls();
}

void TFmNote::PlaceControls() {
    if (pnlPlay)
        pnlPlay->move(width() - 66 - 10, height() - 28 - 10);
    if (pnlIsUpdating)
        pnlIsUpdating->setGeometry(10, (height() - 35) / 2, width() - 20, 35);
}

void TFmNote::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Its hourly timer runs from the first showing on.
    if (ShowAd)
        EnsureAd();
    if (!FTaskbarSkipped) {
        // The native window exists now and is not mapped yet: the moment to keep it out of task bars.
        FTaskbarSkipped = true;
        SetSkipTaskbar(this);
    }
    // Written each time: a native window made again would have lost it.
    SetWindowRole(this, kNoteWindowRole);
    RememberStoredLook();
    const QRect wa = PrimaryWorkArea();
    if (!AppState().NoteOptions.FconfigAutoHideNote) {
        QPoint pos = this->pos();
        if (pos.x() < 0)
            pos.setX(10);
        if (pos.y() < 0)
            pos.setY(10);
        if (pos.x() + width() > wa.width())
            pos.setX(wa.width() - width() - 10);
        if (pos.y() + height() > wa.height())
            pos.setY(wa.height() - height() - 10);
        // A strip stays on its edge, also where the work area stops short of it.
        if (IsDocked())
            pos = NoteDocking::StripGeometry(Dock().Edge, pos).topLeft();
        if (pos != this->pos())
            move(pos);
    } else if (IsDocked()) {
        setGeometry(NoteDocking::StripGeometry(Dock().Edge, QPoint(Dock().StripX, Dock().StripY)));
    }
    if (FRecord.Note.IsTopMost == 1 && windowHandle())
        windowHandle()->setFlag(Qt::WindowStaysOnTopHint, true);
    DrawNoteFrame();
}

// ---- auto height ------------------------------------------------------------

void TFmNote::UpdateAutoHeightFromDocument() {
    FDocument->setTextWidth(qMax(1, width() - 20));
    int h = NoteText::DisplayLineCount(FDocument) * (TextHeight() + NoteText::kLineSpace);
    if (h == height() - 25)
        return;
    mmoNoteHeightChange(h);
}

void TFmNote::mmoNoteHeightChange(int& newH) {
    if (IsDocked() || FRecord.Note.AutoHeight != 1)
        return;
    const int workHeight = PrimaryWorkArea().height();
    if (newH + 25 <= workHeight) {
        resize(width(), qMax(kMinHeight, newH + 25));
    } else {
        newH = workHeight - 25;
        setGeometry(x(), 0, width(), workHeight);
    }
}

// ---- mouse ------------------------------------------------------------------

int TFmNote::HitBorder(const QPoint& p) const {
    if (IsDocked())
        return 0;
    const int W = width();
    const int H = height();
    int edges = 0;
    if (p.x() > W - kBorder)
        edges |= kRight;
    else if (p.x() < kBorder)
        edges |= kLeft;
    if (p.y() < kBorder)
        edges |= kTop;
    else if (p.y() > H - kBorder)
        edges |= kBottom;
    return edges;
}

void TFmNote::UpdateCursorShape(const QPoint& p) {
    const int e = HitBorder(p);
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (e == (kLeft | kTop) || e == (kRight | kBottom))
        shape = Qt::SizeFDiagCursor;
    else if (e == (kRight | kTop) || e == (kLeft | kBottom))
        shape = Qt::SizeBDiagCursor;
    else if (e & (kLeft | kRight))
        shape = Qt::SizeHorCursor;
    else if (e & (kTop | kBottom))
        shape = Qt::SizeVerCursor;
    if (cursor().shape() != shape)
        setCursor(shape);
}

QRect TFmNote::ClampedGeometry(QRect r, int edges) const {
    if (IsDocked())
        return r;
    if (r.width() < kMinWidth) {
        if (edges & kLeft)
            r.setLeft(r.right() - kMinWidth + 1);
        else
            r.setWidth(kMinWidth);
    }
    if (r.height() < kMinHeight) {
        if (edges & kTop)
            r.setTop(r.bottom() - kMinHeight + 1);
        else
            r.setHeight(kMinHeight);
    }
    return r;
}

void TFmNote::mousePressEvent(QMouseEvent* e) {
    if (IsDocked() && e->button() != Qt::LeftButton)
        return;
    if (e->button() == Qt::RightButton)
        return; // the context menu
    FDragging = true;
    FDragMoved = false;
    FDragEdges = HitBorder(e->position().toPoint());
    FDragStartMouse = e->globalPosition().toPoint();
    FDragStartGeometry = geometry();
    if (IsDocked()) {
        FDocking->PressStarted();
    }
}

void TFmNote::mouseMoveEvent(QMouseEvent* e) {
    if (!FDragging) {
        UpdateCursorShape(e->position().toPoint());
        return;
    }
    const QPoint d = e->globalPosition().toPoint() - FDragStartMouse;
    if (!FDragMoved && d.manhattanLength() < 2)
        return;
    FDragMoved = true;
    if (FDragEdges == 0) {
        const QPoint to = FDragStartGeometry.topLeft() + d;
        // A strip slides along its edge only.
        move(IsDocked() ? NoteDocking::StripGeometry(Dock().Edge, to).topLeft() : to);
        return;
    }
    QRect r = FDragStartGeometry;
    if (FDragEdges & kLeft)
        r.setLeft(r.left() + d.x());
    if (FDragEdges & kRight)
        r.setRight(r.right() + d.x());
    if (FDragEdges & kTop)
        r.setTop(r.top() + d.y());
    if (FDragEdges & kBottom)
        r.setBottom(r.bottom() + d.y());
    setGeometry(ClampedGeometry(r, FDragEdges));
}

void TFmNote::mouseReleaseEvent(QMouseEvent*) {
    if (!FDragging)
        return;
    // A press on the face is a move, moved or not; one on the border is a resize.
    const bool moveEnded = FDragEdges == 0;
    const bool moved = FDragMoved && moveEnded;
    // Put there by the user: wherever the program had moved it from no longer counts.
    if (FDragMoved)
        FHomePlace.reset();
    FDragging = false;
    FDragMoved = false;
    if (FIsPreviewMode)
        return;
    if (IsDocked()) {
        // Moved or not: a press that leaves the strip where it was is a click.
        DockedDragEnded();
        return;
    }
    if (!moveEnded)
        return;
    if (!AppState().NoteOptions.FconfigAutoHideNote)
        return; // the place reaches the store with the next save
    // Also without movement: a note that already touches an edge docks when let go.
    if (Context().TryDock && Context().TryDock(this))
        return;
    if (!moved)
        return;
    if (Stored([this](NoteRepository& r) { return r.SetPlace(NoteId(), geometry()); }))
        TookPlace();
}

void TFmNote::TookPlace() {
    // A strip's place is its own; the row keeps the place the note opens out to.
    if (IsDocked())
        return;
    const QPoint place = FHomePlace.value_or(pos());
    FRecord.Note.FmX = place.x();
    FRecord.Note.FmY = place.y();
    FRecord.Note.FmW = width();
    FRecord.Note.FmH = height();
}

void TFmNote::MoveAwayFromHome(const QPoint& to) {
    if (!FHomePlace)
        FHomePlace = pos();
    move(to);
}

void TFmNote::ReturnHome() {
    if (!FHomePlace)
        return;
    const QPoint home = *FHomePlace;
    FHomePlace.reset();
    move(home);
}

void TFmNote::DockedDragEnded() {
    if (Context().DockedMoved)
        Context().DockedMoved(this);
}

void TFmNote::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || IsDocked() || mmoNote)
        return;
    StartEditRequest(e->globalPosition().toPoint());
}

void TFmNote::wheelEvent(QWheelEvent* e) {
    const int steps = e->angleDelta().y() / 120;
    if (steps == 0 || mmoNote)
        return;
    const int pitch = TextHeight() + NoteText::kLineSpace;
    const int maxScroll = qMax(0, int(FDocument->size().height()) - EditorRect().height());
    FScrollY = qBound(0, FScrollY - steps * pitch, maxScroll);
    update();
}

void TFmNote::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    FDocking->MouseEntered();
    FNoteState.include(nsFocused);
    DrawNoteFrame();
}

void TFmNote::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    FDocking->ReleasePreview();
    FNoteState.exclude(nsFocused);
    DrawNoteFrame();
}

void TFmNote::keyPressEvent(QKeyEvent* e) {
    // The menu from the keyboard, at the note's corner: Shift+F10 as on other
    // desktops (the Menu key arrives as a context-menu event of its own).
    if (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier) {
        const QPoint at = mapToGlobal(QPoint(10, 15));
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(10, 15), at);
        contextMenuEvent(&menu);
        return;
    }
    QWidget::keyPressEvent(e);
}

void TFmNote::contextMenuEvent(QContextMenuEvent* e) {
    if (FIsPreviewMode || MenuRemoved())
        return;
    PopupMenu()->popup(e->globalPos());
}

// ---- editor events ------------------------------------------------------------

bool TFmNote::eventFilter(QObject* watched, QEvent* e) {
    if (mmoNote && watched == mmoNote && e->type() == QEvent::KeyRelease) {
        EditorKeyReleased(static_cast<QKeyEvent*>(e)->key());
        return false;
    }
    if (mmoNote && watched == mmoNote->viewport())
        return EditorMouse(e);
    return QWidget::eventFilter(watched, e);
}

void TFmNote::EditorKeyReleased(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    const TNoteOptions& o = AppState().NoteOptions;
    if (!o.FconfigInsertDateAuto || FRecord.Note.ShowAsList == 0 || !mmoNote)
        return;
    const QString date = NoteText::FormatDateText(o.FconfigInsertDateFormat, QDateTime::currentDateTime());
    QTextCursor c = mmoNote->textCursor();
    const int column = c.positionInBlock();
    if (c.block().text().mid(column, date.size()) == date)
        return;
    c.insertText(date + QLatin1Char(' '));
    mmoNote->setTextCursor(c);
}

bool TFmNote::EditorMouse(QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton)
            FEditorPressPos = me->position().toPoint();
        return false;
    }
    if (e->type() != QEvent::MouseButtonRelease)
        return false;
    auto* me = static_cast<QMouseEvent*>(e);
    if (me->button() != Qt::LeftButton ||
        (me->position().toPoint() - FEditorPressPos).manhattanLength() > 3 ||
        mmoNote->textCursor().hasSelection())
        return false;
    const QTextCursor at = mmoNote->cursorForPosition(me->position().toPoint());
    const QString link = NoteText::LinkAt(at.block().text(), at.positionInBlock());
    if (link.isEmpty())
        return false;
    try {
        const QString site = NotesSiteRoot();
        const QString url = link +
                            (link.contains(QLatin1Char('?')) ? QStringLiteral("&ZuvoClient=")
                                                             : QStringLiteral("?ZuvoClient=")) +
                            site;
        if (OpenUrlHook)
            OpenUrlHook(url);
    } catch (...) {
        // Opening a link never disturbs the note.
    }
    return false;
}

// ---- messages -------------------------------------------------------------------

bool TFmNote::event(QEvent* e) {
    const int t = static_cast<int>(e->type());
    if (t > QEvent::User && t < 65535 && dynamic_cast<TWinMessage*>(e)) {
        auto& m = static_cast<TWinMessage&>(*e);
        switch (t) {
        case WM_SETTRANS:
            WMSetTrans(m);
            return true;
        case WM_SAVENOTEATTRS:
            WMSaveNoteAttrs();
            return true;
        case WM_HIDENOTE:
            hide();
            return true;
        case WM_RELOADNOTE:
            WMReloadNote();
            return true;
        case WM_SETFONTCOLOR:
            WMSetFontColor(m);
            return true;
        case WM_SETNOTEFONT:
            WMSetNoteFont(m);
            return true;
        case WM_UPDATELANGUAGE:
            WMUpdateLanguage();
            return true;
        case WM_UPDATEAD:
            if (ShowAd)
                EnsureAd()->WMUpdateAd(true);
            return true;
        case WM_CHECKNOTEEXISTS:
            if (Context().CheckExists && !FIsPreviewMode)
                Context().CheckExists(this);
            return true;
        case WM_APPBARNOTIFY:
            WMAppBarNotify(m);
            return true;
        case WM_UPDATINGBEGIN:
            WMUpdatingBegin();
            return true;
        case WM_UPDATINGEND:
            WMUpdatingEnd();
            return true;
        case WM_RESETAUDIOCTRL:
            if (pnlPlay)
                pnlPlay->ResetAudioCtrl();
            return true;
        case WM_CLOSENOTE:
            // Hidden, not destroyed: the shutdown still sends this window its save message.
            FClosedForExit = true;
            hide();
            return true;
        case WM_SHOWNOTE:
            if (!FClosedForExit)
                show();
            return true;
        default:
            break;
        }
    }
    if (e->type() == QEvent::WindowDeactivate)
        Deactivated();
    return QWidget::event(e);
}

TNoteAd* TFmNote::EnsureAd() {
    // Only the note that shows the advertisement line needs it; the others' would
    // stay hidden and empty.
    if (!FAd)
        FAd = new TNoteAd(this, [this] { return FIsPreviewMode; });
    return FAd;
}

void TFmNote::EnsureWaitPanel() {
    if (pnlIsUpdating)
        return;
    // Made on first need: only a note the user tries to edit while it is refreshed shows it.
    pnlIsUpdating = new QLabel(lang(Context())->FmNotepnlIsUpdating_Caption(), this);
    pnlIsUpdating->setAlignment(Qt::AlignCenter);
    pnlIsUpdating->setAutoFillBackground(true);
    pnlIsUpdating->setFrameShape(QFrame::Panel);
    pnlIsUpdating->setGeometry(10, (height() - 35) / 2, width() - 20, 35);
    pnlIsUpdating->hide();
}

void TFmNote::WMUpdateLanguage() {
    const TLanguageObject* l = lang(Context());
    if (pnlIsUpdating)
        pnlIsUpdating->setText(l->FmNotepnlIsUpdating_Caption());
    if (pnlPlay)
        pnlPlay->UpdateLanguage();
    if (!pmNote)
        return;
    actAddNewNote->setText(l->FmNoteactAddNewNote_Caption());
    actDelNote->setText(l->FmNoteactDelNote_Caption());
    actUpdateNotes->setText(l->FmNoteactUpdateNotes_Caption());
    actSetTransValue->setText(l->FmNoteactSetTransValue_Caption());
    actSetFont->setText(l->FmNoteactSetFont_Caption());
    actSetColor->setText(l->FmNoteactSetColor_Caption());
    actBgColor->setText(l->FmNoteactBGColor_Caption());
    actSetupAlert->setText(l->FmNoteactSetupAlert_Caption());
    actTopmost->setText(l->FmNoteactIsTopMost_Caption());
    actAutoHide->setText(l->FmNoteactAutoHide_Caption());
    actAutoHeight->setText(l->FmNoteactAutoHeight_Caption());
    actListStyle->setText(l->FmNoteactListStyle_Caption());
    actCopy->setText(l->FmNoteactCopy_Caption());
    actPaste->setText(l->FmNoteactPaste_Caption());
    actHideOnThisComputer->setText(l->FmNoteactHideOnThisComputer_Caption());
    actNoteManager->setText(l->FmNoteactNoteManager_Caption());
    actUpdateHistory->setText(l->FmNoteactUpdateHistory_Caption());
    actLogin->setText(l->FmNoteactLogin_Caption());
    actRegister->setText(l->FmNoteactRegister_Caption());
    actMyAccount->setText(l->FmNoteactMyAccount_Caption());
    actFeedBack->setText(l->FmNoteactFeedback_Caption());
    actOptions->setText(l->FmMainactOptions_Caption());
    actImportNotes->setText(l->FmImportactImportNotes_Caption());
    actAbout->setText(l->FmNoteactAbout_Caption());
    actLogout->setText(l->FmNoteactLogout_Caption());
    actClose->setText(l->FmNoteactClose_Caption());
    const QString listCaptions[7] = {l->FmNoteactListNone_Caption(),     l->FmNoteactListBullet_Caption(),
                                     l->FmNoteactListARABIC_Caption(),   l->FmNoteactListLCLETTER_Caption(),
                                     l->FmNoteactListUCLETTER_Caption(), l->FmNoteactListLCROMAN_Caption(),
                                     l->FmNoteactListUCROMAN_Caption()};
    for (int i = 0; i < 7; ++i)
        actListStyles[i]->setText(listCaptions[i]);
}

void TFmNote::WMSetTrans(const TWinMessage& m) {
    if (FIsPreviewMode)
        return;
    switch (m.WParam) {
    case 0:
        SetAlpha(int(m.LParam & 0xFF));
        break;
    case 1:
        SetAlpha(FRecord.Note.FmTrans);
        break;
    case 2: {
        // Only the low byte is an alpha: the rest must not reach the store or the server.
        const int alpha = int(m.LParam & 0xFF);
        // A failed write leaves the note as stored.
        if (Stored([&](NoteRepository& r) { return r.SetTransparency(NoteId(), alpha); }))
            FRecord.Note.FmTrans = alpha;
        SetAlpha(FRecord.Note.FmTrans);
        break;
    }
    default:
        break;
    }
}

void TFmNote::WMSetFontColor(const TWinMessage& m) {
    if (FIsPreviewMode)
        return;
    switch (m.WParam) {
    case 0:
        SetFontColor(qint32(m.LParam));
        break;
    case 1:
        SetFontColor(FRecord.Note.FontColor);
        break;
    case 2:
        if (Stored([&](NoteRepository& r) { return r.SetFontColor(NoteId(), qint32(m.LParam)); }))
            FRecord.Note.FontColor = qint32(m.LParam);
        SetFontColor(FRecord.Note.FontColor);
        break;
    default:
        break;
    }
}

void TFmNote::WMSetNoteFont(const TWinMessage& m) {
    if (FIsPreviewMode || m.LParam == 0)
        return;
    const auto* info = reinterpret_cast<const TFontInfo*>(m.LParam);
    const int size = info->FontSize > 0 ? info->FontSize : FFont.pointSize();
    if (!Stored([&](NoteRepository& r) { return r.SetFont(NoteId(), info->FontName, size, info->FontBold); }))
        return;
    SetEditorFont(info->FontName, size, info->FontBold);
    ApplyLineSpacing();
    FRecord.Note.FontName = info->FontName;
    FRecord.Note.FontSize = FFont.pointSize();
    FRecord.Note.FontBold = info->FontBold ? 1 : 0;
}

void TFmNote::WMReloadNote() {
    NoteRepository* repo = notes(Context());
    const std::optional<NoteRecord> row = repo ? repo->Find(NoteId()) : std::nullopt;
    if (!row)
        return;
    const TNoteItem& r = row->Note;
    if (mmoNote && NoteText() != FRecord.Note.NNote) {
        // The user is typing: the typing stays and wins when the editor closes,
        // where it goes up as any edit does; only the stored copy follows the row.
        FRecord.Note.NNote = r.NNote;
    } else {
        SetNoteText(r.NNote);
        FRecord.Note.NNote = NoteText();
        if (mmoNote) {
            // Nothing typed yet: the editor shows the new text, with no way to undo into the old one.
            FDocument->setUndoRedoEnabled(false);
            FDocument->setUndoRedoEnabled(true);
        }
    }
    // The face follows the row; auto height, the kind of note and the docking are this window's.
    TNoteItem& own = FRecord.Note;
    own.FontName = r.FontName;
    own.FontSize = r.FontSize;
    own.BGColorIdx = r.BGColorIdx;
    own.IsTopMost = r.IsTopMost;
    own.ShowAsList = r.ShowAsList;
    own.AlertType = r.AlertType;
    own.AlertValue1 = r.AlertValue1;
    own.AlertValue2 = r.AlertValue2;
    own.AlertValue3 = r.AlertValue3;
    FRecord.Pending = row->Pending;
    FRecord.Rev = row->Rev;
    SetEditorFont(r.FontName, r.FontSize, FFont.bold());
    SetFontColor(r.FontColor);
    ApplyBgColorIndex();
    ApplyTopMost();
    ApplyListStyle();
    SetAlpha(r.FmTrans & 0xFF);
    RememberStoredLook();
    if (Context().ApplyReminder)
        Context().ApplyReminder(this, r.AlertType, r.AlertValue1, r.AlertValue2, r.AlertValue3);
    // An open editor never shows the hint: what is typed into it would be taken for the hint.
    if (!mmoNote && (FShowingHint || NoteText().isEmpty()))
        ShowBlankHint();
    update();
}

void TFmNote::WMAppBarNotify(const TWinMessage& m) {
    if (m.WParam != ABN_FULLSCREENAPP || FRecord.Note.IsTopMost != 1)
        return;
    if (m.LParam == 1)
        hide();
    else if (m.LParam == 0 && !FClosedForExit)
        show();
}

void TFmNote::WMUpdatingBegin() {
    if (FIsPreviewMode)
        return;
    SetUpdating(true);
}

void TFmNote::WMUpdatingEnd() {
    if (FIsPreviewMode)
        return;
    SetUpdating(false);
    if (pnlIsUpdating)
        pnlIsUpdating->hide();
}

// ---- the one-second work ----------------------------------------------------------

void TFmNote::Tick() {
    // A preview fires no reminders.
    if (Context().Tick && !FIsPreviewMode)
        Context().Tick(this);
    if (FRecord.Note.IsTopMost == 1 || !isVisible())
        return;
    const bool desktop = DesktopInFront();
    if (desktop && !FIsShowDesktop) {
        if (QWindow* w = windowHandle())
            w->setFlag(Qt::WindowStaysOnTopHint, true);
        FIsShowDesktop = true;
    } else if (!desktop && FIsShowDesktop) {
        if (QWindow* w = windowHandle()) {
            w->setFlag(Qt::WindowStaysOnTopHint, false);
            w->lower();
            w->raise();
        }
        FIsShowDesktop = false;
    }
}
