#include "account/gui/uFmLogout.h"

#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uWindows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TFmLogout::TFmLogout(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(423, 122)),
      FEnv(std::move(env)) {
    lblQuestion = new QLabel(this);
    lblQuestion->setWordWrap(true);
    lblQuestion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblQuestion->setMinimumWidth(319);
    auto* icon = new QLabel(this);
    icon->setFixedSize(32, 32);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    btnLogout = new QPushButton(this);
    btnLogout->setDefault(true);
    btnCancel = new QPushButton(this);
    auto* question = new QHBoxLayout;
    question->setSpacing(20);
    question->addWidget(icon, 0, Qt::AlignTop);
    question->addWidget(lblQuestion, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {btnLogout, btnCancel}) {
        b->setMinimumSize(75, 25);
        buttons->addWidget(b);
    }
    auto* main = new QVBoxLayout;
    main->setContentsMargins(20, 20, 12, 12);
    main->addLayout(question, 1);
    main->addLayout(buttons);
    UseLayout(main);
    connect(btnLogout, &QPushButton::clicked, this, &TFmLogout::btnLogoutClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

int TFmLogout::Execute(const TServiceEnv& env, QWidget* owner) {
    TFmLogout dialog(env, owner);
    return ExecModal(dialog);
}

void TFmLogout::WMUpdateLanguage() {
    const TLanguageObject& l = *FEnv.Language;
    setWindowTitle(l.FmLogoutCaption());
    lblQuestion->setText(
        QString(l.FmLogoutgrpLogout_Caption()).replace(QStringLiteral("%s"), FEnv.Options->FconfigUserName));
    btnLogout->setText(l.FmLogoutbtnLogout_Caption());
    btnCancel->setText(l.OthersbtnCancel_Caption());
}

void TFmLogout::btnLogoutClick() {
    if (FEnv.SigningOut)
        FEnv.SigningOut();
    TNoteOptions& o = *FEnv.Options;
    {
        const std::unique_lock lock = FEnv.LockAccount();
        o.FconfigUserID.clear();
        o.FconfigUserName.clear();
        o.FconfigUserPass.clear();
    }
    if (FEnv.SignedOut)
        FEnv.SignedOut();
    // A file that cannot be written leaves the keys cleared in memory only, and
    // the account would be back at the next start: the user must know.
    const bool saved = FEnv.ConfigFile.isEmpty() || o.SaveToFile(FEnv.ConfigFile);
    const TLanguageObject& l = *FEnv.Language;
    if (saved)
        MessageBoxW(this, l.FmLogoutalertLogoutSucc(), l.Otherstitle_dlginformation(), MB_ICONINFORMATION);
    else
        MessageBoxW(this, l.FmLogoutalertLogoutNotSaved(), l.Otherstitle_dlgerror(), MB_ICONWARNING);
    done(IDYES);
}
