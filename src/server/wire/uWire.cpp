#include "server/wire/uWire.h"

#include "shared/uNoteId.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <memory>

namespace zsrv {

namespace {

struct TDocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

struct TParserFree {
    void operator()(xmlParserCtxt* c) const { xmlFreeParserCtxt(c); }
};

// A linear look at the markup: every element must be a bare tag (the
// exchange documents carry no attributes), within the depth and count limits.
// Only what a well-formed document can hold is told apart here; anything
// else is left to the parser to refuse.
std::string checkMarkup(std::string_view xml, const TUploadLimits& limits) {
    const auto startsAt = [&](std::size_t i, std::string_view s) { return xml.compare(i, s.size(), s) == 0; };
    const auto skipPast = [&](std::size_t i, std::string_view end) {
        const std::size_t e = xml.find(end, i);
        return e == std::string_view::npos ? xml.size() : e + end.size();
    };
    std::size_t depth = 0;
    std::size_t elements = 0;
    for (std::size_t i = xml.find('<'); i != std::string_view::npos && i < xml.size(); i = xml.find('<', i)) {
        if (startsAt(i, "<!--")) {
            i = skipPast(i + 4, "-->");
        } else if (startsAt(i, "<![CDATA[")) {
            i = skipPast(i + 9, "]]>");
        } else if (startsAt(i, "<?")) {
            i = skipPast(i + 2, "?>");
        } else if (startsAt(i, "<!")) {
            return "document type declarations are not taken";
        } else if (startsAt(i, "</")) {
            depth -= depth > 0 ? 1 : 0;
            i += 2;
        } else {
            std::size_t j = i + 1;
            while (j < xml.size() && !std::strchr(" \t\r\n/>", xml[j]))
                ++j;
            while (j < xml.size() && std::strchr(" \t\r\n", xml[j]))
                ++j;
            if (j < xml.size() && xml[j] != '>' && xml[j] != '/')
                return "elements carry no attributes";
            if (j < xml.size() && xml[j] == '>')
                ++depth;
            if (++elements > limits.MaxElements)
                return "too many elements";
            if (depth > limits.MaxDepth)
                return "elements nested too deeply";
            i = j;
        }
    }
    return {};
}

void collectText(const xmlNode* n, std::string& out) {
    for (const xmlNode* c = n->children; c; c = c->next) {
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content)
            out += reinterpret_cast<const char*>(c->content);
        else if (c->type == XML_ELEMENT_NODE)
            collectText(c, out);
    }
}

bool isInt32Text(std::string_view s) {
    if (s.empty())
        return true; // a null column
    std::int64_t v = 0;
    const char* b = s.data();
    const char* e = b + s.size();
    if (*b == '+')
        ++b;
    const auto r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e && v >= INT32_MIN && v <= INT32_MAX;
}

int columnByElement(std::string_view name) {
    for (int c = 0; c < kNoteColumnCount; ++c)
        if (UploadElementName(c) == name)
            return c;
    return -1;
}

// Markup escaped; for XML text nodes carriage returns become references (a
// parser turns a literal one into a line feed), for HTML quotes are escaped too.
void appendEscaped(std::string& out, std::string_view text, bool html = false) {
    for (char ch : text) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r':
            out += html ? "\r" : "&#13;";
            break;
        case '"':
            out += html ? "&quot;" : "\"";
            break;
        case '\'':
            out += html ? "&#39;" : "'";
            break;
        default:
            out += ch;
        }
    }
}

// CDATA cannot hold "]]>" nor keep a carriage return: the first is split over
// two sections, the second leaves the section as a character reference.
void appendCData(std::string& out, std::string_view text) {
    out += "<![CDATA[";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\r') {
            out += "]]>&#13;<![CDATA[";
        } else if (ch == '>' && i >= 2 && text[i - 1] == ']' && text[i - 2] == ']') {
            out += "]]><![CDATA[>";
        } else {
            out += ch;
        }
    }
    out += "]]>";
}

void appendElement(std::string& out, std::string_view name, std::string_view value) {
    out += '<';
    out += name;
    out += '>';
    appendEscaped(out, value);
    out += "</";
    out += name;
    out += '>';
}

} // namespace

TForm ParseForm(std::string_view body) {
    TForm form;
    while (!body.empty()) {
        const std::size_t amp = body.find('&');
        const std::string_view line = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        if (line.empty())
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            form.emplace_back(PercentDecode(line, false), std::string());
        else
            form.emplace_back(PercentDecode(line.substr(0, eq), false),
                              PercentDecode(line.substr(eq + 1), false));
    }
    return form;
}

TForm ParseOrderedForm(std::string_view body, const std::vector<std::string_view>& names) {
    TForm form;
    std::size_t at = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string start = (i == 0 ? "" : "&") + std::string(names[i]) + "=";
        if (i == 0 ? body.compare(0, start.size(), start) != 0 : body.compare(at, start.size(), start) != 0) {
            // Out of the expected order: read it as an ordinary form.
            return ParseForm(body);
        }
        const std::size_t valueAt = at + start.size();
        std::size_t end = body.size();
        if (i + 1 < names.size()) {
            end = body.find("&" + std::string(names[i + 1]) + "=", valueAt);
            if (end == std::string_view::npos)
                return ParseForm(body);
        }
        form.emplace_back(std::string(names[i]), PercentDecode(body.substr(valueAt, end - valueAt), false));
        at = end;
    }
    return form;
}

TForm ParseQuery(std::string_view target) {
    const std::size_t q = target.find('?');
    if (q == std::string_view::npos)
        return {};
    std::string_view query = target.substr(q + 1);
    const std::size_t hash = query.find('#');
    return ParseForm(query.substr(0, hash));
}

std::optional<std::string> FormValue(const TForm& form, std::string_view name) {
    for (const auto& [k, v] : form)
        if (k == name)
            return v;
    return std::nullopt;
}

std::optional<TFieldSet> ParseFieldString(std::string_view text) {
    if (text.size() != 20)
        return std::nullopt;
    TFieldSet f;
    f.Bits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '0' && text[i] != '1')
            return std::nullopt;
        if (i < 11 && text[i] == '1')
            f.Bits = static_cast<std::uint16_t>(f.Bits | (1u << i));
    }
    return f;
}

bool IsUsableNoteId(std::string_view id) {
    return IsNoteId(id);
}

TUploadLimits UploadLimitsFor(std::size_t maxBodyBytes) {
    return TUploadLimits{maxBodyBytes / 16 + 64, 16};
}

TUploadParse ParseUploadBody(std::string_view body, TUploadLimits limits,
                             const std::function<bool()>& cancelled) {
    TUploadParse result;
    const std::string xml = PercentDecode(body, true);
    if (xml.size() > static_cast<std::size_t>(INT32_MAX)) {
        result.Error = "too large";
        return result;
    }
    // Checked before the parser sees the document: its cost grows with the
    // square of the attributes of one element.
    if (result.Error = checkMarkup(xml, limits); !result.Error.empty())
        return result;
    std::unique_ptr<xmlParserCtxt, TParserFree> ctxt(
        xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr));
    if (!ctxt) {
        result.Error = "out of memory";
        return result;
    }
    // UTF-8 whatever the document declares: the client writes nothing else.
    xmlCtxtResetPush(ctxt.get(), nullptr, 0, nullptr, "UTF-8");
    xmlCtxtUseOptions(ctxt.get(),
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA);
    constexpr std::size_t kPiece = 256 * 1024;
    for (std::size_t at = 0;; at += kPiece) {
        if (cancelled && cancelled()) {
            result.Error = "the client has gone";
            return result;
        }
        const std::size_t n = std::min(kPiece, xml.size() - std::min(at, xml.size()));
        const bool last = at + n >= xml.size();
        if (xmlParseChunk(ctxt.get(), xml.data() + at, int(n), last ? 1 : 0) != 0 || last)
            break;
    }
    std::unique_ptr<xmlDoc, TDocFree> doc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
    if (!doc || !ctxt->wellFormed) {
        result.Error = "not a well-formed document";
        return result;
    }
    if (doc->intSubset || doc->extSubset) {
        result.Error = "document type declarations are not taken";
        return result;
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root || std::string_view(reinterpret_cast<const char*>(root->name)) != "NoteList") {
        result.Error = "the root element is not NoteList";
        return result;
    }
    for (const xmlNode* item = root->children; item; item = item->next) {
        if (item->type != XML_ELEMENT_NODE)
            continue;
        if (std::string_view(reinterpret_cast<const char*>(item->name)) != "NoteItem")
            continue;
        TUploadNote note;
        for (const xmlNode* e = item->children; e; e = e->next) {
            if (e->type != XML_ELEMENT_NODE)
                continue;
            const int col = columnByElement(reinterpret_cast<const char*>(e->name));
            if (col < 0 || note.Present[std::size_t(col)])
                continue; // unknown columns are skipped; the first of twins counts
            std::string value;
            collectText(e, value);
            if (!IsTextColumn(col) && !isInt32Text(value)) {
                result.Error = "column " + std::string(UploadElementName(col)) + " is not a number";
                return result;
            }
            if (!IsTextColumn(col) && !value.empty() && value[0] == '+')
                value.erase(0, 1);
            note.Note.Values[std::size_t(col)] = std::move(value);
            note.Present.set(std::size_t(col));
        }
        if (!IsUsableNoteId(note.Note.id())) {
            result.Error = "a note without a usable id";
            return result;
        }
        result.Notes.push_back(std::move(note));
    }
    return result;
}

std::string WriteNotesDocument(const std::vector<TServerNote>& notes, const TStoreStamp& stamp) {
    std::string out;
    std::size_t guess = 64;
    for (const TServerNote& n : notes)
        guess += 420 + n.Values[ncText].size();
    out.reserve(guess);
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?><NOTES>";
    if (!stamp.StoreId.empty() && stamp.Changes >= 0)
        out += "<STORE id=\"" + XmlEscape(stamp.StoreId) + "\" changes=\"" + std::to_string(stamp.Changes) +
               "\"/>";
    for (const TServerNote& n : notes) {
        const auto& v = n.Values;
        out += "<NOTEITEM>";
        appendElement(out, "ID", v[ncId]);
        out += "<MyNote>";
        appendCData(out, v[ncText]);
        out += "</MyNote>";
        appendElement(out, "NoteType", v[ncNoteType]);
        appendElement(out, "FormTrans", v[ncFormTrans]);
        appendElement(out, "FormW", v[ncFormW]);
        appendElement(out, "FormH", v[ncFormH]);
        appendElement(out, "FormX", v[ncFormX]);
        appendElement(out, "FormY", v[ncFormY]);
        appendElement(out, "shownote", std::to_string(n.ShowNote));
        appendElement(out, "FontColor", v[ncFontColor]);
        appendElement(out, "FontSize", v[ncFontSize]);
        appendElement(out, "FontBold", v[ncFontBold]);
        appendElement(out, "BGColorIndex", v[ncBgColorIndex]);
        appendElement(out, "FontName", v[ncFontName]);
        appendElement(out, "AlertType", v[ncAlertType]);
        appendElement(out, "AlertValue1", v[ncAlertValue1]);
        appendElement(out, "AlertValue2", v[ncAlertValue2]);
        appendElement(out, "AlertValue3", v[ncAlertValue3]);
        appendElement(out, "IsTopMost", v[ncIsTopMost]);
        appendElement(out, "AutoHeight", v[ncAutoHeight]);
        appendElement(out, "ShowAsList", v[ncShowAsList]);
        appendElement(out, "FileMd5", v[ncFileMd5]);
        out += "</NOTEITEM>";
    }
    out += "</NOTES>";
    return out;
}

namespace {

// Length of the well-formed sequence at the start of text, or 0.
std::size_t utf8Sequence(std::string_view t) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(t[i]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else
        return 0;
    if (t.size() < n || b(1) < lo || b(1) > hi)
        return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    return n;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t n = utf8Sequence(text);
        if (n == 0)
            return false;
        text.remove_prefix(n);
    }
    return true;
}

std::string ToValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = utf8Sequence(text);
        if (n == 0) {
            out += '?';
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, n));
            text.remove_prefix(n);
        }
    }
    return out;
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    appendEscaped(out, text);
    return out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    appendEscaped(out, text, true);
    return out;
}

} // namespace zsrv
