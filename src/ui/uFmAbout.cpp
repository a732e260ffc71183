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
    Image1 = new QLabel(Panel2);
    Image1->setFixedSize(64, 64);
    Image1->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    Label1 = new QLabel(MakerDomain(), Panel2);
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(24);
    arial.setItalic(true);
    Label1->setFont(arial);
    QPalette green = Label1->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    Label1->setPalette(green);
    auto* banner = new QHBoxLayout(Panel2);
    banner->setContentsMargins(16, 5, 8, 5);
    banner->addWidget(Image1);
    banner->addStretch(1);
    banner->addWidget(Label1);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    const QString version = GetAppVersion();
    lblProductName = new QLabel(QStringLiteral("Zuvo Note"), Panel1);
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblVersion = new QLabel(version, Panel1);
    Label3 = new QLabel(QStringLiteral("Home Page:"), Panel1);
    lblHomePage = new TLinkLabel(Panel1, false);
    lblHomePage->setText(HomePageUrl());
    Label4 = new QLabel(QStringLiteral("Email:"), Panel1);
    Label2 = new TLinkLabel(Panel1, false);
    // Only an address the server named: a guessed one would reach nobody.
    Label2->setText(SupportMailAddress());
    Label4->setVisible(!Label2->text().isEmpty());
    Label2->setVisible(!Label2->text().isEmpty());
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* facts = new QGridLayout(Panel1);
    facts->setContentsMargins(16, 12, 16, 12);
    facts->addWidget(lblProductName, 0, 0);
    facts->addWidget(lblVersion, 0, 1);
    facts->addWidget(Label3, 1, 0);
    facts->addWidget(lblHomePage, 1, 1);
    facts->addWidget(Label4, 2, 0);
    facts->addWidget(Label2, 2, 1);
    facts->setColumnStretch(1, 1);
    facts->setColumnMinimumWidth(0, 72);

    Label5 = new TLinkLabel(this, false);
    // The About box has no texts of its own in the language files; this one
    // caption is the only one that is not English.
    Label5->setText(InterfaceLanguage::Current().language() == QLocale::Chinese
                        ? QStringLiteral("Android版下載")
                        : QStringLiteral("Android version"));
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setMinimumSize(75, 25);
    OKButton->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(8, 0, 8, 8);
    bottom->addWidget(Label5);
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
    SetTabOrder({OKButton, lblHomePage, Label2, Label5});

    connect(lblHomePage, &TLinkLabel::clicked, this, &TFmAbout::lblHomePageClick);
    connect(Label2, &TLinkLabel::clicked, this, &TFmAbout::Label2Click);
    connect(Label5, &TLinkLabel::clicked, this, &TFmAbout::Label5Click);
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

void TFmAbout::Label2Click() {
    if (Label2->text().isEmpty())
        return;
    FEnv.Open(QStringLiteral("mailto:") + Label2->text());
    reject();
}

void TFmAbout::Label5Click() {
    if (FEnv.ShowDownloadPage)
        FEnv.ShowDownloadPage();
}
