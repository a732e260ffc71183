#include "ui/uFmOptions.h"

#include "account/uServicePages.h"
#include "data/uAppState.h"
#include "lang/uDateStamp.h"
#include "lang/uInterfaceLanguage.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "note/uNoteManager.h"
#include "platform/gui/uWindows.h"
#include "platform/uAutostart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// A page filled by a bevelled panel, as every page of the dialog is; the
// page's controls go into the returned layout, top to bottom.
QVBoxLayout* makePage(QTabWidget* tabs, QWidget*& page) {
    page = new QWidget;
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QFrame(page);
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(panel);
    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(24, 16, 24, 16);
    inner->setSpacing(10);
    tabs->addTab(page, QString());
    return inner;
}

} // namespace

std::function<void(const QString& url)> TFmOptions::OpenUrlHook = [](const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
};
std::function<QString()> TFmOptions::ExecutablePath = [] { return QCoreApplication::applicationFilePath(); };

TFmOptions::TFmOptions(QWidget* parent, TNoteContextPtr context)
    : TFixedDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(458, 307)),
      FContext(OrEmpty(std::move(context))) {

    PageControl1 = new QTabWidget(this);

    QVBoxLayout* general = makePage(PageControl1, tsGeneral);
    chkAutoStart = new QCheckBox(tsGeneral);
    chkShowNotes = new QCheckBox(tsGeneral);
    general->addWidget(chkAutoStart);
    general->addWidget(chkShowNotes);
    // Kept hidden: no global hot key is registered, stored or answered.
    lblShortcut = new QLabel(tsGeneral);
    lblShortcut->hide();
    HotKey1 = new QKeySequenceEdit(QKeySequence(Qt::ALT | Qt::Key_A), tsGeneral);
    HotKey1->hide();
    lblLanguage = new QLabel(tsGeneral);
    cbbLanguage = new QComboBox(tsGeneral);
    cbbLanguage->setObjectName(QStringLiteral("cbbLanguage"));
    lblLanguage->setBuddy(cbbLanguage);
    for (const QString& language : InterfaceLanguage::Shipped())
        cbbLanguage->addItem(InterfaceLanguage::NativeName(language), language);
    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(lblLanguage);
    languageRow->addWidget(cbbLanguage);
    languageRow->addStretch(1);
    general->addLayout(languageRow);
    lblLanguageHint = new QLabel(tsGeneral);
    lblLanguageHint->setWordWrap(true);
    general->addWidget(lblLanguageHint);
    general->addStretch(1);

    QVBoxLayout* editing = makePage(PageControl1, TabSheet1);
    chkInsertTimeAuto = new QCheckBox(TabSheet1);
    editing->addWidget(chkInsertTimeAuto);
    grpDateFormat = new QGroupBox(TabSheet1);
    rbDFDateShort = new QRadioButton(grpDateFormat);
    rbDFDateTimeShort = new QRadioButton(grpDateFormat);
    rbDFDateLong = new QRadioButton(grpDateFormat);
    rbDFDateTimeLong = new QRadioButton(grpDateFormat);
    auto* formats = new QGridLayout(grpDateFormat);
    formats->addWidget(rbDFDateShort, 0, 0);
    formats->addWidget(rbDFDateLong, 0, 1);
    formats->addWidget(rbDFDateTimeShort, 1, 0);
    formats->addWidget(rbDFDateTimeLong, 1, 1);
    auto* indented = new QHBoxLayout;
    indented->addSpacing(16);
    indented->addWidget(grpDateFormat, 1);
    editing->addLayout(indented);
    editing->addStretch(1);

    QVBoxLayout* portable = makePage(PageControl1, tsGreenVersion);
    lblGreenVersionHint = new QLabel(tsGreenVersion);
    lblGreenVersionHint->setWordWrap(true);
    lblGreenVersionHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    portable->addWidget(lblGreenVersionHint);
    portable->addStretch(1);
    btnCreateGreenVersion = new QPushButton(tsGreenVersion);
    btnCreateGreenVersion->setMinimumSize(153, 25);
    portable->addWidget(btnCreateGreenVersion, 0, Qt::AlignHCenter);
    portable->addStretch(1);

    btnSave = new QPushButton(this);
    btnSave->setDefault(true);
    btnCancel = new QPushButton(this);
    for (QPushButton* b : {btnSave, btnCancel})
        b->setMinimumSize(75, 25);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnSave);
    buttonRow->addWidget(btnCancel);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addWidget(PageControl1, 1);
    main->addLayout(buttonRow);
    UseLayout(main);
    connect(btnSave, &QPushButton::clicked, this, &TFmOptions::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnCreateGreenVersion, &QPushButton::clicked, this, &TFmOptions::btnCreateGreenVersionClick);

    // Opening.
    const TNoteOptions& o = AppState().NoteOptions;
    PageControl1->setCurrentIndex(0);
    // The language the next start will speak: the stored one.
    const int languageIndex = cbbLanguage->findData(o.FconfigLanguage, Qt::UserRole, Qt::MatchFixedString);
    cbbLanguage->setCurrentIndex(qMax(0, languageIndex));
    chkShowNotes->setChecked(o.FGeneralShowNotesOnDesk);
    chkAutoStart->setChecked(AutostartIsFor(ExecutablePath()));
    const QDateTime now = QDateTime::currentDateTime();
    const auto buttons = FormatButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const QString format = QString::fromLatin1(kInsertDateFormats[i]);
        buttons[i]->setText(FormatDateStamp(format, now));
        // An unknown stored format leaves every button clear.
        buttons[i]->setChecked(format == o.FconfigInsertDateFormat);
    }
    chkInsertTimeAuto->setChecked(o.FconfigInsertDateAuto);
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

std::array<QRadioButton*, 4> TFmOptions::FormatButtons() const {
    return {rbDFDateShort, rbDFDateLong, rbDFDateTimeShort, rbDFDateTimeLong};
}

int TFmOptions::Execute(QWidget* owner, TNoteContextPtr context) {
    TFmOptions dialog(owner, std::move(context));
    return ExecModal(dialog);
}

void TFmOptions::WMUpdateLanguage() {
    const TLanguageObject& l = LanguageOf(*FContext);
    setWindowTitle(l.FmOptionsCaption());
    PageControl1->setTabText(0, l.FmOptionstsGeneral_Caption());
    chkAutoStart->setText(l.FmOptionschkStartAutomatically());
    chkShowNotes->setText(l.FmOptionschkShowNotes_Caption());
    lblShortcut->setText(l.FmOptionslblShortcut_Caption());
    lblLanguage->setText(l.FmOptionslblLanguage_Caption());
    lblLanguageHint->setText(l.FmOptionshint_LanguageNextStart());
    PageControl1->setTabText(1, l.FmOptionsTabSheet1_Caption());
    PageControl1->setTabText(2, l.FmOptionstsGreenVersion_Caption());
    lblGreenVersionHint->setText(l.FmMainhint_CreateGreenVersion());
    btnCreateGreenVersion->setText(l.FmOptionsbtnCreateGreenVersion_Captino());
    chkInsertTimeAuto->setText(l.FmOptionschkInsertTimeAuto_Caption());
    grpDateFormat->setTitle(l.FmOptionsgrpDateFormat_Caption());
    btnSave->setText(l.OthersbtnSave_Caption());
    btnCancel->setText(l.OthersbtnCancel_Caption());
}

void TFmOptions::btnSaveClick() {
    TNoteOptions& o = AppState().NoteOptions;
    const bool show = chkShowNotes->isChecked();
    if (show != o.FGeneralShowNotesOnDesk) {
        if (TNoteManager* windows = NoteWindows(*FContext))
            windows->Broadcast(show ? WM_SHOWNOTE : WM_HIDENOTE);
        if (FContext->NotesShownChanged)
            FContext->NotesShownChanged(show);
    }
    o.FGeneralShowNotesOnDesk = show;
    o.FconfigInsertDateAuto = chkInsertTimeAuto->isChecked();
    // Stored for the next start; this run keeps speaking the language it started with.
    o.FconfigLanguage = cbbLanguage->currentData().toString();
    const auto buttons = FormatButtons();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked()) {
            o.FconfigInsertDateFormat = QString::fromLatin1(kInsertDateFormats[i]);
            break;
        }

    const QString exe = ExecutablePath();
    if (AutostartIsFor(exe)) {
        if (!chkAutoStart->isChecked())
            DeleteAutostartEntry();
    } else if (chkAutoStart->isChecked()) {
        WriteAutostartEntry(exe);
    }

    const QString folder = DataFolderOf(*FContext);
    if (!folder.isEmpty())
        (void)o.SaveToFile(folder + QStringLiteral("config.ini"));
    accept();
}

void TFmOptions::btnCreateGreenVersionClick() {
    if (OpenUrlHook)
        OpenUrlHook(WithPageLanguage(WebSiteRoot() + QStringLiteral("greenversion.php")));
}
