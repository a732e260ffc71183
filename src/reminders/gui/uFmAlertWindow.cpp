#include "reminders/gui/uFmAlertWindow.h"

#include "data/uAppState.h"
#include "extras/uZuvoAds.h"
#include "lang/uInterfaceLanguage.h"
#include "lang/uLanguageObject.h"
#include "note/uNoteAd.h"
#include "note/uSharedAudio.h"
#include "platform/gui/uAudioPlayer.h"
#include "platform/gui/uWindows.h"
#include "reminders/gui/uFmAlertSetup.h"
#include "reminders/uAlarmSounds.h"
#include "reminders/uScheduleObject.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kIconRest = 16;
constexpr int kIconShaken = 19;
constexpr int kMovesPerBurst = 17;

QPixmap alarmIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // A bell: dome, rim and clapper.
    p.setPen(QPen(QColor(0x8a, 0x5a, 0x00), 1.5));
    p.setBrush(QColor(0xf5, 0xb8, 0x1b));
    QPainterPath bell;
    bell.moveTo(6, 24);
    bell.cubicTo(9, 20, 8, 8, 16, 6);
    bell.cubicTo(24, 8, 23, 20, 26, 24);
    bell.closeSubpath();
    p.drawPath(bell);
    p.drawRoundedRect(QRectF(4.5, 23.5, 23, 3), 1.5, 1.5);
    p.drawEllipse(QRectF(13.5, 26, 5, 5));
    p.drawEllipse(QRectF(14.5, 3, 3, 3));
    return pm;
}

QFrame* sunkenLine(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    f->setLineWidth(1);
    f->setFixedHeight(2);
    return f;
}

} // namespace

std::function<QList<TAdItem>()> TFmAlertWindow::AdListProvider = [] { return QList<TAdItem>(); };
std::function<void(const QString& url)> TFmAlertWindow::OpenUrlHook = [](const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
};

TFmAlertWindow::TFmAlertWindow(QWidget* owner, TNoteContextPtr context)
    : TFixedDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(470, 180)),
      tmrShake1(new QTimer(this)), tmrShake2(new QTimer(this)), tmrAlarmSoundTrack(new QTimer(this)),
      tmrPlayerYanshi(new QTimer(this)), FContext(OrEmpty(std::move(context))),
      FPlayer(new TAudioPlayer(this)) {
    setAttribute(Qt::WA_DeleteOnClose);

    // The icon shakes inside a column of its own, which the layout never moves.
    auto* iconColumn = new QWidget(this);
    iconColumn->setFixedSize(64, 100);
    imgAlarm = new QLabel(iconColumn);
    imgAlarm->setGeometry(kIconRest, 0, 32, 32);
    imgAlarm->setPixmap(alarmIcon());
    btnPlay = new QPushButton(iconColumn);
    btnPlay->setGeometry(8, 57, 50, 25);
    btnPlay->hide();

    lblAlertTime = new QLabel(this);
    QFont bold = font();
    bold.setBold(true);
    lblAlertTime->setFont(bold);
    lblAlertTime->setStyleSheet(QStringLiteral("color: rgb(0,128,0);"));

    Panel2 = sunkenLine(this);
    mmoAlertText = new QPlainTextEdit(this);
    mmoAlertText->setMinimumSize(380, 93);
    mmoAlertText->setReadOnly(true);
    mmoAlertText->setFrameShape(QFrame::NoFrame);
    mmoAlertText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = mmoAlertText->palette();
    pal.setColor(QPalette::Base, palette().color(QPalette::Window));
    pal.setColor(QPalette::Text, QColor(128, 128, 128));
    mmoAlertText->setPalette(pal);
    Panel1 = sunkenLine(this);

    lblAd = new QLabel(this);
    // A long line of the server's is cut, not made the window's width; the tip shows it whole.
    lblAd->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblAd->setStyleSheet(QStringLiteral("color: rgb(128,128,128);"));
    lblAd->setCursor(Qt::PointingHandCursor);
    lblAd->installEventFilter(this);

    btnSetupAlert = new QPushButton(this);
    btnSetupAlert->setMinimumSize(75, 25);
    btnClose = new QPushButton(this);
    btnClose->setMinimumSize(60, 25);
    btnClose->setDefault(true);

    auto* text = new QVBoxLayout;
    text->addWidget(lblAlertTime);
    text->addWidget(Panel2);
    text->addWidget(mmoAlertText, 1);
    text->addWidget(Panel1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblAd, 1);
    bottom->addWidget(btnSetupAlert);
    bottom->addWidget(btnClose);
    text->addLayout(bottom);
    auto* main = new QHBoxLayout;
    main->setContentsMargins(0, 15, 18, 8);
    main->addWidget(iconColumn, 0, Qt::AlignTop);
    main->addLayout(text, 1);
    UseLayout(main);
    SetTabOrder({btnClose, btnSetupAlert, mmoAlertText});
    connect(btnClose, &QPushButton::clicked, this, &TFmAlertWindow::btnCloseClick);
    connect(btnSetupAlert, &QPushButton::clicked, this, &TFmAlertWindow::btnSetupAlertClick);
    connect(btnPlay, &QPushButton::clicked, this, &TFmAlertWindow::btnPlayClick);

    tmrShake1->setInterval(5000);
    tmrShake2->setInterval(100);
    tmrAlarmSoundTrack->setInterval(1000);
    tmrPlayerYanshi->setInterval(2000);
    connect(tmrShake1, &QTimer::timeout, this, &TFmAlertWindow::tmrShake1Timer);
    connect(tmrShake2, &QTimer::timeout, this, &TFmAlertWindow::tmrShake2Timer);
    connect(tmrAlarmSoundTrack, &QTimer::timeout, this, &TFmAlertWindow::tmrAlarmSoundTrackTimer);
    connect(tmrPlayerYanshi, &QTimer::timeout, this, &TFmAlertWindow::tmrPlayerYanshiTimer);
    tmrShake1->start();
    tmrShake2->start();

    const QList<TAdItem> ads = AdListProvider ? AdListProvider() : QList<TAdItem>();
    if (!ads.isEmpty())
        ADItem = ads.at(QRandomGenerator::global()->bounded(int(ads.size())));
    if (!ADItem.AdText.isEmpty()) {
        SetAdLabelText(lblAd, ADItem.AdText);
    } else {
        lblAd->clear();
        lblAd->hide();
    }
    SendMessageW(this, WM_UPDATELANGUAGE);
}

TFmAlertWindow::~TFmAlertWindow() {
    // Also when the note window takes this window with it.
    if (!NoteID.isEmpty())
        AppState().OpenAlarmList.removeAll(NoteID);
}

bool TFmAlertWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lblAd && e->type() == QEvent::MouseButtonRelease && IsWebLink(ADItem.AdUrl) && OpenUrlHook)
        OpenUrlHook(ADItem.AdUrl);
    return TFixedDialog::eventFilter(watched, e);
}

void TFmAlertWindow::WMUpdateLanguage() {
    const TLanguageObject& l = LanguageOf(*FContext);
    setWindowTitle(l.FmAlertWindowCaption());
    btnClose->setText(l.FmAlertWindowbtnClose_Caption());
    btnSetupAlert->setText(l.FmAlertWindowbtnSetupAlert_Caption());
    btnPlay->setText(l.FmNoteaudioPlayCaption());
}

void TFmAlertWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (FShown)
        return;
    FShown = true;
    CenterOnScreen();
    ShakeTimes = 0;
    if (NoteType == 1)
        btnPlay->show();
    const QString sound = SchObject ? SchObject->SoundName() : QString();
    const QString path = AlarmSoundPath(ProgramFolderOf(*FContext), sound);
    if (!sound.isEmpty() && QFileInfo::exists(path)) {
        // A sound that cannot be played leaves a silent alarm.
        (void)FPlayer->TryOpen(path);
        tmrAlarmSoundTrack->start();
    }
}

void TFmAlertWindow::tmrAlarmSoundTrackTimer() {
    if (FPlayer->State() == TAudioPlayer::psEnded && FPlayer->PositionMs() >= FPlayer->LengthMs() &&
        !tmrPlayerYanshi->isActive())
        tmrPlayerYanshi->start();
}

void TFmAlertWindow::tmrPlayerYanshiTimer() {
    tmrPlayerYanshi->stop();
    if (!FPlayer->FileName().isEmpty())
        (void)FPlayer->Play();
}

void TFmAlertWindow::tmrShake1Timer() {
    ShakeTimes = 0;
    tmrShake2->start();
}

void TFmAlertWindow::tmrShake2Timer() {
    if (ShakeTimes < kMovesPerBurst) {
        imgAlarm->move(imgAlarm->x() == kIconRest ? kIconShaken : kIconRest, imgAlarm->y());
        ++ShakeTimes;
    } else {
        tmrShake2->stop();
    }
}

void TFmAlertWindow::StopSound() {
    tmrAlarmSoundTrack->stop();
    tmrPlayerYanshi->stop();
    FPlayer->Stop();
}

void TFmAlertWindow::btnCloseClick() {
    StopSound();
    close();
}

void TFmAlertWindow::reject() {
    close();
}

void TFmAlertWindow::closeEvent(QCloseEvent* e) {
    StopSound();
    AppState().OpenAlarmList.removeAll(NoteID);
    e->accept();
}

void TFmAlertWindow::btnSetupAlertClick() {
    StopSound();
    (void)TFmAlertSetup::Execute(this, NoteID, SchObject, FContext);
    // Whatever the dialog's result.
    close();
}

void TFmAlertWindow::btnPlayClick() {
    const TLanguageObject& l = LanguageOf(*FContext);
    if (btnPlay->text() == l.FmNoteaudioPlayCaption()) {
        ResetOtherAudioControls(*FContext, nullptr);
        (void)StartSharedPlayback(*FContext, AudioFilePath(*FContext, NoteID), nullptr, nullptr, nullptr,
                                  btnPlay);
        btnPlay->setText(l.FmNoteaudioStopCaption());
    } else {
        StopSharedPlayback(*FContext);
        btnPlay->setText(l.FmNoteaudioPlayCaption());
    }
}

QString AlarmTimeCaption(const QDateTime& when) {
    // In the interface's language, whatever the desktop's regional formats say.
    const QLocale locale = InterfaceLanguage::Current();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), QLocale::LongFormat);
}

TFmAlertWindow* OpenAlarmWindow(QWidget* owner, const TAlarmRequest& request) {
    QStringList& open = AppState().OpenAlarmList;
    if (open.contains(request.NoteId))
        return nullptr;
    open.append(request.NoteId);
    auto* w = new TFmAlertWindow(owner, request.Context);
    w->NoteType = request.NoteType;
    w->lblAlertTime->setText(AlarmTimeCaption(request.FiredAt));
    w->NoteID = request.NoteId;
    w->mmoAlertText->setPlainText(request.Text);
    w->SchObject = request.SchObject;
    w->show();
    return w;
}
