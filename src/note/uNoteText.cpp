#include "note/uNoteText.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>

namespace NoteText {

int TextHeightOf(const QFont& font) {
    const QFontMetrics fm(font);
    return fm.ascent() + fm.descent();
}

int DisplayLineCount(QTextDocument* doc) {
    (void)doc->documentLayout(); // lays the document out when needed
    int n = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const bool last = !b.next().isValid();
        if (last && b.length() <= 1)
            break; // a trailing empty line does not count
        const QTextLayout* layout = b.layout();
        n += layout && layout->lineCount() > 0 ? layout->lineCount() : 1;
    }
    return n;
}

void ApplyLineSpacing(QTextDocument* doc, int pitch) {
    QTextCursor c(doc);
    c.select(QTextCursor::Document);
    QTextBlockFormat f;
    f.setLineHeight(pitch, QTextBlockFormat::FixedHeight);
    c.mergeBlockFormat(f);
}

namespace {
// Where the root frame keeps the list style it was given.
constexpr int kListStyleProperty = QTextFormat::UserProperty + 1;

QString alphaNumber(int n, char first) {
    // a..z, then aa, ab, ...
    QString out;
    while (n > 0) {
        --n;
        out.prepend(QChar(first + n % 26));
        n /= 26;
    }
    return out;
}

QString romanNumber(int n, bool upper) {
    static const struct {
        int Value;
        const char* Text;
    } parts[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
                 {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    QString out;
    for (const auto& p : parts)
        for (; n >= p.Value; n -= p.Value)
            out += QLatin1String(p.Text);
    return upper ? out.toUpper() : out;
}
} // namespace

void ApplyListStyle(QTextDocument* doc, int code) {
    if (code < 0 || code > 6)
        code = 0;
    QTextFrameFormat f = doc->rootFrame()->frameFormat();
    if (f.intProperty(kListStyleProperty) == code &&
        (code == 0) != f.hasProperty(QTextFormat::FrameLeftMargin))
        return; // an unchanged frame would still be laid out anew
    // Listed, the text starts one indent further in; unlisted, the document's
    // margin applies on the left as on the other sides.
    if (code == 0)
        f.clearProperty(QTextFormat::FrameLeftMargin);
    else
        f.setLeftMargin(doc->documentMargin() + doc->indentWidth());
    f.setProperty(kListStyleProperty, code);
    doc->rootFrame()->setFrameFormat(f);
}

int ListStyleOf(const QTextDocument* doc) {
    return doc->rootFrame()->frameFormat().intProperty(kListStyleProperty);
}

QString ListMarker(int code, int number) {
    switch (code) {
    case 1:
        return QString(QChar(0x2022));
    case 2:
        return QString::number(number) + QLatin1Char('.');
    case 3:
    case 4:
        return alphaNumber(number, code == 3 ? 'a' : 'A') + QLatin1Char('.');
    case 5:
    case 6:
        // Past 3999 there is no plain roman numeral: the number stands as it is.
        return (number < 4000 ? romanNumber(number, code == 6) : QString::number(number)) + QLatin1Char('.');
    default:
        return {};
    }
}

void DrawListMarkers(QPainter* painter, QTextDocument* doc, const QRectF& clip, const QColor& color) {
    const int code = ListStyleOf(doc);
    if (code == 0)
        return;
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    // The first paragraph at the top of the clip, found without walking the text.
    const int at = layout->hitTest(QPointF(clip.left() + 1, clip.top()), Qt::FuzzyHit);
    QTextBlock b = doc->findBlock(qMax(0, at));
    if (!b.isValid())
        return;
    // One step back covers a paragraph whose first line sits just above the clip.
    if (b.previous().isValid())
        b = b.previous();
    const QFontMetricsF fm(doc->defaultFont());
    const qreal gap = fm.horizontalAdvance(QLatin1Char(' '));
    const qreal right = doc->rootFrame()->frameFormat().leftMargin() - gap / 2;
    painter->save();
    painter->setPen(color);
    painter->setFont(doc->defaultFont());
    for (int number = b.blockNumber() + 1; b.isValid(); b = b.next(), ++number) {
        const QRectF r = layout->blockBoundingRect(b);
        if (r.top() > clip.bottom())
            break;
        const QTextLayout* tl = b.layout();
        if (!tl || tl->lineCount() == 0 || r.bottom() < clip.top())
            continue;
        const QTextLine first = tl->lineAt(0);
        const QString marker = ListMarker(code, number);
        const qreal w = fm.horizontalAdvance(marker);
        const qreal baseline = r.top() + first.y() + first.ascent();
        painter->drawText(QPointF(right - w, baseline), marker);
    }
    painter->restore();
}

QString PlainText(const QTextDocument* doc) {
    QString text = doc->toPlainText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void SetPlainText(QTextDocument* doc, const QString& text, int pitch, int listCode) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    doc->setPlainText(t);
    ApplyLineSpacing(doc, pitch);
    ApplyListStyle(doc, listCode);
}

QString FormatDateText(const QString& pattern, const QDateTime& when) {
    QString out;
    bool afterHour = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QStringView rest = QStringView(pattern).mid(i);
        if (rest.startsWith(QLatin1String("yyyy"), Qt::CaseInsensitive)) {
            out += QStringLiteral("%1").arg(when.date().year(), 4, 10, QLatin1Char('0'));
            i += 4;
        } else if (rest.startsWith(QLatin1String("hh"), Qt::CaseInsensitive)) {
            out += QStringLiteral("%1").arg(when.time().hour(), 2, 10, QLatin1Char('0'));
            afterHour = true;
            i += 2;
            continue;
        } else if (rest.startsWith(QLatin1String("mm"), Qt::CaseInsensitive)) {
            const int v = afterHour ? when.time().minute() : when.date().month();
            out += QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
            i += 2;
        } else if (rest.startsWith(QLatin1String("dd"), Qt::CaseInsensitive)) {
            out += QStringLiteral("%1").arg(when.date().day(), 2, 10, QLatin1Char('0'));
            i += 2;
        } else {
            out += pattern[i]; // literals keep "mm" a minute after "hh"
            ++i;
            continue;
        }
        afterHour = false;
    }
    return out;
}

} // namespace NoteText
