#pragma once
// Whole-text formatting of a note's document, shared by the note window (which
// paints the document itself while nobody edits it) and its editor.

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QList>

class QColor;
class QRegularExpression;
class QPainter;
class QRectF;
class QTextCursor;
class QTextDocument;

namespace NoteText {

// The extra pixels between lines.
inline constexpr int kLineSpace = 2;

// Full line height of the font (ascent plus descent), as the text height of "I".
[[nodiscard]] int TextHeightOf(const QFont& font);
// Display lines of the laid-out document: a wrapped paragraph counts each of its
// lines; a last line that is empty does not count.
[[nodiscard]] int DisplayLineCount(QTextDocument* doc);
// A fixed pitch of `pitch` pixels for every paragraph.
void ApplyLineSpacing(QTextDocument* doc, int pitch);
// List numbering of the whole text: 0 none, 1 bullets, 2 decimal, 3 lower alpha,
// 4 upper alpha, 5 lower roman, 6 upper roman; numbers followed by a period.
// Every paragraph is an item, so the text is indented as a whole and the markers
// are drawn beside it (DrawListMarkers) rather than kept in the document: a
// toolkit list costs time that grows with the square of its items.
void ApplyListStyle(QTextDocument* doc, int code);
// The style ApplyListStyle last gave the document (0 when none).
[[nodiscard]] int ListStyleOf(const QTextDocument* doc);
// The marker of item `number` (from 1) in a list of this style: "•", "12.",
// "ab.", "XIV."; empty for style 0.
[[nodiscard]] QString ListMarker(int code, int number);
// Draws the markers of the paragraphs that reach into `clip` (document
// coordinates; the painter is translated to the document's origin).
void DrawListMarkers(QPainter* painter, QTextDocument* doc, const QRectF& clip, const QColor& color);
// The document's text with paragraphs joined by "\n" (list markers are not text).
[[nodiscard]] QString PlainText(const QTextDocument* doc);
// Puts plain text into the document (replacing all) and keeps the pitch and the
// list. The new text is laid out only as far as it is drawn, and the rest a
// piece at a time while the program is idle.
void SetPlainText(QTextDocument* doc, const QString& text, int pitch, int listCode);

// Inserts plain text at the cursor, as typed (undone as one edit). A long text
// (kLongInsert characters or more) is laid out afterwards as far as it is drawn,
// and the rest in idle steps, rather than all at once.
inline constexpr int kLongInsert = 64 * 1024;
void InsertPlainText(QTextCursor& cursor, const QString& text);

// Web addresses in a paragraph.
[[nodiscard]] const QRegularExpression& LinkPattern();
// The address that covers this column of a paragraph; empty when none does.
[[nodiscard]] QString LinkAt(const QString& paragraph, int column);
// The web addresses of the paragraphs that reach into `clip` (document
// coordinates), marked as links (underlined, blue) for drawing. Only what is
// drawn is looked at, so a long text costs no more than a short one.
[[nodiscard]] QList<QAbstractTextDocumentLayout::Selection> LinkMarks(QTextDocument* doc, const QRectF& clip);

// The date text of the insert-date setting: yyyy year, mm month (minutes after hh),
// dd day, hh hour; other characters are copied.
[[nodiscard]] QString FormatDateText(const QString& pattern, const QDateTime& when);

} // namespace NoteText
