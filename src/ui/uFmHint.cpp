#include "ui/uFmHint.h"

#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "note/uNoteShell.h"
#include "ui/uLanguageObject.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

namespace {

constexpr int kHintAutoHide = 1;

} // namespace

TFmHint::TFmHint(QWidget* owner, const TLanguageObject* language)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      RichEdit1(new QTextEdit(this)), Bevel1(new QFrame(this)), chkDoNotShow(new QCheckBox(this)),
      btnCancel(new QPushButton(this)), btnOK(new QPushButton(this)),
      FLanguage(language ? language : &ShellLanguage()) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    setFont(f);
    setFixedSize(507, 130);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    RichEdit1->setGeometry(24, 16, 457, 57);
    RichEdit1->setReadOnly(true);
    RichEdit1->setFrameShape(QFrame::NoFrame);
    RichEdit1->setContextMenuPolicy(Qt::NoContextMenu);
    // The dialog's face shows through: the text reads as part of the dialog.
    RichEdit1->viewport()->setAutoFillBackground(false);
    RichEdit1->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    Bevel1->setGeometry(24, 87, 465, 2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    chkDoNotShow->setGeometry(24, 101, 300, 17);
    btnCancel->setGeometry(336, 97, 75, 25);
    btnOK->setGeometry(417, 97, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TFmHint::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    SendMessageW(this, WM_UPDATELANGUAGE);
}

bool TFmHint::event(QEvent* e) {
    if (e->type() == QEvent::Type(WM_UPDATELANGUAGE)) {
        WMUpdateLanguage();
        return true;
    }
    return QDialog::event(e);
}

void TFmHint::WMUpdateLanguage() {
    setWindowTitle(FLanguage->FmHintCaption());
    chkDoNotShow->setText(FLanguage->FmHintchkDoNotShow_Caption());
    btnOK->setText(FLanguage->OthersbtnOK_Caption());
    btnCancel->setText(FLanguage->OthersbtnCancel_Caption());
}

void TFmHint::showEvent(QShowEvent* e) {
    if (HintID == kHintAutoHide) {
        RichEdit1->setPlainText(FLanguage->FmHintHideNoteHint());
        btnCancel->hide();
    }
    QDialog::showEvent(e);
}

void TFmHint::btnOKClick() {
    if (chkDoNotShow->isChecked() && HintID == kHintAutoHide) {
        TNoteOptions& o = AppState().NoteOptions;
        o.FGeneralShowHideNoteHint = false;
        if (TFmMain* m = FmMain())
            (void)o.SaveToFile(m->DataFolder() + QStringLiteral("config.ini"));
    }
    accept();
}
