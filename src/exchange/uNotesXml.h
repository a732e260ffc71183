#pragma once
// The exchange documents: notes to XML and back, and the field string of an
// upload, whose exact bytes the sync protocol and the server rely on.

#include "data/uDataTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

typedef struct _xmlNode xmlNode;

// Writes rows (in row order, columns in the select's order) as a NoteList document
// in UTF-8; empty when the set is not open or holds no row. Characters that XML 1.0
// cannot carry at all (C0 controls other than tab, LF and CR; U+FFFE, U+FFFF)
// are left out; everything else, "]]>" and CR in the note text included, reads
// back unchanged. The bytes are those of libxml2's serialisation of the same
// document: declaration line, no whitespace, "<x/>" for an empty value, the
// "mynote" text as CDATA.
[[nodiscard]] QByteArray NotesToXmlUtf8(const TRowSet& rows);
// The same document as text.
[[nodiscard]] QString NotesToXml(const TRowSet& rows);
// Reads one note element of a server document with the defaults of the exchange format.
[[nodiscard]] TNoteItem XmlToNoteItem(const xmlNode* node);
// Reads a notes document ("NOTES" > "NOTEITEM"...); empty when it does not parse,
// its document element is not "NOTES", it carries a document type declaration
// (no entity is ever expanded) or it is larger than any notes list could be.
// With state, also reads the server's store element (<STORE id=".." changes=".."/>
// beside the note elements, which older readers skip).
[[nodiscard]] QList<TNoteItem> ReadNotesDocument(const QByteArray& xml, TServerStoreState* state = nullptr);

[[nodiscard]] QString UploadFieldsToStr(TUploadFields fields);
