#include "note/uAudioPlayPanel.h"

#include "lang/uLanguageObject.h"
#include "note/uSharedAudio.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>

namespace {

QPixmap panelBackground() {
    QPixmap pm(66, 26);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0, 60), 1));
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawRoundedRect(QRectF(0.5, 0.5, 65, 25), 5, 5);
    return pm;
}

} // namespace

TAudioPlayPanel::TAudioPlayPanel(QWidget* parent, TNoteContextPtr context)
    : QWidget(parent), FContext(OrEmpty(std::move(context))) {
    setObjectName(QStringLiteral("pnlPlay"));
    setFixedSize(66, 28);
    setCursor(Qt::PointingHandCursor);

    imgPanelBackground = new QLabel(this);
    imgPanelBackground->setGeometry(0, 0, 66, 26);
    imgPanelBackground->setScaledContents(true);
    imgPanelBackground->setPixmap(panelBackground());

    imgAudioCtrl = new QLabel(this);
    imgAudioCtrl->setGeometry(10, 6, 15, 15);
    imgAudioCtrl->setScaledContents(true);
    imgAudioCtrl->setPixmap(AudioPlayPicture());

    lblAudioCtrl = new QLabel(this);
    lblAudioCtrl->move(33, 7);
    lblAudioCtrl->setText(LanguageOf(*FContext).FmNoteaudioPlayCaption());
    lblAudioCtrl->adjustSize();

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(0, 26, 66, 2);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setStyleSheet(QStringLiteral("QProgressBar{border:0;background:rgba(0,0,0,40);}"
                                               "QProgressBar::chunk{background:#2c7bd6;}"));

    // The panel decides what a press means, whichever picture lies under it.
    for (QWidget* w : {static_cast<QWidget*>(imgPanelBackground), static_cast<QWidget*>(imgAudioCtrl),
                       static_cast<QWidget*>(lblAudioCtrl), static_cast<QWidget*>(ProgressBar1)})
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
}

bool TAudioPlayPanel::ShowsStop() const {
    return lblAudioCtrl->text() != LanguageOf(*FContext).FmNoteaudioPlayCaption();
}

void TAudioPlayPanel::Toggle() {
    const TLanguageObject& lang = LanguageOf(*FContext);
    if (!ShowsStop()) {
        ResetOtherAudioControls(*FContext, window());
        lblAudioCtrl->setText(lang.FmNoteaudioStopCaption());
        lblAudioCtrl->adjustSize();
        imgAudioCtrl->setPixmap(AudioStopPicture());
        ProgressBar1->setValue(0);
        // A recording that cannot be played leaves the control showing "Stop"
        // until the user clicks again; nothing is reported.
        (void)StartSharedPlayback(*FContext, AudioFilePath(*FContext, NoteId), ProgressBar1, imgAudioCtrl,
                                  lblAudioCtrl, nullptr);
    } else {
        StopSharedPlayback(*FContext);
        ProgressBar1->setValue(0);
        lblAudioCtrl->setText(lang.FmNoteaudioPlayCaption());
        lblAudioCtrl->adjustSize();
        imgAudioCtrl->setPixmap(AudioPlayPicture());
    }
}

void TAudioPlayPanel::ResetAudioCtrl() {
    lblAudioCtrl->setText(LanguageOf(*FContext).FmNoteaudioPlayCaption());
    lblAudioCtrl->adjustSize();
    imgAudioCtrl->setPixmap(AudioPlayPicture());
    ProgressBar1->setValue(0);
}

void TAudioPlayPanel::UpdateLanguage() {
    lblAudioCtrl->setText(LanguageOf(*FContext).FmNoteaudioPlayCaption());
    lblAudioCtrl->adjustSize();
}

void TAudioPlayPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && imgAudioCtrl->geometry().contains(e->position().toPoint())) {
        // Unhandled: the note window receives it and starts its drag.
        FPressed = false;
        e->ignore();
        return;
    }
    FPressed = e->button() == Qt::LeftButton;
    e->accept();
}

void TAudioPlayPanel::mouseReleaseEvent(QMouseEvent* e) {
    if (!FPressed) {
        e->ignore();
        return;
    }
    FPressed = false;
    e->accept();
    if (rect().contains(e->position().toPoint()))
        Toggle();
}
