#include "reminders/gui/uFmMissedAlerts.h"

#include "lang/uInterfaceLanguage.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uAccessibleNames.h"
#include "platform/uMessages.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kColDue = 0;
constexpr int kColNote = 1;
constexpr int kColOpen = 2;
constexpr int kNoteTextChars = 80;

QString shortText(const QString& text) {
    QString line = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (text.contains(QLatin1Char('\n')) || line.size() > kNoteTextChars)
        line = line.left(kNoteTextChars) + QStringLiteral("…");
    return line;
}

} // namespace

TFmMissedAlerts::TFmMissedAlerts(QWidget* parent, TNoteContextPtr context)
    : QDialog(parent, Qt::Window | Qt::WindowStaysOnTopHint), FContext(OrEmpty(std::move(context))) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("FmMissedAlerts"));
    lblMissed = new QLabel(this);
    lblMissed->setWordWrap(true);
    lvMissed = new QTreeWidget(this);
    lblMissed->setBuddy(lvMissed);
    lvMissed->setColumnCount(3);
    lvMissed->setRootIsDecorated(false);
    lvMissed->setSelectionMode(QAbstractItemView::NoSelection);
    lvMissed->header()->setSectionResizeMode(kColDue, QHeaderView::ResizeToContents);
    lvMissed->header()->setSectionResizeMode(kColNote, QHeaderView::Stretch);
    lvMissed->header()->setSectionResizeMode(kColOpen, QHeaderView::ResizeToContents);
    lvMissed->header()->setStretchLastSection(false);
    btnClose = new QPushButton(this);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMissed);
    layout->addWidget(lvMissed, 1);
    layout->addLayout(buttons);
    resize(520, 300);
    SendMessageW(this, WM_UPDATELANGUAGE, 0, 0);
}

void TFmMissedAlerts::AddMissed(const QList<TMissedReminder>& missed) {
    const TLanguageObject& l = LanguageOf(*FContext);
    const QLocale locale = InterfaceLanguage::Current();
    for (const TMissedReminder& m : missed) {
        auto* item = new QTreeWidgetItem(lvMissed);
        item->setText(kColDue, locale.toString(m.Due, QLocale::ShortFormat));
        item->setText(kColNote, shortText(m.Text));
        item->setToolTip(kColNote, m.Text);
        auto* open = new QPushButton(l.FmMissedAlertsbtnOpenNote_Caption(), lvMissed);
        open->setObjectName(QStringLiteral("btnOpenNote"));
        open->setProperty("noteId", m.NoteId);
        connect(open, &QPushButton::clicked, this, [this, id = m.NoteId] { emit OpenNoteRequested(id); });
        lvMissed->setItemWidget(item, kColOpen, open);
    }
}

int TFmMissedAlerts::Count() const {
    return lvMissed->topLevelItemCount();
}

bool TFmMissedAlerts::event(QEvent* e) {
    if (int(e->type()) == WM_UPDATELANGUAGE) {
        WMUpdateLanguage();
        return true;
    }
    return QDialog::event(e);
}

void TFmMissedAlerts::WMUpdateLanguage() {
    const TLanguageObject& l = LanguageOf(*FContext);
    setWindowTitle(l.FmMissedAlertsCaption());
    lblMissed->setText(l.FmMissedAlertslblMissed_Caption());
    lvMissed->setHeaderLabels(
        {l.FmMissedAlertscolDue_Caption(), l.FmMissedAlertscolNote_Caption(), QString()});
    btnClose->setText(l.FmMissedAlertsbtnClose_Caption());
    NameUnnamedControls(this);
}
