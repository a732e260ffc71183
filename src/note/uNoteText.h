#pragma once
// Whole-text formatting of a note's document, shared by the note window (which
// paints the document itself while nobody edits it) and its editor.

#include <QFont>

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
void ApplyListStyle(QTextDocument* doc, int code);
// The document's text with paragraphs joined by "\n" (list markers are not text).
[[nodiscard]] QString PlainText(const QTextDocument* doc);
// Puts plain text into the document (replacing all) and keeps the pitch and the list.
void SetPlainText(QTextDocument* doc, const QString& text, int pitch, int listCode);

// The date text of the insert-date setting: yyyy year, mm month (minutes after hh),
// dd day, hh hour; other characters are copied.
[[nodiscard]] QString FormatDateText(const QString& pattern, const QDateTime& when);

} // namespace NoteText
