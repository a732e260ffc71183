#include "reminders/gui/uFmAlertSetup.h"

#include "data/uNoteRepository.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uAudioPlayer.h"
#include "platform/gui/uWindows.h"
#include "platform/uAnsi.h"
#include "reminders/gui/uFmSelectWeekday.h"
#include "reminders/uAlarmSounds.h"
#include "reminders/uScheduleObject.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kTimeFormat = QStringLiteral("HH:mm:ss");

QIcon previewGlyph(bool playing) {
    QPixmap pm(12, 12);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    if (playing) {
        p.drawRect(2, 2, 8, 8);
    } else {
        const QPointF tri[3] = {{2.5, 1.5}, {10.5, 6}, {2.5, 10.5}};
        p.drawPolygon(tri, 3);
    }
    return QIcon(pm);
}

QTimeEdit* makeTimeEdit(QWidget* parent, const QString& format) {
    auto* e = new QTimeEdit(parent);
    e->setDisplayFormat(format);
    e->setMinimumWidth(80);
    e->setTime(QTime(0, 0));
    return e;
}

QRadioButton* makeRadio(QWidget* parent) {
    auto* r = new QRadioButton(parent);
    r->setMinimumWidth(86);
    return r;
}

} // namespace

TFmAlertSetup::TFmAlertSetup(QWidget* parent, TNoteContextPtr context)
    : TFixedDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, QSize(342, 327)),
      tmrPlay(new QTimer(this)), FContext(OrEmpty(std::move(context))), FKinds(new QButtonGroup(this)),
      FPlayer(new TAudioPlayer(this)) {

    grpAlertSetup = new QGroupBox(this);
    QWidget* g = grpAlertSetup;
    const QDate today = QDate::currentDate();

    rbNoAlert = makeRadio(g);
    rbNoAlert->setChecked(true);
    rbFixedTime = makeRadio(g);
    dtpFixedDate = new QDateEdit(today, g);
    dtpFixedDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dtpFixedDate->setCalendarPopup(true);
    dtpFixedDate->setMinimumWidth(93);
    dtpFixedTime = makeTimeEdit(g, kTimeFormat);
    rbEveryHour = makeRadio(g);
    dtpEveryHour = makeTimeEdit(g, QStringLiteral("mm:ss"));
    rbEveryDay = makeRadio(g);
    dtpEveryDay = makeTimeEdit(g, kTimeFormat);
    rbEveryWeekByday = makeRadio(g);
    btnSelectWeekday = new QPushButton(g);
    btnSelectWeekday->setMinimumWidth(91);
    dtpEveryWeekByday = makeTimeEdit(g, kTimeFormat);
    rbEveryMonth = makeRadio(g);
    cboEveryMonth = new QComboBox(g);
    cboEveryMonth->setMinimumWidth(91);
    cboEveryMonth->setMaxVisibleItems(20);
    for (int d = 1; d <= 31; ++d)
        cboEveryMonth->addItem(QString::number(d));
    cboEveryMonth->setCurrentIndex(-1);
    dtpEveryMonth = makeTimeEdit(g, kTimeFormat);
    // One row per kind: the choice, then what it needs, in reading order.
    auto* kinds = new QGridLayout(g);
    kinds->setContentsMargins(16, 12, 16, 12);
    kinds->setVerticalSpacing(8);
    kinds->addWidget(rbNoAlert, 0, 0, 1, 3);
    kinds->addWidget(rbFixedTime, 1, 0);
    kinds->addWidget(dtpFixedDate, 1, 1);
    kinds->addWidget(dtpFixedTime, 1, 2);
    kinds->addWidget(rbEveryHour, 2, 0);
    kinds->addWidget(dtpEveryHour, 2, 1);
    kinds->addWidget(rbEveryDay, 3, 0);
    kinds->addWidget(dtpEveryDay, 3, 1);
    kinds->addWidget(rbEveryWeekByday, 4, 0);
    kinds->addWidget(btnSelectWeekday, 4, 1);
    kinds->addWidget(dtpEveryWeekByday, 4, 2);
    kinds->addWidget(rbEveryMonth, 5, 0);
    kinds->addWidget(cboEveryMonth, 5, 1);
    kinds->addWidget(dtpEveryMonth, 5, 2);
    kinds->setColumnStretch(3, 1);

    // The single weekday kind of older rows: kept for them, never shown.
    rbEveryWeek = makeRadio(g);
    rbEveryWeek->hide();
    cboEveryWeek = new QComboBox(g);
    cboEveryWeek->hide();
    for (const char* day : {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"})
        cboEveryWeek->addItem(QString::fromLatin1(day));
    cboEveryWeek->setCurrentIndex(-1);
    dtpEveryWeek = makeTimeEdit(g, kTimeFormat);
    dtpEveryWeek->hide();

    int id = 0;
    for (QRadioButton* r :
         {rbNoAlert, rbFixedTime, rbEveryHour, rbEveryDay, rbEveryWeek, rbEveryMonth, rbEveryWeekByday}) {
        FKinds->addButton(r, id++);
        connect(r, &QRadioButton::toggled, this, &TFmAlertSetup::UpdateEnabling);
    }

    grpSound = new QGroupBox(this);
    chkSound = new QCheckBox(grpSound);
    cbbSound = new QComboBox(grpSound);
    cbbSound->setMinimumWidth(174);
    cbbSoundName = new QComboBox(grpSound);
    cbbSoundName->hide();
    cbbSoundName->addItems(AlarmSoundNames());
    cbbSoundName->setCurrentIndex(-1);
    btnPlay = new QPushButton(grpSound);
    btnPlay->setFixedSize(26, 21);
    btnPlay->setIcon(previewGlyph(false));
    auto* sound = new QGridLayout(grpSound);
    sound->setContentsMargins(16, 8, 16, 8);
    sound->addWidget(chkSound, 0, 0, 1, 3);
    sound->addWidget(cbbSound, 1, 0);
    sound->addWidget(btnPlay, 1, 1);
    sound->setColumnStretch(2, 1);
    connect(chkSound, &QCheckBox::toggled, this, [this](bool on) {
        cbbSound->setEnabled(on);
        btnPlay->setEnabled(on);
    });
    connect(cbbSound, &QComboBox::currentIndexChanged, cbbSoundName, &QComboBox::setCurrentIndex);
    cbbSound->setEnabled(false);
    btnPlay->setEnabled(false);

    btnSave = new QPushButton(this);
    btnSave->setDefault(true);
    btnCancel = new QPushButton(this);
    for (QPushButton* b : {btnSave, btnCancel})
        b->setMinimumSize(75, 25);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addWidget(grpAlertSetup);
    main->addWidget(grpSound);
    main->addStretch(1);
    main->addLayout(buttons);
    UseLayout(main);

    tmrPlay->setInterval(1000);
    connect(tmrPlay, &QTimer::timeout, this, &TFmAlertSetup::tmrPlayTimer);
    connect(btnSave, &QPushButton::clicked, this, &TFmAlertSetup::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnPlay, &QPushButton::clicked, this, &TFmAlertSetup::btnPlayClick);
    connect(btnSelectWeekday, &QPushButton::clicked, this, &TFmAlertSetup::btnSelectWeekdayClick);

    UpdateEnabling();
    SendMessageW(this, WM_UPDATELANGUAGE);
}

TFmAlertSetup::~TFmAlertSetup() = default;

int TFmAlertSetup::Execute(QWidget* owner, const QString& noteId, TScheduleObject* schedule,
                           TNoteContextPtr context) {
    TFmAlertSetup dialog(owner, std::move(context));
    dialog.NoteId = noteId;
    dialog.schObject = schedule;
    return ExecModal(dialog);
}

void TFmAlertSetup::WMUpdateLanguage() {
    const TLanguageObject& l = LanguageOf(*FContext);
    setWindowTitle(l.FmAlertSetupCaption());
    grpAlertSetup->setTitle(l.FmAlertSetupgrpAlertSetup_caption());
    rbNoAlert->setText(l.FmAlertSetuprbNoAlert_Caption());
    rbFixedTime->setText(l.FmAlertSetuprbFixedTime_Caption());
    rbEveryHour->setText(l.FmAlertSetuprbEveryHour_Caption());
    rbEveryDay->setText(l.FmAlertSetuprbEveryDay_Caption());
    rbEveryMonth->setText(l.FmAlertSetuprbEveryMonth_Caption());
    rbEveryWeek->setText(l.FmAlertSetuprbEveryWeek_Caption());
    rbEveryWeekByday->setText(l.FmAlertSetuprbEveryWeek_Caption());
    chkSound->setText(l.FmAlertSetupchkSound_Caption());
    btnSelectWeekday->setText(l.FmAlertSetupbtnSelectWeekday_Caption());
    btnSave->setText(l.OthersbtnSave_Caption());
    btnCancel->setText(l.OthersbtnCancel_Caption());
    cbbSound->clear();
    cbbSound->addItems(AlarmSoundDisplayNames(GetSystemDefaultLangID()));
    cbbSound->setCurrentIndex(-1);
}

void TFmAlertSetup::UpdateEnabling() {
    for (QWidget* w : std::initializer_list<QWidget*>{dtpFixedDate, dtpFixedTime, dtpEveryHour, dtpEveryDay,
                                                      dtpEveryWeekByday, dtpEveryMonth, dtpEveryWeek,
                                                      cboEveryMonth, cboEveryWeek, btnSelectWeekday})
        w->setEnabled(false);
    if (rbFixedTime->isChecked()) {
        dtpFixedDate->setEnabled(true);
        dtpFixedTime->setEnabled(true);
    } else if (rbEveryHour->isChecked()) {
        dtpEveryHour->setEnabled(true);
    } else if (rbEveryDay->isChecked()) {
        dtpEveryDay->setEnabled(true);
    } else if (rbEveryWeekByday->isChecked()) {
        btnSelectWeekday->setEnabled(true);
        dtpEveryWeekByday->setEnabled(true);
    } else if (rbEveryMonth->isChecked()) {
        cboEveryMonth->setEnabled(true);
        dtpEveryMonth->setEnabled(true);
    } else if (rbEveryWeek->isChecked()) {
        cboEveryWeek->setEnabled(true);
        dtpEveryWeek->setEnabled(true);
    }
}

void TFmAlertSetup::showEvent(QShowEvent* e) {
    if (!FLoaded)
        LoadReminder();
    CenterOnScreen();
    QDialog::showEvent(e);
}

void TFmAlertSetup::SelectSound(const QString& name) {
    if (name.isEmpty()) {
        chkSound->setChecked(false);
        cbbSound->setEnabled(false);
        btnPlay->setEnabled(false);
        return;
    }
    chkSound->setChecked(true);
    const int index = cbbSoundName->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    cbbSound->setCurrentIndex(index);
    cbbSoundName->setCurrentIndex(index);
}

void TFmAlertSetup::LoadReminder() {
    FLoaded = true;
    NoteRepository* notes = NotesOf(*FContext);
    if (!notes)
        return;
    const std::optional<NoteRecord> row = notes->Find(NoteId);
    if (!row)
        return;
    const int kind = row->Note.AlertType;
    const QString& v1 = row->Note.AlertValue1;
    const QString& v2 = row->Note.AlertValue2;
    const QString& v3 = row->Note.AlertValue3;
    if (QAbstractButton* r = FKinds->button(kind))
        r->setChecked(true);
    QString sound;
    switch (kind) {
    case stFixedTime: {
        const QDateTime t = ParseFixedDateTime(v1);
        dtpFixedDate->setDate(t.date());
        dtpFixedTime->setTime(t.time());
        sound = v2;
        break;
    }
    case stEveryHour:
        dtpEveryHour->setTime(ParseRegionalTime(QStringLiteral("%1:").arg(QTime::currentTime().hour()) + v1));
        sound = v2;
        break;
    case stEveryDay:
        dtpEveryDay->setTime(ParseFixedDateTime(v1).time());
        sound = v2;
        break;
    case stEveryWeek:
        cboEveryWeek->setCurrentIndex(cboEveryWeek->findText(v1, Qt::MatchExactly | Qt::MatchCaseSensitive));
        dtpEveryWeek->setTime(ParseFixedDateTime(v2).time());
        sound = v3;
        break;
    case stEveryMonth:
        cboEveryMonth->setCurrentIndex(cboEveryMonth->findText(v1, Qt::MatchExactly));
        dtpEveryMonth->setTime(ParseFixedDateTime(v2).time());
        sound = v3;
        break;
    case stEveryWeekByDay:
        strEveryWeekByDay = v1;
        dtpEveryWeekByday->setTime(ParseFixedDateTime(v2).time());
        sound = v3;
        break;
    default:
        break;
    }
    SelectSound(sound);
}

void TFmAlertSetup::btnSaveClick() {
    const TLanguageObject& l = LanguageOf(*FContext);
    if (rbEveryWeek->isChecked() && cboEveryWeek->currentIndex() < 0) {
        MessageBoxW(this, l.FmAlertSetupalertSelWeekday(), l.Otherstitle_dlghint(), MB_ICONWARNING);
        return;
    }
    if (rbEveryMonth->isChecked() && cboEveryMonth->currentIndex() < 0) {
        MessageBoxW(this, l.FmAlertSetupalertSelMonthday(), l.Otherstitle_dlghint(), MB_ICONWARNING);
        return;
    }
    const QString sound = chkSound->isChecked() ? cbbSoundName->currentText() : QString();

    int kind = FKinds->checkedId();
    if (kind < 0)
        kind = stNone;
    QString v1, v2, v3;
    switch (kind) {
    case stFixedTime:
        v1 = QDateTime(dtpFixedDate->date(), dtpFixedTime->time())
                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        v2 = sound;
        break;
    case stEveryHour: {
        const QTime t = dtpEveryHour->time();
        v1 = QStringLiteral("%1:%2")
                 .arg(t.minute(), 2, 10, QLatin1Char('0'))
                 .arg(t.second(), 2, 10, QLatin1Char('0'));
        v2 = sound;
        break;
    }
    case stEveryDay:
        v1 = dtpEveryDay->time().toString(kTimeFormat);
        v2 = sound;
        break;
    case stEveryWeek:
        v1 = cboEveryWeek->currentText();
        v2 = dtpEveryWeek->time().toString(kTimeFormat);
        v3 = sound;
        break;
    case stEveryMonth:
        v1 = cboEveryMonth->currentText();
        v2 = dtpEveryMonth->time().toString(kTimeFormat);
        v3 = sound;
        break;
    case stEveryWeekByDay:
        v1 = strEveryWeekByDay.isEmpty() ? QStringLiteral("0000000") : strEveryWeekByDay;
        v2 = dtpEveryWeekByday->time().toString(kTimeFormat);
        v3 = sound;
        break;
    default:
        break;
    }

    // Not saved: the dialog stays open, the note keeps its reminder.
    if (NoteRepository* notes = NotesOf(*FContext); notes && !notes->SetReminder(NoteId, kind, v1, v2, v3))
        return;
    if (schObject) {
        schObject->SetScheduleType(static_cast<TScheduleType>(kind));
        if (kind != stNone)
            schObject->SetSchValues(v1, v2, v3);
    }
    accept();
}

void TFmAlertSetup::btnSelectWeekdayClick() {
    TFmSelectWeekday picker(this, &LanguageOf(*FContext));
    picker.selectedWeekday = strEveryWeekByDay;
    ExecModal(picker);
    strEveryWeekByDay = picker.selectedWeekday;
}

void TFmAlertSetup::btnPlayClick() {
    if (SoundStatus == 0) {
        const QString path = AlarmSoundPath(ProgramFolderOf(*FContext), cbbSoundName->currentText());
        if (cbbSoundName->currentIndex() < 0 || !QFileInfo::exists(path))
            return;
        FPlayer->TryOpen(path);
        tmrPlay->start();
        cbbSound->setEnabled(false);
        SoundStatus = 1;
        btnPlay->setIcon(previewGlyph(true));
    } else {
        FPlayer->Stop();
        EndPreview();
    }
}

void TFmAlertSetup::EndPreview() {
    tmrPlay->stop();
    cbbSound->setEnabled(true);
    SoundStatus = 0;
    btnPlay->setIcon(previewGlyph(false));
}

void TFmAlertSetup::tmrPlayTimer() {
    if (FPlayer->PositionMs() >= FPlayer->LengthMs())
        EndPreview();
}
