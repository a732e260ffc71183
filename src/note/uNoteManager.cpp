#include "note/uNoteManager.h"

#include "data/uAppState.h"
#include "data/uNoteRecord.h"
#include "data/uNoteRepository.h"
#include "note/uFmNote.h"
#include "note/uNoteReminder.h"
#include "platform/gui/uDesktop.h"

#include <QPointer>
#include <QUuid>

namespace {

// A new note's size, and the smallest an undocked note can be.
constexpr int kNewNoteWidth = 220;
constexpr int kNewNoteHeight = 100;
constexpr int kMinNoteWidth = 120;
constexpr int kMinNoteHeight = 40;

bool hasStoredSize(const QRect& stored) {
    return stored.width() > 0 && stored.height() > 0;
}

// Runs body on every window with the store's batch open: one disk flush for all
// notes. Busy elsewhere, each write commits on its own.
template <typename W, typename F>
void inOneBatch(const TNoteContext& context, const QList<QPointer<W>>& targets, F body) {
    NoteRepository* repo = context.Notes ? context.Notes() : nullptr;
    std::unique_ptr<TTransaction> tr = repo ? repo->BeginBatch() : nullptr;
    for (const QPointer<W>& w : targets)
        if (w)
            body(w.data());
    if (tr) {
        try {
            tr->Commit();
        } catch (const TSqlError&) {
            // The notes keep what the store last took; a later save tries again.
        }
    }
}

} // namespace

TNoteManager* NoteWindows(const TNoteContext& context) {
    return context.Windows ? context.Windows() : nullptr;
}

TNoteManager::TNoteManager(TNoteContextPtr context, QObject* parent)
    : QObject(parent), FContext(context ? std::move(context) : EmptyNoteContext()) {}

TNoteManager::~TNoteManager() = default;

// ---- making windows -----------------------------------------------------------------

TFmNote* TNoteManager::Create() {
    auto* n = new TFmNote(FContext);
    // Made with another context, the window did not find this manager by itself.
    Register(n);
    Adopt(n);
    return n;
}

TFmNote* TNoteManager::Create(const NoteRecord& record, bool withDocking) {
    TFmNote* n = Create();
    ApplyRecord(n, record, withDocking);
    return n;
}

int TNoteManager::CreateAll(const QList<NoteRecord>& rows, bool show) {
    int count = 0;
    for (const NoteRecord& row : rows) {
        TFmNote* n = Create();
        n->ShowAd = count == 0;
        ApplyRecord(n, row);
        if (show)
            n->show();
        ++count;
    }
    return count;
}

TFmNote* TNoteManager::CreateNew(const QString& initText) {
    NoteRepository* repo = FContext->Notes ? FContext->Notes() : nullptr;
    if (!repo)
        return nullptr;
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QPoint place = NewNotePos(kNewNoteWidth, kNewNoteHeight);
    if (!repo->InsertFromShell(id, place))
        return nullptr;
    TFmNote* n = Create();
    n->setGeometry(QRect(place, QSize(kNewNoteWidth, kNewNoteHeight)));
    NoteRecord made;
    made.Note.NoteID = id;
    made.Note.FmTrans = 160;
    made.Note.FontName = QStringLiteral("Tahoma");
    made.Note.FontSize = 9;
    made.Note.FmX = place.x();
    made.Note.FmY = place.y();
    made.Note.FmW = kNewNoteWidth;
    made.Note.FmH = kNewNoteHeight;
    n->ShowRecord(made);
    n->SetLayered(true);
    // Shown, not stored: the hint is no text of the note's.
    n->SetNoteText(initText);
    n->show();
    return n;
}

TFmNote* TNoteManager::CreateDownloaded(const TNoteItem& nItem) {
    QRect g(nItem.FmX, nItem.FmY, nItem.FmW, nItem.FmH);
    if (hasStoredSize(g)) {
        // A coordinate the server does not know is taken from a free place.
        const QPoint place = NewNotePos(nItem.FmW, nItem.FmH);
        g.moveTo(nItem.FmX != 0 ? nItem.FmX : place.x(), nItem.FmY != 0 ? nItem.FmY : place.y());
    }
    TFmNote* n = Create();
    n->setGeometry(UndockedGeometry(g));
    NoteRecord made;
    made.Note = nItem;
    n->ShowRecord(made);
    n->SetLayered(true);
    if (AppState().NoteOptions.FGeneralShowNotesOnDesk)
        n->show();
    return n;
}

void TNoteManager::ApplyRecord(TFmNote* n, const NoteRecord& rec, bool withDocking) const {
    const TNoteItem& i = rec.Note;
    n->setGeometry(UndockedGeometry(QRect(i.FmX, i.FmY, i.FmW, i.FmH)));
    NoteRecord shown = rec;
    shown.Dock.Docked = withDocking && rec.Dock.Docked;
    n->ShowRecord(shown);
    n->SetLayered(true);
    ApplyNoteReminder(n, i.AlertType, i.AlertValue1, i.AlertValue2, i.AlertValue3);
}

// ---- the list -------------------------------------------------------------------------

void TNoteManager::Register(QWidget* window) {
    if (!window || FWindows.contains(window))
        return;
    FWindows.append(window);
    connect(window, &QObject::destroyed, this, &TNoteManager::Forget);
}

void TNoteManager::Forget(QObject* window) {
    FWindows.removeOne(window);
}

void TNoteManager::Adopt(TFmNote* note) {
    connect(note, &TFmNote::CommandRequested, this,
            [this, note](const QString& action) { emit CommandRequested(action, note); });
}

QList<TFmNote*> TNoteManager::Windows() const {
    QList<TFmNote*> out;
    out.reserve(FWindows.size());
    for (QObject* w : FWindows)
        if (auto* n = qobject_cast<TFmNote*>(w))
            out.append(n);
    return out;
}

TFmNote* TNoteManager::Find(const QString& noteId) const {
    for (TFmNote* n : Windows())
        if (n->NoteId() == noteId && !n->IsPreviewMode())
            return n;
    return nullptr;
}

QList<QPointer<QWidget>> TNoteManager::Targets() const {
    QList<QPointer<QWidget>> out;
    out.reserve(FWindows.size());
    for (QObject* w : FWindows)
        if (auto* widget = qobject_cast<QWidget*>(w))
            out.append(widget);
    return out;
}

void TNoteManager::Broadcast(int msg, WPARAM wParam, LPARAM lParam, const QObject* except) const {
    for (const QPointer<QWidget>& w : Targets())
        if (w && w != except)
            SendMessageW(w.data(), msg, wParam, lParam);
}

// ---- all at once ---------------------------------------------------------------------

void TNoteManager::SaveAll() const {
    // A note that cannot be saved reports it and does not keep the others from saving.
    const QList<TFmNote*> now = Windows();
    inOneBatch(*FContext, QList<QPointer<TFmNote>>(now.begin(), now.end()),
               [](TFmNote* n) { n->SaveOnEndSession(); });
}

void TNoteManager::Dismiss(TFmNote* note) const {
    SendMessageW(note, WM_HIDENOTE, 0, 0);
    SendMessageW(note, WM_SAVENOTEATTRS, 0, 0);
    note->deleteLater();
}

void TNoteManager::HideAndSaveAll() const {
    inOneBatch(*FContext, Targets(), [](QWidget* w) {
        SendMessageW(w, WM_HIDENOTE, 0, 0);
        SendMessageW(w, WM_SAVENOTEATTRS, 0, 0);
    });
}

// ---- placement ------------------------------------------------------------------------

QRect TNoteManager::UndockedGeometry(const QRect& stored) const {
    // A row made from a download, or a server item without a size, stores none:
    // such a note comes up where a new note would, as large as a new note.
    if (!hasStoredSize(stored))
        return QRect(NewNotePos(kNewNoteWidth, kNewNoteHeight), QSize(kNewNoteWidth, kNewNoteHeight));
    // Smaller than a note can be, it could be neither seen nor grabbed.
    return QRect(stored.topLeft(), stored.size().expandedTo(QSize(kMinNoteWidth, kMinNoteHeight)));
}

QPoint TNoteManager::NewNotePos(int newWidth, int newHeight) const {
    // Counted inside the work area: a panel at the top or the left keeps its room.
    const QRect wa = PrimaryWorkArea();
    const int W = wa.width();
    const int H = wa.height();
    QPoint result(wa.x() + W - newWidth - 10, wa.y() + 10);
    QList<QRect> taken;
    for (TFmNote* n : Windows())
        if (n->isVisible())
            taken.append(n->geometry());
    const int rows = (H - newHeight) / 10;
    const int cols = (W - newWidth - 10) / 10;
    if (cols < 0)
        return result;
    for (int col = cols; col >= 0; --col) {
        for (int j = 0; j <= rows; ++j) {
            const QRect candidate(wa.x() + col * 10, wa.y() + (j + 1) * 10, newWidth, newHeight);
            bool free = true;
            for (const QRect& t : taken)
                if (t.intersects(candidate)) {
                    free = false;
                    break;
                }
            if (free)
                return candidate.topLeft();
        }
    }
    return result;
}
