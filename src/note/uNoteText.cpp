#include "note/uNoteText.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QFontMetrics>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

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

void ApplyListStyle(QTextDocument* doc, int code) {
    // Take every paragraph out of whatever list it is in, then put the whole text
    // into one list of the wanted style.
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (QTextList* list = b.textList()) {
            list->remove(b);
            QTextCursor c(b);
            QTextBlockFormat f = c.blockFormat();
            f.setIndent(0);
            c.setBlockFormat(f);
        }
    }
    static const QTextListFormat::Style styles[] = {
        QTextListFormat::ListStyleUndefined, QTextListFormat::ListDisc,       QTextListFormat::ListDecimal,
        QTextListFormat::ListLowerAlpha,     QTextListFormat::ListUpperAlpha, QTextListFormat::ListLowerRoman,
        QTextListFormat::ListUpperRoman,
    };
    if (code <= 0 || code > 6)
        return;
    QTextCursor c(doc);
    c.select(QTextCursor::Document);
    QTextListFormat lf;
    lf.setStyle(styles[code]);
    lf.setIndent(1);
    lf.setNumberSuffix(QStringLiteral("."));
    c.createList(lf);
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
