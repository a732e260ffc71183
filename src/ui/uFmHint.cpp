#include "ui/uFmHint.h"

#include "data/uAppState.h"
#include "lang/uLanguageObject.h"
#include "platform/uMessages.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>
#include <utility>

namespace {

constexpr int kHintAutoHide = 1;

} // namespace

TFmHint::TFmHint(QWidget* owner, const TLanguageObject* language, QString dataFolder)
    : TFixedDialog(owner,
                   Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint,
                   QSize(507, 130)),
      RichEdit1(new QTextEdit(this)), bvlSeparator(new QFrame(this)), chkDoNotShow(new QCheckBox(this)),
      btnCancel(new QPushButton(this)), btnOK(new QPushButton(this)), FLanguage(language),
      FDataFolder(std::move(dataFolder)) {
    RichEdit1->setMinimumSize(457, 57);
    RichEdit1->setReadOnly(true);
    RichEdit1->setFrameShape(QFrame::NoFrame);
    RichEdit1->setContextMenuPolicy(Qt::NoContextMenu);
    // The dialog's face shows through: the text reads as part of the dialog.
    RichEdit1->viewport()->setAutoFillBackground(false);
    RichEdit1->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    // Read, not typed in: Tab goes on to the controls.
    RichEdit1->setTabChangesFocus(true);
    bvlSeparator->setFrameShape(QFrame::HLine);
    bvlSeparator->setFrameShadow(QFrame::Sunken);
    bvlSeparator->setFixedHeight(2);
    btnOK->setDefault(true);
    for (QPushButton* b : {btnCancel, btnOK})
        b->setMinimumSize(75, 25);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(chkDoNotShow, 1);
    bottom->addWidget(btnCancel);
    bottom->addWidget(btnOK);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(24, 16, 16, 8);
    main->addWidget(RichEdit1, 1);
    main->addWidget(bvlSeparator);
    main->addLayout(bottom);
    UseLayout(main);
    SetTabOrder({chkDoNotShow, btnOK, btnCancel, RichEdit1});
    connect(btnOK, &QPushButton::clicked, this, &TFmHint::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    CenterOnScreen();
    SendMessageW(this, WM_UPDATELANGUAGE);
}

void TFmHint::WMUpdateLanguage() {
    const TLanguageObject& l = Language();
    setWindowTitle(l.FmHintCaption());
    chkDoNotShow->setText(l.FmHintchkDoNotShow_Caption());
    btnOK->setText(l.OthersbtnOK_Caption());
    btnCancel->setText(l.OthersbtnCancel_Caption());
}

void TFmHint::showEvent(QShowEvent* e) {
    if (HintID == kHintAutoHide) {
        RichEdit1->setPlainText(Language().FmHintHideNoteHint());
        btnCancel->hide();
    }
    QDialog::showEvent(e);
}

const TLanguageObject& TFmHint::Language() const {
    static const TLanguageObject empty;
    return FLanguage ? *FLanguage : empty;
}

void TFmHint::btnOKClick() {
    if (chkDoNotShow->isChecked() && HintID == kHintAutoHide) {
        TNoteOptions& o = AppState().NoteOptions;
        o.FGeneralShowHideNoteHint = false;
        if (!FDataFolder.isEmpty())
            (void)o.SaveToFile(FDataFolder + QStringLiteral("config.ini"));
    }
    accept();
}
