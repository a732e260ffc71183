#include "ui/uFmAbout.h"

#include "data/uFileVersion.h"
#include "lang/uInterfaceLanguage.h"
#include "net/uEndpoints.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uWindows.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

TFmAbout::TFmAbout(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(325, 222)),
      FEnv(std::move(env)) {
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(9);
    setFont(tahoma);
    setWindowTitle(QStringLiteral("About Zuvo Note"));

    Panel2 = new QFrame(this);
    Panel2->setMinimumHeight(75);
    Panel2->setAutoFillBackground(true);
    QPalette white = Panel2->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel2->setPalette(white);
    imgAppIcon = new QLabel(Panel2);
    imgAppIcon->setFixedSize(64, 64);
    imgAppIcon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    lblMakerDomain = new QLabel(MakerDomain(), Panel2);
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(24);
    arial.setItalic(true);
    lblMakerDomain->setFont(arial);
    QPalette green = lblMakerDomain->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    lblMakerDomain->setPalette(green);
    auto* banner = new QHBoxLayout(Panel2);
    banner->setContentsMargins(16, 5, 8, 5);
    banner->addWidget(imgAppIcon);
    banner->addStretch(1);
    banner->addWidget(lblMakerDomain);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    const QString version = GetAppVersion();
    lblProductName = new QLabel(QStringLiteral("Zuvo Note"), Panel1);
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblVersion = new QLabel(version, Panel1);
    lblHomePageCaption = new QLabel(QStringLiteral("Home Page:"), Panel1);
    lblHomePage = new TLinkLabel(Panel1, false);
    lblHomePage->setText(HomePageUrl());
    lblMailCaption = new QLabel(QStringLiteral("Email:"), Panel1);
    lblSupportMail = new TLinkLabel(Panel1, false);
    // Only an address the server named: a guessed one would reach nobody.
    lblSupportMail->setText(SupportMailAddress());
    lblMailCaption->setVisible(!lblSupportMail->text().isEmpty());
    lblSupportMail->setVisible(!lblSupportMail->text().isEmpty());
    lblMailCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* facts = new QGridLayout(Panel1);
    facts->setContentsMargins(16, 12, 16, 12);
    facts->addWidget(lblProductName, 0, 0);
    facts->addWidget(lblVersion, 0, 1);
    facts->addWidget(lblHomePageCaption, 1, 0);
    facts->addWidget(lblHomePage, 1, 1);
    facts->addWidget(lblMailCaption, 2, 0);
    facts->addWidget(lblSupportMail, 2, 1);
    facts->setColumnStretch(1, 1);
    facts->setColumnMinimumWidth(0, 72);

    lblMobileVersion = new TLinkLabel(this, false);
    // The About box has no texts of its own in the language files; this one
    // caption is the only one that is not English.
    lblMobileVersion->setText(InterfaceLanguage::Current().language() == QLocale::Chinese
                                  ? QStringLiteral("Android版下載")
                                  : QStringLiteral("Android version"));
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setMinimumSize(75, 25);
    OKButton->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(8, 0, 8, 8);
    bottom->addWidget(lblMobileVersion);
    bottom->addStretch(1);
    bottom->addWidget(OKButton);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(0, 0, 0, 0);
    main->addWidget(Panel2);
    auto* middle = new QVBoxLayout;
    middle->setContentsMargins(2, 6, 2, 6);
    middle->addWidget(Panel1, 1);
    main->addLayout(middle, 1);
    main->addLayout(bottom);
    UseLayout(main);
    SetTabOrder({OKButton, lblHomePage, lblSupportMail, lblMobileVersion});

    connect(lblHomePage, &TLinkLabel::clicked, this, &TFmAbout::lblHomePageClick);
    connect(lblSupportMail, &TLinkLabel::clicked, this, &TFmAbout::lblSupportMailClick);
    connect(lblMobileVersion, &TLinkLabel::clicked, this, &TFmAbout::lblMobileVersionClick);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    SendMessageW(this, WM_UPDATELANGUAGE);
    CenterOnScreen();
}

int TFmAbout::Execute(const TServiceEnv& env, QWidget* owner) {
    TFmAbout dialog(env, owner);
    return ExecModal(dialog);
}

void TFmAbout::lblHomePageClick() {
    FEnv.Open(HomePageUrl() + QStringLiteral("?from=app&version=") + lblVersion->text());
    reject();
}

void TFmAbout::lblSupportMailClick() {
    if (lblSupportMail->text().isEmpty())
        return;
    FEnv.Open(QStringLiteral("mailto:") + lblSupportMail->text());
    reject();
}

void TFmAbout::lblMobileVersionClick() {
    if (FEnv.ShowDownloadPage)
        FEnv.ShowDownloadPage();
}
