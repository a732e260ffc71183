#include "ui/uFmFont.h"

#include "lang/uLanguageObject.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kSmallestSize = 8;
constexpr int kLargestSize = 20;

// The list fills its frame below the frame's title.
void FillFrame(QGroupBox* frame, QWidget* content) {
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->addWidget(content);
}

[[nodiscard]] QString SelectedText(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

// A size entry that is not a number counts as 9.
[[nodiscard]] int SizeOfEntry(const QString& entry) {
    bool ok = false;
    const int size = entry.toInt(&ok);
    return ok ? size : 9;
}

void SelectEntry(QListWidget* list, const QString& text) {
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchFixedString);
    if (!found.isEmpty())
        list->setCurrentItem(found.first());
}

} // namespace

TFmSetFont::TFmSetFont(QWidget* owner, const TLanguageObject* language)
    : TFmAppearanceDialog(owner, language, QSize(319, 310)), grpFontName(new QGroupBox(this)),
      lstFontName(new QListWidget), grpFontSize(new QGroupBox(this)), lbFontSize(new QListWidget),
      grpTextStyle(new QGroupBox(this)), chkFontBold(new QCheckBox(grpTextStyle)),
      pnlPreview(new QLabel(this)), bvlSeparator(new QFrame(this)) {
    FillFrame(grpFontName, lstFontName);
    lstFontName->addItems(QFontDatabase::families());
    lstFontName->setMinimumSize(193, 150);

    FillFrame(grpFontSize, lbFontSize);
    for (int size = kSmallestSize; size <= kLargestSize; ++size)
        lbFontSize->addItem(QString::number(size));
    lbFontSize->setMinimumWidth(89);

    auto* style = new QVBoxLayout(grpTextStyle);
    style->setContentsMargins(10, 4, 4, 4);
    style->addWidget(chkFontBold);

    pnlPreview->setMinimumHeight(55);
    // Sunken outside, raised inside: the etched look of a preview panel.
    pnlPreview->setFrameStyle(QFrame::Box | QFrame::Sunken);
    pnlPreview->setLineWidth(1);
    pnlPreview->setAlignment(Qt::AlignCenter);

    bvlSeparator->setFrameShape(QFrame::HLine);
    bvlSeparator->setFrameShadow(QFrame::Sunken);
    bvlSeparator->setFixedHeight(2);
    btnOK->setMinimumSize(65, 25);
    btnCancel->setMinimumSize(66, 25);

    auto* choices = new QGridLayout;
    choices->addWidget(grpFontName, 0, 0, 2, 1);
    choices->addWidget(grpFontSize, 0, 1);
    choices->addWidget(grpTextStyle, 1, 1);
    choices->setColumnStretch(0, 2);
    choices->setColumnStretch(1, 1);
    choices->setRowStretch(0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 6);
    main->addLayout(choices, 1);
    main->addWidget(pnlPreview);
    main->addWidget(chkApply2AllNote);
    main->addWidget(bvlSeparator);
    main->addLayout(buttons);
    UseLayout(main);
    SetTabOrder({lstFontName, lbFontSize, chkFontBold, chkApply2AllNote, btnOK, btnCancel});

    connect(lstFontName, &QListWidget::itemSelectionChanged, this, &TFmSetFont::UpdatePreview);
    connect(lbFontSize, &QListWidget::itemSelectionChanged, this, &TFmSetFont::UpdatePreview);
    connect(chkFontBold, &QCheckBox::toggled, this, &TFmSetFont::UpdatePreview);
    SendMessageW(this, WM_UPDATELANGUAGE);
}

void TFmSetFont::SetNoteFont(const QString& name, int size, bool bold) {
    FNoteFontName = name;
    FNoteFontSize = size;
    QFont f = pnlPreview->font();
    f.setFamily(name);
    f.setPointSize(size > 0 ? size : 9);
    pnlPreview->setFont(f);
    SelectEntry(lstFontName, name);
    SelectEntry(lbFontSize, QString::number(size));
    chkFontBold->setChecked(bold);
    UpdatePreview();
}

TFontInfo TFmSetFont::ChosenFont() const {
    TFontInfo info;
    const QString name = SelectedText(lstFontName);
    const QString size = SelectedText(lbFontSize);
    info.FontName = name.isEmpty() ? FNoteFontName : name;
    info.FontSize = size.isEmpty() ? FNoteFontSize : SizeOfEntry(size);
    info.FontBold = chkFontBold->isChecked();
    return info;
}

void TFmSetFont::UpdatePreview() {
    // An attribute whose list has no selection stays as the preview shows it.
    QFont f = pnlPreview->font();
    if (const QString name = SelectedText(lstFontName); !name.isEmpty())
        f.setFamily(name);
    if (const QString size = SelectedText(lbFontSize); !size.isEmpty())
        f.setPointSize(SizeOfEntry(size));
    f.setBold(chkFontBold->isChecked());
    pnlPreview->setFont(f);
}

void TFmSetFont::showEvent(QShowEvent* e) {
    for (QListWidget* list : {lstFontName, lbFontSize})
        if (QListWidgetItem* item = list->currentItem())
            list->scrollToItem(item, QAbstractItemView::PositionAtCenter);
    UpdatePreview();
    TFmAppearanceDialog::showEvent(e);
}

void TFmSetFont::accept() {
    // The record lives until every receiver has handled the synchronous send.
    TFontInfo info = ChosenFont();
    SendToNotes(WM_SETNOTEFONT, 0, reinterpret_cast<LPARAM>(&info));
    TFmAppearanceDialog::accept();
}

void TFmSetFont::WMUpdateLanguage() {
    TFmAppearanceDialog::WMUpdateLanguage();
    const TLanguageObject& l = Language();
    setWindowTitle(l.FmFontCaption());
    grpFontName->setTitle(l.FmFontgrpFontName_Caption());
    grpFontSize->setTitle(l.FmFontlblFontSize_Caption());
    grpTextStyle->setTitle(l.FmFontgrpTextStyle_Caption());
    chkFontBold->setText(l.FmFontchkFontBold_Caption());
    pnlPreview->setText(l.FmFontpnlPreview_Caption());
}
