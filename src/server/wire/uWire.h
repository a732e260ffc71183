#pragma once
// The byte-level forms the client sends and reads: percent-encoded forms and
// query strings, the URL-encoded upload document, and the notes document.

#include "server/store/uServerStore.h"
#include "shared/uUrlEncoding.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zsrv {

using TForm = std::vector<std::pair<std::string, std::string>>;

// name=value lines joined by "&"; values decoded, "+" kept.
[[nodiscard]] TForm ParseForm(std::string_view body);
// A form whose lines come in a known order, read by that order: the client's
// form encoder leaves "&", "=" and "+" in values as they are, so a value that
// holds "&" (a password typed at registration) would otherwise be cut there.
// Each value runs up to the next expected "&name="; names not found are absent.
[[nodiscard]] TForm ParseOrderedForm(std::string_view body, const std::vector<std::string_view>& names);
// The query part of a request target ("/a?b=c" gives b=c).
[[nodiscard]] TForm ParseQuery(std::string_view target);
[[nodiscard]] std::optional<std::string> FormValue(const TForm& form, std::string_view name);

// The upload field string: twenty characters of "0" and "1".
[[nodiscard]] std::optional<TFieldSet> ParseFieldString(std::string_view text);

struct TUploadParse {
    std::vector<TUploadNote> Notes;
    std::string Error; // empty when the document was accepted
};
// Reads an upload body: URL-encoded UTF-8 of a NoteList document. Refuses the
// whole document (nothing of it is to be stored) when it is not well-formed
// UTF-8 XML, carries a document type declaration, has another root, lists a
// note without a usable id, or holds a number column that is not a 32-bit
// decimal integer; also when an element carries attributes (the document
// has none) or the elements nest deeper or are more than limits allow.
struct TUploadLimits {
    std::size_t MaxElements = std::size_t(1) << 20;
    std::size_t MaxDepth = 16;
};
// The limits for bodies of at most maxBodyBytes: no element of a real
// document takes fewer than 16 bytes of the URL-encoded body.
[[nodiscard]] TUploadLimits UploadLimitsFor(std::size_t maxBodyBytes);
// cancelled, when given, is asked now and then; once it says yes the work
// stops and the body counts as refused.
[[nodiscard]] TUploadParse ParseUploadBody(std::string_view body, TUploadLimits limits = {},
                                           const std::function<bool()>& cancelled = {});

// The notes document the client reads: NOTES > NOTEITEM, one per note.
// Which store answers and how many changes of the account it holds, written as
// <STORE id=".." changes=".."/> beside the notes (older clients skip it). A
// client that sees another id, or fewer changes than before, knows the store
// was replaced or restored and sends its notes again.
struct TStoreStamp {
    std::string StoreId;
    std::int64_t Changes = -1;
};
[[nodiscard]] std::string WriteNotesDocument(const std::vector<TServerNote>& notes,
                                             const TStoreStamp& stamp = {});

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
[[nodiscard]] bool IsValidUtf8(std::string_view text);
// The text with every byte that is not part of a well-formed sequence as "?".
[[nodiscard]] std::string ToValidUtf8(std::string_view text);

[[nodiscard]] std::string XmlEscape(std::string_view text);
[[nodiscard]] std::string HtmlEscape(std::string_view text);
// A note id as the client makes them is a GUID text, in either case. Nothing
// else is taken: the program names rows and audio files after these ids.
[[nodiscard]] bool IsUsableNoteId(std::string_view id);

} // namespace zsrv
