#include "ui/uFmNoteManager.h"

#include "data/uNoteRepository.h"
#include "lang/uInterfaceLanguage.h"
#include "lang/uLanguageObject.h"
#include "note/uNoteShell.h"
#include "platform/uMessages.h"

#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Where a line break was: a paragraph mark, which every font can draw.
const QString kLineMark = QStringLiteral(" \u00B6 ");
// The list shows one line; longer texts are cut before they reach it.
constexpr int kMaxShownChars = 300;

} // namespace

TFmNoteManager::TFmNoteManager(QWidget* owner, TNoteContextPtr context)
    : TFixedDialog(owner,
                   Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint,
                   QSize(393, 367)),
      grpHidedNotes(new QGroupBox(this)), ListView1(new QTableWidget(0, 3, grpHidedNotes)),
      btnShow(new QPushButton(this)), btnClose(new QPushButton(this)), FContext(OrEmpty(std::move(context))) {
    auto* fill = new QVBoxLayout(grpHidedNotes);
    fill->setContentsMargins(4, 4, 4, 4);
    fill->addWidget(ListView1);
    ListView1->horizontalHeader()->hide();
    ListView1->verticalHeader()->hide();
    ListView1->setShowGrid(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setWordWrap(false);
    ListView1->setTextElideMode(Qt::ElideRight);
    ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ListView1->setColumnWidth(colText, 240);
    ListView1->setColumnWidth(colTime, 120);
    // The id travels with the row but is not for reading.
    ListView1->horizontalHeader()->setMinimumSectionSize(1);
    ListView1->horizontalHeader()->setSectionResizeMode(colId, QHeaderView::Fixed);
    ListView1->setColumnWidth(colId, 1);

    // From the keyboard: Tab leaves the list for the buttons, Enter shows the chosen note.
    ListView1->setTabKeyNavigation(false);
    btnShow->setDefault(true);
    btnShow->setMinimumSize(75, 25);
    btnClose->setMinimumSize(57, 25);
    connect(btnShow, &QPushButton::clicked, this, &TFmNoteManager::btnShowClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListView1, &QAbstractItemView::doubleClicked, this, &TFmNoteManager::btnShowClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnShow);
    buttons->addWidget(btnClose);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addWidget(grpHidedNotes, 1);
    main->addLayout(buttons);
    UseLayout(main);

    FillList();
    if (ListView1->rowCount() > 0)
        ListView1->selectRow(0);
    ListView1->setFocus();
    CenterOnScreen();
    SendMessageW(this, WM_UPDATELANGUAGE);
}

void TFmNoteManager::WMUpdateLanguage() {
    const TLanguageObject& l = LanguageOf(*FContext);
    setWindowTitle(l.FmNoteManagerCaption());
    grpHidedNotes->setTitle(l.FmNoteManagergrpHidedNotes_Caption());
    btnShow->setText(l.FmNoteManagerbtnShow_Caption());
    btnClose->setText(l.OthersbtnCancel_Caption());
}

QString TFmNoteManager::OneLine(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\\r\\n|\\r|\\n|\\x{2028}|\\x{2029}"));
    QStringList lines;
    for (const QString& line : text.left(kMaxShownChars * 2).split(breaks)) {
        const QString t = line.simplified();
        if (!t.isEmpty())
            lines.append(t);
    }
    QString one = lines.join(kLineMark);
    if (one.size() > kMaxShownChars)
        one = one.left(kMaxShownChars - 1) + QChar(0x2026);
    return one;
}

QString TFmNoteManager::ShortDateTime(const QString& stored) {
    const QDateTime t = QDateTime::fromString(stored, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return t.isValid() ? InterfaceLanguage::Current().toString(t, QLocale::ShortFormat) : stored;
}

void TFmNoteManager::FillList() {
    NoteRepository* notes = NotesOf(*FContext);
    if (!notes)
        return;
    const std::optional<QList<NoteRecord>> hidden = notes->LoadHidden();
    if (!hidden) {
        ShowStoreError(this, LanguageOf(*FContext), notes->LastReadError());
        return;
    }
    ListView1->setRowCount(int(hidden->size()));
    for (int i = 0; i < hidden->size(); ++i) {
        const NoteRecord& r = (*hidden)[i];
        const QString& text = r.Note.NNote;
        auto* caption = new QTableWidgetItem(OneLine(text));
        caption->setToolTip(text.left(kMaxShownChars * 4));
        ListView1->setItem(i, colText, caption);
        ListView1->setItem(i, colTime, new QTableWidgetItem(ShortDateTime(r.Created)));
        ListView1->setItem(i, colId, new QTableWidgetItem(r.id()));
    }
}

void TFmNoteManager::btnShowClick() {
    const QList<QTableWidgetItem*> selected = ListView1->selectedItems();
    NoteRepository* notes = NotesOf(*FContext);
    if (selected.isEmpty() || !notes)
        return;
    const int row = selected.first()->row();
    const QString id = ListView1->item(row, colId)->text();
    std::optional<NoteRecord> r;
    if (!notes->ShowAgain(id, r))
        return;
    ListView1->removeRow(row);
    // The next note is ready for the next Enter.
    if (ListView1->rowCount() > 0)
        ListView1->selectRow(qMin(row, ListView1->rowCount() - 1));
    // Gone from the store meanwhile (deleted on another computer): nothing to show.
    if (!r)
        return;
    if (FContext->ShowNoteAgain)
        FContext->ShowNoteAgain(*r);
}
