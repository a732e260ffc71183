#include "note/uNoteDeletion.h"

#include "data/uAppState.h"
#include "data/uNoteRepository.h"
#include "lang/uLanguageObject.h"
#include "note/uFmNote.h"
#include "note/uFmNoteSupport.h"
#include "note/uNoteDocking.h"
#include "platform/gui/uWindows.h"
#include "shared/uNoteId.h"

#include <QClipboard>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kPanelWidth = 131;
constexpr int kPanelHeight = 129;
constexpr int kFallStep = 50;
constexpr int kDriftStep = 5;
constexpr int kNarrowStep = 10;
constexpr int kMinWidth = 120;
const QColor kFlashGreen(0x00, 0x80, 0x00);

using NoteSupport::lang;
using NoteSupport::notes;

// The panel's sizes were chosen for a narrow face; a wider one (or a longer
// translation) gets a smaller size rather than a cut-off sentence.
QFont FittingFont(QFont f, const QString& text, QSize box) {
    while (f.pointSizeF() > 6 &&
           QFontMetrics(f).boundingRect(QRect(QPoint(0, 0), box), Qt::TextWordWrap, text).height() >
               box.height())
        f.setPointSizeF(f.pointSizeF() - 0.5);
    return f;
}

void DeleteOnServer(const TFmNote* note) {
    if (note->Context().DeleteOnServer)
        note->Context().DeleteOnServer(note->NoteId());
}

} // namespace

TNoteDeletion::TNoteDeletion(TFmNote* note)
    : QObject(note), tmrHideAnimation(new QTimer(this)), tmrDelAlert(new QTimer(this)),
      tmrFlashDelAlert(new QTimer(this)), FNote(note) {
    setObjectName(QStringLiteral("NoteDeletion"));
    tmrHideAnimation->setInterval(10);
    tmrDelAlert->setInterval(1000);
    tmrFlashDelAlert->setInterval(200);
    connect(tmrHideAnimation, &QTimer::timeout, this, &TNoteDeletion::tmrHideAnimationTimer);
    connect(tmrDelAlert, &QTimer::timeout, this, &TNoteDeletion::tmrDelAlertTimer);
    connect(tmrFlashDelAlert, &QTimer::timeout, this, &TNoteDeletion::tmrFlashDelAlertTimer);
    note->installEventFilter(this);
}

TNoteDeletion* TNoteDeletion::Find(const TFmNote* note) {
    return note->findChild<TNoteDeletion*>(QString(), Qt::FindDirectChildrenOnly);
}

TNoteDeletion* TNoteDeletion::Of(TFmNote* note) {
    if (TNoteDeletion* d = Find(note))
        return d;
    return new TNoteDeletion(note);
}

void TNoteDeletion::EnsurePanel() {
    if (pnlDelAlert)
        return;
    const TLanguageObject& l = *lang(FNote->Context());
    pnlDelAlert = new QFrame(FNote);
    pnlDelAlert->setObjectName(QStringLiteral("pnlDelAlert"));
    pnlDelAlert->resize(kPanelWidth, kPanelHeight);
    pnlDelAlert->setFrameShape(QFrame::Panel);
    pnlDelAlert->setFrameShadow(QFrame::Raised);
    pnlDelAlert->setAutoFillBackground(true);
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    pnlDelAlert->setFont(f);
    lblDeleteAlert = new QLabel(l.FmNotelblDeleteAlert_Caption(), pnlDelAlert);
    lblDeleteAlert->setGeometry(8, 15, 113, 41);
    lblDeleteAlert->setWordWrap(true);
    lblDeleteAlert->setFont(FittingFont(f, lblDeleteAlert->text(), lblDeleteAlert->size()));
    lblCounter = new QLabel(pnlDelAlert);
    lblCounter->setGeometry(7, 64, 114, 13);
    lblCounter->setAlignment(Qt::AlignCenter);
    bvlSeparator = new QFrame(pnlDelAlert);
    bvlSeparator->setGeometry(5, 85, 122, 2);
    bvlSeparator->setFrameShape(QFrame::HLine);
    bvlSeparator->setFrameShadow(QFrame::Sunken);
    btnCopyNote = new QPushButton(l.FmNotebtnCopyNote_Caption(), pnlDelAlert);
    btnCopyNote->setGeometry(8, 93, 76, 22);
    btnCopyNote->setFlat(true);
    btnCloseDelAlert = new QPushButton(l.OthersbtnOK_Caption(), pnlDelAlert);
    btnCloseDelAlert->setGeometry(89, 93, 34, 22);
    btnCloseDelAlert->setFlat(true);
    connect(btnCopyNote, &QPushButton::clicked, this, &TNoteDeletion::btnCopyNoteClick);
    connect(btnCloseDelAlert, &QPushButton::clicked, this, &TNoteDeletion::btnCloseDelAlertClick);
    pnlDelAlert->hide();
}

void TNoteDeletion::CenterDelAlert() {
    if (pnlDelAlert)
        pnlDelAlert->move((FNote->width() - kPanelWidth) / 2, (FNote->height() - kPanelHeight) / 2);
}

bool TNoteDeletion::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FNote && e->type() == QEvent::Resize && pnlDelAlert && pnlDelAlert->isVisible())
        CenterDelAlert();
    return QObject::eventFilter(watched, e);
}

bool TNoteDeletion::CountingDown() const {
    return tmrDelAlert->isActive();
}

void TNoteDeletion::StartCountdown() {
    if (FSliding || CountingDown())
        return;
    EnsurePanel();
    pnlDelAlert->show();
    CenterDelAlert();
    pnlDelAlert->raise();
    tmrDelAlert->start();
    tmrFlashDelAlert->start();
    FMenuRemoved = true;
}

void TNoteDeletion::StartHideAnimation() {
    if (FSliding)
        return;
    FSliding = true;
    // The fall ends the countdown: the server is asked once.
    tmrDelAlert->stop();
    tmrFlashDelAlert->stop();
    tmrHideAnimation->start();
}

void TNoteDeletion::tmrHideAnimationTimer() {
    if (FNote->IsPreviewMode())
        return;
    const int screenHeight = NoteDocking::ScreenRect().height();
    if (FNote->y() >= screenHeight) {
        tmrHideAnimation->stop();
        CloseNote(FNote);
        return;
    }
    const QRect g = FNote->geometry();
    if (FNote->IsDocked()) {
        // A strip keeps its shape and its edge as it falls.
        FNote->move(g.x(), g.y() + kFallStep);
        return;
    }
    FNote->setGeometry(g.x() + kDriftStep, g.y() + kFallStep, qMax(kMinWidth, g.width() - kNarrowStep),
                       g.height());
}

void TNoteDeletion::tmrDelAlertTimer() {
    if (FNote->IsPreviewMode())
        return;
    --FSecondsLeft;
    lblCounter->setText(QString::number(FSecondsLeft));
    if (FSecondsLeft > 0)
        return;
    DeleteOnServer(FNote);
    StartHideAnimation();
}

void TNoteDeletion::tmrFlashDelAlertTimer() {
    if (FNote->IsPreviewMode())
        return;
    QPalette p = lblDeleteAlert->palette();
    const bool black = p.color(QPalette::WindowText) == QColor(Qt::black);
    p.setColor(QPalette::WindowText, black ? kFlashGreen : QColor(Qt::black));
    lblDeleteAlert->setPalette(p);
}

void TNoteDeletion::btnCopyNoteClick() {
    QGuiApplication::clipboard()->setText(FNote->NoteText());
}

void TNoteDeletion::btnCloseDelAlertClick() {
    if (FSliding)
        return;
    DeleteOnServer(FNote);
    StartHideAnimation();
}

void TNoteDeletion::CloseNote(TFmNote* note) {
    // A note that goes while open for editing must not leave downloads held back.
    if (note->IsEditing())
        AppState().NoteEditing = false;
    note->Docking().ReleasePreview();
    note->close();
    note->deleteLater();
}

void TNoteDeletion::DeleteNote(TFmNote* note) {
    if (note->NoteId().isEmpty() || note->IsPreviewMode())
        return;
    if (const TNoteDeletion* d = TNoteDeletion::Find(note); d && d->Sliding())
        return;
    const TLanguageObject& l = *lang(note->Context());
    if (MessageBoxW(note, l.FmNoteconfrimDeleteNote(), l.Otherstitle_dlgquestion(),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const TNoteContext& c = note->Context();
    NoteRepository* repo = notes(c);
    if (!repo)
        return;
    const QString id = note->NoteId();
    // Counted and deleted in one transaction: a download removing the other rows
    // in between must not leave the store empty.
    const std::optional<NoteDeleteOutcome> outcome = repo->Delete(id);
    if (!outcome)
        return;
    if (*outcome == NoteDeleteOutcome::Emptied) {
        // The store keeps one row; emptied here only, nothing goes to the server.
        // While the text is open for editing the hint waits until editing ends.
        note->SetNoteText(note->IsEditing() ? QString() : l.FmNoteblankNoteHint());
        note->SetStoredNote();
        return;
    }
    TNoteDeletion::Of(note)->StartHideAnimation();
    if (c.DataFolder)
        if (const QString audio = NoteFileIn(c.DataFolder() + QStringLiteral("audio/"), id); !audio.isEmpty())
            QFile::remove(audio);
    if (c.DeleteOnServer)
        c.DeleteOnServer(id);
}

void TNoteDeletion::HideOnThisComputer(TFmNote* note) {
    if (note->IsPreviewMode())
        return;
    const TLanguageObject& l = *lang(note->Context());
    if (MessageBoxW(note, l.FmNotehideNoteConfirm(), l.Otherstitle_dlgquestion(),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // On failure the note stays where it is; its row still says it is shown.
    if (NoteRepository* r = notes(note->Context()); r && !r->Hide(note->NoteId()))
        return;
    CloseNote(note);
}

void TNoteDeletion::CheckExists(TFmNote* note) {
    if (note->IsPreviewMode() || note->NoteId().isEmpty())
        return;
    if (const TNoteDeletion* d = TNoteDeletion::Find(note); d && (d->Sliding() || d->CountingDown()))
        return;
    // Unknown is not gone: the next check decides.
    NoteRepository* r = notes(note->Context());
    if (!r || r->Exists(note->NoteId()).value_or(true))
        return;
    if (note->IsDocked()) {
        // A strip cannot show the panel: the note opens out beside its edge so that
        // its text can still be copied. There is no row left to tell.
        note->Docking().ReleasePreview();
        const QRect s = NoteDocking::ScreenRect();
        const QSize size(NoteDocking::kRestoreMinWidth, 140);
        note->FRecord.Dock.Docked = false;
        note->setGeometry(qBound(0, note->x(), s.width() - size.width()),
                          qBound(0, note->y(), s.height() - size.height()), size.width(), size.height());
        note->DrawNoteFrame();
    }
    TNoteDeletion::Of(note)->StartCountdown();
}
