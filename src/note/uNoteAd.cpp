#include "note/uNoteAd.h"

#include "extras/uZuvoAds.h"
#include "platform/uMessages.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QRandomGenerator>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

void SetAdLabelText(QLabel* label, const QString& text) {
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    // A tooltip has no format of its own: text that looks like markup goes
    // escaped inside markup, so it still reads as it was written.
    label->setToolTip(Qt::mightBeRichText(text)
                          ? QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>")
                          : text);
}

std::function<void(const QString& url)> TNoteAd::OpenUrlHook = [](const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
};

TNoteAd::TNoteAd(QWidget* note, std::function<bool()> isPreview) : QObject(note), FNote(note) {
    lblAd = new QLabel(note);
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSize(8);
    f.setUnderline(true);
    lblAd->setFont(f);
    QPalette grey = lblAd->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    lblAd->setPalette(grey);
    lblAd->setCursor(Qt::PointingHandCursor);
    lblAd->setWordWrap(true);
    lblAd->hide();
    lblAd->installEventFilter(this);
    tmrAd = new QTimer(this);
    tmrAd->setInterval(3600000);
    connect(tmrAd, &QTimer::timeout, this, [this, isPreview = std::move(isPreview)] {
        if (!isPreview || !isPreview())
            SendMessageW(FNote, WM_UPDATEAD);
    });
    tmrAd->start();
}

void TNoteAd::WMUpdateAd(bool showAd) {
    if (!showAd)
        return;
    const QList<TAdItem>& ads = AdList();
    if (!ads.isEmpty())
        ADItem = ads.at(QRandomGenerator::global()->bounded(int(ads.size())));
    // An empty list keeps what was shown before.
    if (!ADItem.AdText.isEmpty())
        SetAdLabelText(lblAd, ADItem.AdText);
}

bool TNoteAd::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lblAd && e->type() == QEvent::MouseButtonRelease && IsWebLink(ADItem.AdUrl) && OpenUrlHook)
        OpenUrlHook(ADItem.AdUrl);
    return QObject::eventFilter(watched, e);
}
