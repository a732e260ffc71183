#include "ui/uFmOptions.h"

#include "data/uAppState.h"
#include "lang/uDateStamp.h"
#include "lang/uLanguageObject.h"
#include "note/uNoteManager.h"
#include "platform/gui/uWindows.h"
#include "platform/uAutostart.h"
#include "sync/uEndpoints.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QUrl>

namespace {

// A page filled by a bevelled panel, as every page of the dialog is.
QWidget* makePage(QTabWidget* tabs) {
    auto* page = new QWidget;
    auto* panel = new QFrame(page);
    panel->setObjectName(QStringLiteral("Panel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(0, 0, 434, 229);
    tabs->addTab(page, QString());
    return page;
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
    PageControl1->setGeometry(8, 8, 442, 257);

    tsGeneral = makePage(PageControl1);
    chkAutoStart = new QCheckBox(tsGeneral);
    chkAutoStart->setGeometry(24, 25, 241, 20);
    chkShowNotes = new QCheckBox(tsGeneral);
    chkShowNotes->setGeometry(24, 56, 241, 20);
    // Kept hidden: no global hot key is registered, stored or answered.
    lblShortcut = new QLabel(tsGeneral);
    lblShortcut->move(24, 90);
    lblShortcut->hide();
    HotKey1 = new QKeySequenceEdit(QKeySequence(Qt::ALT | Qt::Key_A), tsGeneral);
    HotKey1->setGeometry(140, 86, 121, 22);
    HotKey1->hide();

    TabSheet1 = makePage(PageControl1);
    // This page's caption belongs to the form, not to the language file.
    PageControl1->setTabText(1, QStringLiteral("便签编辑"));
    chkInsertTimeAuto = new QCheckBox(TabSheet1);
    chkInsertTimeAuto->setGeometry(24, 16, 334, 20);
    grpDateFormat = new QGroupBox(TabSheet1);
    grpDateFormat->setGeometry(40, 47, 361, 82);
    rbDFDateShort = new QRadioButton(grpDateFormat);
    rbDFDateShort->setGeometry(16, 24, 140, 20);
    rbDFDateTimeShort = new QRadioButton(grpDateFormat);
    rbDFDateTimeShort->setGeometry(16, 47, 140, 20);
    rbDFDateLong = new QRadioButton(grpDateFormat);
    rbDFDateLong->setGeometry(168, 24, 170, 20);
    rbDFDateTimeLong = new QRadioButton(grpDateFormat);
    rbDFDateTimeLong->setGeometry(168, 47, 170, 20);

    tsGreenVersion = makePage(PageControl1);
    lblGreenVersionHint = new QLabel(tsGreenVersion);
    lblGreenVersionHint->setGeometry(24, 32, 385, 57);
    lblGreenVersionHint->setWordWrap(true);
    lblGreenVersionHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    btnCreateGreenVersion = new QPushButton(tsGreenVersion);
    btnCreateGreenVersion->setGeometry(144, 144, 153, 25);

    btnSave = new QPushButton(this);
    btnSave->setGeometry(295, 271, 75, 25);
    btnSave->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setGeometry(375, 271, 75, 25);
    connect(btnSave, &QPushButton::clicked, this, &TFmOptions::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnCreateGreenVersion, &QPushButton::clicked, this, &TFmOptions::btnCreateGreenVersionClick);

    // Opening.
    const TNoteOptions& o = AppState().NoteOptions;
    PageControl1->setCurrentIndex(0);
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
    lblShortcut->adjustSize();
    HotKey1->move(lblShortcut->geometry().right() + 1 + 10, HotKey1->y());
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
        OpenUrlHook(WebSiteRoot() + QStringLiteral("greenversion.php"));
}
