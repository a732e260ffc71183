#include "account/gui/uFmLogout.h"

#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uWindows.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

TFmLogout::TFmLogout(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(423, 122)),
      FEnv(std::move(env)) {
    Label1 = new QLabel(this);
    Label1->setGeometry(72, 20, 319, 43);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* icon = new QLabel(this);
    icon->setGeometry(20, 20, 32, 32);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    btnLogout = new QPushButton(this);
    btnLogout->setGeometry(256, 84, 75, 25);
    btnLogout->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setGeometry(336, 84, 75, 25);
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
    Label1->setText(
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
