#pragma once
// Notes from the two sticky-notes programs people most often come from: the
// per-note "info-*" and "content-*" files of one, and the notes folder of the
// other, a maildir of MIME messages (subject = title, body = text). Reading
// never changes the files read; what cannot be read is named, not fatal.

#include "data/uDataTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct TImportedNote {
    QString Text;
    // Zero when the source gives none: the new note gets the usual size.
    int Width = 0;
    int Height = 0;
    std::optional<qint32> BackColor; // 0x00BBGGRR
    std::optional<qint32> TextColor; // 0x00BBGGRR
    QString FontName;
    int FontSize = 0;
    bool FontBold = false;
    QString Source; // the file the text came from

    friend bool operator==(const TImportedNote&, const TImportedNote&) = default;
};

struct TImportScan {
    QList<TImportedNote> Notes;
    // Files that looked like notes but could not be read, each with the reason.
    QStringList Unreadable;
};

namespace NoteImport {

// A file or a folder: a notes folder (maildir with cur/ and new/), a folder of
// info-*/content-* files, a folder of message files, or one such file.
[[nodiscard]] TImportScan Scan(const QString& path);

// One info file with the text of its content file. Unknown lines are ignored.
// defaultStyle: the pads' shared default-style file, which a pad with
// follow_color or follow_font 1 takes its colours or font from.
[[nodiscard]] TImportedNote ParseInfoFile(const QByteArray& info, const QByteArray& content,
                                          const QByteArray& defaultStyle = {});
// One MIME message; nothing when it is not a message or holds neither title nor text.
[[nodiscard]] std::optional<TImportedNote> ParseNoteMessage(const QByteArray& message);

// A colour as written by toolkits: "rgb:ffff/eeee/cccc", "rgb(255,238,204)",
// "rgba(255,238,204,1)", "#ffeecc" or three 16-bit integers. 0x00BBGGRR.
[[nodiscard]] std::optional<qint32> ParseColor(const QString& text);

// The record of a new, pending note made from an imported one: the palette
// entry nearest to its background, its text colour and font where given,
// and the usual size of a new note where none is given (never below 120 x 40).
[[nodiscard]] TNoteItem ToNoteItem(const TImportedNote& note, const QString& id,
                                   const QList<qint32>& palette);

} // namespace NoteImport
