// Fuzz target: the upload body reader (URL decoding, then the NoteList
// document), the form readers and the UTF-8 check, with what each promises.

#include "server/wire/uWire.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const zsrv::TUploadParse parsed = zsrv::ParseUploadBody(body);
    if (parsed.Error.empty()) {
        for (const zsrv::TUploadNote& n : parsed.Notes) {
            if (!zsrv::IsUsableNoteId(n.Note.id()))
                std::abort();
            for (int c = 0; c < zsrv::kNoteColumnCount; ++c) {
                const std::string& v = n.Note.Values[std::size_t(c)];
                if (!zsrv::IsTextColumn(c) && !v.empty() &&
                    v.find_first_not_of("-0123456789") != std::string::npos)
                    std::abort();
            }
        }
        // What was taken must come back out as a document of the same notes.
        std::vector<zsrv::TServerNote> notes;
        for (const zsrv::TUploadNote& n : parsed.Notes)
            notes.push_back(n.Note);
        (void)zsrv::WriteNotesDocument(notes);
    }
    // The UTF-8 mending always yields UTF-8 and leaves UTF-8 alone.
    const std::string mended = zsrv::ToValidUtf8(body);
    if (!zsrv::IsValidUtf8(mended) || (zsrv::IsValidUtf8(body) && mended != body))
        std::abort();
    (void)zsrv::ParseForm(body);
    (void)zsrv::ParseOrderedForm(body, {"username", "password", "uemail", "uname"});
    (void)zsrv::ParseQuery(body);
    return 0;
}
