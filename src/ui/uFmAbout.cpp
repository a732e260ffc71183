#include "ui/uFmAbout.h"

#include "data/uFunctions.h"
#include "platform/gui/uLinkLabel.h"
#include "platform/gui/uWindows.h"
#include "sync/uEndpoints.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

TFmAbout::TFmAbout(TServiceEnv env, QWidget* parent)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(325, 222)),
      FEnv(std::move(env)) {
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(9);
    setFont(tahoma);
    setWindowTitle(QStringLiteral("About Zuvo Note"));

    Panel2 = new QFrame(this);
    Panel2->setGeometry(0, 0, 325, 75);
    Panel2->setAutoFillBackground(true);
    QPalette white = Panel2->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel2->setPalette(white);
    Image1 = new QLabel(Panel2);
    Image1->setGeometry(16, 5, 64, 64);
    Image1->setPixmap(QApplication::windowIcon().pixmap(64, 64));
    Label1 = new QLabel(MakerDomain(), Panel2);
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(24);
    arial.setItalic(true);
    Label1->setFont(arial);
    QPalette green = Label1->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    Label1->setPalette(green);
    Label1->move(200, 28);
    Label1->adjustSize();
    // A long host name is moved left rather than cut off.
    if (Label1->geometry().right() > 318)
        Label1->move(std::max(88, 318 - Label1->width()), 28);

    Panel1 = new QFrame(this);
    Panel1->setGeometry(2, 81, 320, 96);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    const QString version = GetAppVersion();
    lblProductName = new QLabel(QStringLiteral("Zuvo Note"), Panel1);
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblProductName->move(16, 16);
    lblVersion = new QLabel(version, Panel1);
    lblVersion->move(88, 16);
    Label3 = new QLabel(QStringLiteral("Home Page:"), Panel1);
    Label3->move(16, 40);
    lblHomePage = new TLinkLabel(Panel1, false);
    lblHomePage->setText(HomePageUrl());
    lblHomePage->move(88, 42);
    Label4 = new QLabel(QStringLiteral("Email:"), Panel1);
    Label4->move(52, 63);
    Label2 = new TLinkLabel(Panel1, false);
    Label2->setText(SupportMailAddress());
    Label2->move(88, 64);
    Label5 = new TLinkLabel(this, false);
    Label5->setText(QStringLiteral("Android版下載"));
    Label5->move(8, 194);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(242, 189, 75, 25);
    OKButton->setDefault(true);
    for (QLabel* l : {static_cast<QLabel*>(lblProductName), static_cast<QLabel*>(lblVersion), Label3,
                      static_cast<QLabel*>(lblHomePage), Label4, static_cast<QLabel*>(Label2),
                      static_cast<QLabel*>(Label5)})
        l->adjustSize();
    // The column of values starts at 88 for the dialog font; a wider substitute
    // font would run the captions into them, so the column moves right instead.
    int column = 88;
    for (const QLabel* caption : {static_cast<QLabel*>(lblProductName), Label3, Label4})
        column = std::max(column, caption->geometry().right() + 5);
    for (QLabel* value :
         {static_cast<QLabel*>(lblVersion), static_cast<QLabel*>(lblHomePage), static_cast<QLabel*>(Label2)})
        value->move(column, value->y());

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
    FEnv.Open(QStringLiteral("mailto:") + SupportMailAddress());
    reject();
}

void TFmAbout::Label5Click() {
    if (FEnv.ShowDownloadPage)
        FEnv.ShowDownloadPage();
}
