#include "reminders/gui/uFmSelectWeekday.h"

#include "lang/uLanguageObject.h"
#include "platform/uMessages.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TFmSelectWeekday::TFmSelectWeekday(QWidget* parent, const TLanguageObject* language)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(263, 324)),
      FLanguage(language) {
    GroupBox1 = new QGroupBox(this);
    auto* days = new QVBoxLayout(GroupBox1);
    days->setContentsMargins(24, 12, 16, 12);
    for (int i = 0; i < 7; ++i) {
        chkDay[std::size_t(i)] = new QCheckBox(GroupBox1);
        chkDay[std::size_t(i)]->setObjectName(QStringLiteral("chkDay%1").arg(i + 1));
        days->addWidget(chkDay[std::size_t(i)]);
    }
    btnOK = new QPushButton(this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(this);
    for (QPushButton* b : {btnOK, btnCancel})
        b->setMinimumSize(75, 25);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addWidget(GroupBox1, 1);
    main->addLayout(buttons);
    UseLayout(main);
    connect(btnOK, &QPushButton::clicked, this, &TFmSelectWeekday::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    SendMessageW(this, WM_UPDATELANGUAGE);
}

void TFmSelectWeekday::WMUpdateLanguage() {
    const TLanguageObject& l = LanguageOrEmpty(FLanguage);
    setWindowTitle(l.FmSelectWeekdayCaption());
    GroupBox1->setTitle(l.FmSelectWeekdayCaption());
    const QString days[7] = {l.Otherstitle_monday(),   l.Otherstitle_Tuesday(), l.Otherstitle_Wednesday(),
                             l.Otherstitle_Thursday(), l.Otherstitle_Friday(),  l.Otherstitle_Saturday(),
                             l.Otherstitle_Sunday()};
    for (std::size_t i = 0; i < 7; ++i)
        chkDay[i]->setText(days[i]);
    btnOK->setText(l.OthersbtnOK_Caption());
    btnCancel->setText(l.OthersbtnCancel_Caption());
}

void TFmSelectWeekday::showEvent(QShowEvent* e) {
    for (qsizetype i = 0; i < 7; ++i)
        chkDay[std::size_t(i)]->setChecked(i < selectedWeekday.size() &&
                                           selectedWeekday.at(i) == QLatin1Char('1'));
    CenterOnScreen();
    QDialog::showEvent(e);
}

void TFmSelectWeekday::btnOKClick() {
    QString days;
    for (const QCheckBox* c : chkDay)
        days += c->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    selectedWeekday = days;
    accept();
}
