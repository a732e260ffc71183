#include "reminders/gui/uFmAlertWindow.h"

#include "data/uAppState.h"
#include "extras/uZuvoAds.h"
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
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

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

QFrame* sunkenLine(QWidget* parent, const QRect& r) {
    auto* f = new QFrame(parent);
    f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    f->setLineWidth(1);
    f->setGeometry(r);
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

    Image1 = new QLabel(this);
    Image1->setGeometry(kIconRest, 15, 32, 32);
    Image1->setPixmap(alarmIcon());

    lblAlertTime = new QLabel(this);
    lblAlertTime->setGeometry(72, 16, 380, 16);
    QFont bold = font();
    bold.setBold(true);
    lblAlertTime->setFont(bold);
    lblAlertTime->setStyleSheet(QStringLiteral("color: rgb(0,128,0);"));

    Panel2 = sunkenLine(this, QRect(72, 35, 385, 1));
    mmoAlertText = new QPlainTextEdit(this);
    mmoAlertText->setGeometry(72, 40, 380, 93);
    mmoAlertText->setReadOnly(true);
    mmoAlertText->setFrameShape(QFrame::NoFrame);
    mmoAlertText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = mmoAlertText->palette();
    pal.setColor(QPalette::Base, palette().color(QPalette::Window));
    pal.setColor(QPalette::Text, QColor(128, 128, 128));
    mmoAlertText->setPalette(pal);
    Panel1 = sunkenLine(this, QRect(70, 139, 382, 2));

    lblAd = new QLabel(this);
    lblAd->setGeometry(72, 152, 233, 16);
    lblAd->setStyleSheet(QStringLiteral("color: rgb(128,128,128);"));
    lblAd->setCursor(Qt::PointingHandCursor);
    lblAd->installEventFilter(this);

    btnSetupAlert = new QPushButton(this);
    btnSetupAlert->setGeometry(311, 147, 75, 25);
    btnClose = new QPushButton(this);
    btnClose->setGeometry(392, 147, 60, 25);
    btnClose->setDefault(true);
    btnPlay = new QPushButton(this);
    btnPlay->setGeometry(8, 72, 50, 25);
    btnPlay->hide();
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
        Image1->move(Image1->x() == kIconRest ? kIconShaken : kIconRest, Image1->y());
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
    const QLocale locale = QLocale::system();
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
