#include "note/uNoteWidgets.h"

#include <QPainter>
#include <QTextCharFormat>

TLinkHighlighter::TLinkHighlighter(QTextDocument* doc) : QSyntaxHighlighter(doc) {}

const QRegularExpression& TLinkHighlighter::LinkPattern() {
    static const QRegularExpression re(
        QStringLiteral(R"((?:(?:https?|ftp)://|www\.)[^\s<>"'()\[\]{}]+[^\s<>"'()\[\]{}.,;:!?])"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

QString TLinkHighlighter::LinkAt(const QString& paragraph, int column) {
    auto it = LinkPattern().globalMatch(paragraph);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (column >= m.capturedStart() && column < m.capturedEnd()) {
            QString url = m.captured();
            if (url.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
                url.prepend(QLatin1String("http://"));
            return url;
        }
    }
    return {};
}

void TLinkHighlighter::highlightBlock(const QString& text) {
    if (!text.contains(QLatin1String("://")) && !text.contains(QLatin1String("www."), Qt::CaseInsensitive))
        return; // most paragraphs hold no address
    QTextCharFormat f;
    f.setForeground(QColor(0, 0, 238));
    f.setFontUnderline(true);
    auto it = LinkPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        setFormat(int(m.capturedStart()), int(m.capturedLength()), f);
    }
}

TUpdatingSpinner::TUpdatingSpinner(QWidget* parent) : QWidget(parent) {
    resize(16, 16);
    FTimer.setInterval(100);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        FStep = (FStep + 1) % 12;
        update();
    });
}

void TUpdatingSpinner::SetBackground(const QColor& c) {
    FBackground = c;
    update();
}

void TUpdatingSpinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (FBackground.isValid())
        p.fillRect(rect(), FBackground);
    p.translate(8, 8);
    for (int i = 0; i < 12; ++i) {
        QColor c(60, 60, 60);
        c.setAlpha(40 + ((i + 12 - FStep) % 12) * 18);
        p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -3.5), QPointF(0, -6.5));
        p.rotate(30);
    }
}

void TUpdatingSpinner::showEvent(QShowEvent*) {
    FTimer.start();
}
void TUpdatingSpinner::hideEvent(QHideEvent*) {
    FTimer.stop();
}
