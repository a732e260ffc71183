#include "note/uNoteText.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalBlocker>
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

// The first paragraph that reaches into the clip (document coordinates), and
// the one before it, which covers a paragraph whose first line sits just above.
// Found without laying out much past the clip: the layout's own hit test serves
// once the text is laid out, but while it is still being laid out a step at a
// time it may answer with the end of the text.
QTextBlock firstBlockIn(QTextDocument* doc, const QRectF& clip) {
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    const auto reaches = [&](int number) {
        return layout->blockBoundingRect(doc->findBlockByNumber(number)).bottom() >= clip.top();
    };
    QTextBlock b =
        doc->findBlock(qMax(0, layout->hitTest(QPointF(clip.left() + 1, clip.top()), Qt::FuzzyHit)));
    if (b.isValid() && b.blockNumber() > 0 && reaches(b.blockNumber() - 1)) {
        // Doubling steps from the top, then halving between the last two.
        const int count = doc->blockCount();
        int hi = 1;
        while (hi < count - 1 && !reaches(hi))
            hi = qMin(count - 1, hi * 2);
        int lo = hi / 2;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (reaches(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        b = doc->findBlockByNumber(lo);
    }
    if (b.isValid() && b.previous().isValid())
        b = b.previous();
    return b;
}

// The characters of a laid-out paragraph whose lines reach into the clip, as
// positions in the paragraph; its whole text when it is not laid out.
std::pair<int, int> spanIn(const QTextBlock& b, const QRectF& rect, const QRectF& clip) {
    const QTextLayout* tl = b.layout();
    if (!tl || tl->lineCount() == 0)
        return {0, b.length() - 1};
    const auto lineAt = [&](qreal y) { // the first line whose bottom reaches y
        int lo = 0;
        int hi = tl->lineCount() - 1;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            const QTextLine line = tl->lineAt(mid);
            if (rect.top() + line.y() + line.height() < y)
                lo = mid + 1;
            else
                hi = mid;
        }
        return tl->lineAt(lo);
    };
    const QTextLine last = lineAt(clip.bottom());
    return {lineAt(clip.top()).textStart(), last.textStart() + last.textLength()};
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
    QTextBlock b = firstBlockIn(doc, clip);
    if (!b.isValid())
        return;
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

namespace {
QString withLineFeeds(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

// A layout that exists when text goes in lays out every inserted paragraph at
// once (seconds for tens of thousands of lines); one made for a text that is
// already there lays it out as far as it is drawn, and the rest in idle steps.
// Set aside quietly: told of it, an editor showing the document would make the
// new layout at once, before the text is in.
void setLayoutAside(QTextDocument* doc) {
    const QSignalBlocker quiet(doc);
    doc->setDocumentLayout(nullptr);
}
} // namespace

void SetPlainText(QTextDocument* doc, const QString& text, int pitch, int listCode) {
    const QString t = withLineFeeds(text);
    // Loading a text is no edit: like setPlainText, it leaves nothing to undo.
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->setPlainText(QString());
    setLayoutAside(doc);
    QTextCursor c(doc);
    QTextBlockFormat f;
    f.setLineHeight(pitch, QTextBlockFormat::FixedHeight);
    c.setBlockFormat(f); // new paragraphs take it over: no pass over them afterwards
    c.insertText(t);
    doc->setUndoRedoEnabled(undo);
    ApplyListStyle(doc, listCode);
    (void)doc->documentLayout(); // made now, for the text (an editor is told of it)
}

void InsertPlainText(QTextCursor& cursor, const QString& text) {
    const QString t = withLineFeeds(text);
    QTextDocument* doc = cursor.document();
    if (t.size() >= kLongInsert)
        setLayoutAside(doc);
    cursor.insertText(t);
    (void)doc->documentLayout();
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

const QRegularExpression& LinkPattern() {
    static const QRegularExpression re(
        QStringLiteral(R"((?:(?:https?|ftp)://|www\.)[^\s<>"'()\[\]{}]+[^\s<>"'()\[\]{}.,;:!?])"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

QString LinkAt(const QString& paragraph, int column) {
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

QList<QAbstractTextDocumentLayout::Selection> LinkMarks(QTextDocument* doc, const QRectF& clip) {
    QList<QAbstractTextDocumentLayout::Selection> marks;
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    QTextCharFormat link;
    link.setForeground(QColor(0, 0, 238));
    link.setFontUnderline(true);
    for (QTextBlock b = firstBlockIn(doc, clip); b.isValid(); b = b.next()) {
        const QRectF r = layout->blockBoundingRect(b);
        if (r.top() > clip.bottom())
            break;
        if (r.bottom() < clip.top())
            continue;
        // Within a paragraph too, only the part around what is drawn is searched:
        // a line of megabytes is drawn a few hundred characters at a time. The
        // slack keeps whole any address that reaches into the clip.
        constexpr int kSlack = 2048;
        auto [start, end] = spanIn(b, r, clip);
        start = qMax(0, start - kSlack);
        end = qMin(b.length() - 1, end + kSlack);
        const QString text = b.text().mid(start, end - start);
        // Most paragraphs hold no address.
        if (!text.contains(QLatin1String("://")) &&
            !text.contains(QLatin1String("www."), Qt::CaseInsensitive))
            continue;
        auto it = LinkPattern().globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            QTextCursor c(doc);
            c.setPosition(b.position() + start + int(m.capturedStart()));
            c.setPosition(b.position() + start + int(m.capturedEnd()), QTextCursor::KeepAnchor);
            marks.append({c, link});
        }
    }
    return marks;
}

} // namespace NoteText
