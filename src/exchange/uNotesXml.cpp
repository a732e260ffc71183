#include "exchange/uNotesXml.h"

#include <QStringEncoder>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// libxml2 plumbing

// Workers build and read documents on their own threads; libxml2 wants its
// global state set up once before that.
void EnsureXmlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

std::string_view NameOf(const xmlChar* name) {
    return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

struct XmlParserFree {
    void operator()(xmlParserCtxt* parser) const { xmlFreeParserCtxt(parser); }
};
using XmlParserPtr = std::unique_ptr<xmlParserCtxt, XmlParserFree>;

constexpr int kReadOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
// Far above any real notes list; libxml2 takes the length as int anyway.
constexpr qsizetype kMaxDocumentBytes = 256 * 1024 * 1024;

// ---------------------------------------------------------------------------
// Writing

// Bytes XML 1.0 cannot carry in any form: C0 controls except tab, LF and CR.
// U+FFFE and U+FFFF (EF BF BE / EF BF BF) are excluded the same way.
constexpr std::array<bool, 256> MakeBadByteTable() {
    std::array<bool, 256> t{};
    for (int b = 0; b < 0x20; ++b)
        t[b] = b != '\t' && b != '\n' && b != '\r';
    return t;
}
constexpr std::array<bool, 256> kBadByte = MakeBadByteTable();

bool IsNonCharacterAt(const char* p, size_t n, size_t i) {
    return static_cast<unsigned char>(p[i]) == 0xEF && i + 2 < n &&
           static_cast<unsigned char>(p[i + 1]) == 0xBF &&
           (static_cast<unsigned char>(p[i + 2]) & 0xFE) == 0xBE;
}

// Removes what no XML document can hold. A document that a parser rejects
// would make the server refuse the whole upload, and the note would stay
// pending for ever; losing an invisible control character is the lesser harm.
void DropNonXmlCharacters(std::string& s) {
    char* d = s.data();
    const size_t n = s.size();
    size_t i = 0;
    for (; i < n; ++i) {
        const auto b = static_cast<unsigned char>(d[i]);
        if (kBadByte[b] || (b == 0xEF && IsNonCharacterAt(d, n, i)))
            break;
    }
    if (i == n)
        return;
    size_t out = i;
    while (i < n) {
        const auto b = static_cast<unsigned char>(d[i]);
        if (kBadByte[b]) {
            ++i;
        } else if (b == 0xEF && IsNonCharacterAt(d, n, i)) {
            i += 3;
        } else {
            d[out++] = d[i++];
        }
    }
    s.resize(out);
}

void Utf8Of(const QString& text, QStringEncoder& utf8, std::string& out);

// The text form of one cell as UTF-8 in out: integers in decimal, null empty.
void CellUtf8(const QVariant& v, QStringEncoder& utf8, std::string& out) {
    out.clear();
    if (!v.isValid() || v.isNull())
        return;
    char buf[24];
    auto decimal = [&](auto n) { out.assign(buf, std::to_chars(buf, buf + sizeof buf, n).ptr); };
    switch (v.typeId()) {
    case QMetaType::Int:
        return decimal(*static_cast<const int*>(v.constData()));
    case QMetaType::LongLong:
        return decimal(*static_cast<const qlonglong*>(v.constData()));
    case QMetaType::Short:
    case QMetaType::Long:
        return decimal(v.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return decimal(v.toULongLong());
    case QMetaType::QString:
        return Utf8Of(*static_cast<const QString*>(v.constData()), utf8, out);
    default:
        return Utf8Of(v.toString(), utf8, out);
    }
}

void Utf8Of(const QString& text, QStringEncoder& utf8, std::string& out) {
    out.resize(static_cast<size_t>(utf8.requiredSpace(text.size())));
    char* end = utf8.appendToBuffer(out.data(), text);
    out.resize(static_cast<size_t>(end - out.data()));
}

// The document is written straight into one buffer through a raw cursor:
// a few hundred thousand short pieces go in, and a capacity check per byte
// or per QByteArray::append would cost more than the pieces themselves.
class TXmlBytes {
public:
    explicit TXmlBytes(size_t capacity) { Grow(capacity); }

    // Room for n more bytes at the cursor; Advance says how many were used.
    [[nodiscard]] char* Room(size_t n) {
        if (FCapacity - FSize < n)
            Grow(std::max(FSize + n, FCapacity * 2));
        return FData.data() + FSize;
    }
    void Advance(size_t n) { FSize += n; }
    void Append(const char* p, size_t n) {
        std::memcpy(Room(n), p, n);
        FSize += n;
    }
    void Append(std::string_view s) { Append(s.data(), s.size()); }
    [[nodiscard]] size_t Size() const { return FSize; }
    void ReserveTotal(size_t total) {
        if (total > FCapacity)
            Grow(total);
    }
    [[nodiscard]] QByteArray Take() {
        FData.resize(static_cast<qsizetype>(FSize));
        FCapacity = FSize = 0;
        return std::move(FData);
    }

private:
    void Grow(size_t capacity) {
        if (capacity > static_cast<size_t>(std::numeric_limits<qsizetype>::max()))
            throw std::length_error("the notes document is too long");
        FData.resize(static_cast<qsizetype>(capacity));
        FCapacity = capacity;
    }

    QByteArray FData;
    size_t FCapacity = 0;
    size_t FSize = 0;
};

// Text nodes are written as libxml2's serialiser writes them: only <, >, &
// and CR are replaced; quotes and everything outside ASCII stay as they are.
constexpr std::array<std::string_view, 256> MakeTextEscapes() {
    std::array<std::string_view, 256> t{};
    t['<'] = "&lt;";
    t['>'] = "&gt;";
    t['&'] = "&amp;";
    t['\r'] = "&#13;";
    return t;
}
constexpr std::array<std::string_view, 256> kTextEscapes = MakeTextEscapes();
constexpr size_t kLongestEscape = 5;

void AppendEscapedText(TXmlBytes& out, std::string_view s) {
    char* const begin = out.Room(s.size() * kLongestEscape);
    char* d = begin;
    for (const char ch : s) {
        const std::string_view e = kTextEscapes[static_cast<unsigned char>(ch)];
        if (e.empty()) {
            *d++ = ch;
        } else {
            std::memcpy(d, e.data(), e.size());
            d += e.size();
        }
    }
    out.Advance(static_cast<size_t>(d - begin));
}

void AppendCDataSection(TXmlBytes& out, const char* p, size_t n) {
    out.Append("<![CDATA[");
    out.Append(p, n);
    out.Append("]]>");
}

// The note text as CDATA. Two things cannot sit inside one CDATA section
// unchanged: the end marker "]]>" (split as "]]" | ">" over two adjacent
// sections) and carriage returns, which every parser turns into line feeds
// there; they travel as character references between sections, so the text
// comes back byte for byte. An empty text is still an (empty) section, so
// the element is never written in its short form.
void AppendNoteCData(TXmlBytes& out, std::string_view text) {
    const char* p = text.data();
    const size_t n = text.size();
    if (n == 0) {
        out.Append("<![CDATA[]]>");
        return;
    }
    size_t start = 0;
    size_t i = 0;
    while (i < n) {
        if (p[i] == '\r') {
            if (i > start)
                AppendCDataSection(out, p + start, i - start);
            for (; i < n && p[i] == '\r'; ++i)
                out.Append("&#13;");
            start = i;
        } else if (p[i] == ']' && i + 2 < n && p[i + 1] == ']' && p[i + 2] == '>') {
            AppendCDataSection(out, p + start, i + 2 - start);
            start = i + 2;
            i += 2;
        } else {
            ++i;
        }
    }
    if (n > start)
        AppendCDataSection(out, p + start, n - start);
}

// The three forms of one column's element, made once per document.
struct TColumnTags {
    std::string Open;
    std::string Close;
    std::string Empty;
};

TColumnTags MakeColumnTags(const QString& column) {
    // libxml2 keeps names as C strings: a name ends at its first NUL.
    const QByteArray utf8 = column.toUtf8();
    const std::string name(utf8.constData());
    return {"<" + name + ">", "</" + name + ">", "<" + name + "/>"};
}

// ---------------------------------------------------------------------------
// Reading

// Concatenates the text and CDATA of a subtree in document order, as a DOM's
// text content does. Entity references cannot occur: documents with a DTD are
// refused before we get here.
void CollectText(const xmlNode* n, QByteArray& out) {
    for (const xmlNode* c = n->children; c; c = c->next) {
        switch (c->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (c->content)
                out.append(reinterpret_cast<const char*>(c->content));
            break;
        case XML_ELEMENT_NODE:
            CollectText(c, out);
            break;
        default:
            break;
        }
    }
}

// The whole text of an element; the common case of a single text or CDATA
// child is read in place.
std::string_view ElementText(const xmlNode* e, QByteArray& scratch) {
    const xmlNode* c = e->children;
    if (!c)
        return {};
    if (!c->next && (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE))
        return c->content ? std::string_view(reinterpret_cast<const char*>(c->content)) : std::string_view();
    scratch.clear();
    CollectText(e, scratch);
    return std::string_view(scratch.constData(), static_cast<size_t>(scratch.size()));
}

// A decimal integer: an optional sign and at least one ASCII digit, nothing
// else (no blanks, no hexadecimal), within 32 bits.
bool ParseDecimal(std::string_view s, qint32& value) {
    if (s.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size())
        return false;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
        if (v > qint64(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<qint32>::max() || v < std::numeric_limits<qint32>::min())
        return false;
    value = static_cast<qint32>(v);
    return true;
}

struct TFieldReader {
    const char* Name;
    QString TNoteItem::*Text; // set for text fields
    qint32 TNoteItem::*Int;   // set for integer fields
    qint32 NotANumber;        // value of an integer element whose text is not a number
};

// Every child name the reader knows, with the default an integer element takes
// when it is present but its text is not a number. An absent element leaves
// the field at 0 or empty.
const TFieldReader kFieldReaders[] = {
    {"ID", &TNoteItem::NoteID, nullptr, 0},
    {"MyNote", &TNoteItem::NNote, nullptr, 0},
    {"NoteType", nullptr, &TNoteItem::NoteType, 0},
    {"FormTrans", nullptr, &TNoteItem::FmTrans, 160},
    {"FormW", nullptr, &TNoteItem::FmW, 220},
    {"FormH", nullptr, &TNoteItem::FmH, 100},
    {"FormX", nullptr, &TNoteItem::FmX, 0},
    {"FormY", nullptr, &TNoteItem::FmY, 0},
    {"shownote", nullptr, &TNoteItem::ShowNote, 1},
    {"FontColor", nullptr, &TNoteItem::FontColor, 0},
    {"FontSize", nullptr, &TNoteItem::FontSize, 9},
    {"FontBold", nullptr, &TNoteItem::FontBold, 0},
    {"BGColorIndex", nullptr, &TNoteItem::BGColorIdx, 0},
    {"FontName", &TNoteItem::FontName, nullptr, 0},
    {"AlertType", nullptr, &TNoteItem::AlertType, 0},
    {"AlertValue1", &TNoteItem::AlertValue1, nullptr, 0},
    {"AlertValue2", &TNoteItem::AlertValue2, nullptr, 0},
    {"AlertValue3", &TNoteItem::AlertValue3, nullptr, 0},
    {"IsTopMost", nullptr, &TNoteItem::IsTopMost, 0},
    {"AutoHeight", nullptr, &TNoteItem::AutoHeight, 0},
    {"ShowAsList", nullptr, &TNoteItem::ShowAsList, 0},
    {"FileMd5", &TNoteItem::VoiceMd5, nullptr, 0},
};
constexpr int kFieldCount = static_cast<int>(std::size(kFieldReaders));

// The reader of a child element's name, or -1. Servers write the children in
// one fixed order, so the search starts after the last match (hint) and
// normally hits at once.
int FindField(std::string_view name, int hint) {
    for (int k = 0; k < kFieldCount; ++k) {
        const int idx = (hint + k) % kFieldCount;
        if (name == kFieldReaders[idx].Name)
            return idx;
    }
    return -1;
}

void SetField(TNoteItem& item, int f, std::string_view text) {
    const TFieldReader& r = kFieldReaders[f];
    if (r.Text) {
        item.*r.Text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    } else {
        qint32 v = 0;
        item.*r.Int = ParseDecimal(text, v) ? v : r.NotANumber;
    }
}

void FinishNoteItem(TNoteItem& item) {
    if (item.FontSize == 0)
        item.FontSize = 9;
}

// A notes document read from the parser's events: the items come straight
// from the text, no node is ever made. Depth 0 is the document element,
// depth 1 its children, depth 2 the fields of a note element; the text of a
// field is all the text inside it, nested elements included, as a DOM's
// text content is.
class TNotesDocumentEvents {
public:
    explicit TNotesDocumentEvents(xmlParserCtxt* parser) : FParser(parser) {}

    static xmlSAXHandler Handler() {
        xmlSAXHandler h{};
        h.initialized = XML_SAX2_MAGIC;
        h.internalSubset = &OnDocumentType;
        h.startElementNs = &OnStart;
        h.endElementNs = &OnEnd;
        h.characters = &OnText;
        // The same function for both, or the parser may drop blanks it
        // thinks ignorable.
        h.ignorableWhitespace = &OnText;
        h.cdataBlock = &OnText;
        return h;
    }

    // Only a whole document counts: nothing is returned for one that breaks
    // off part-way.
    [[nodiscard]] QList<TNoteItem> Result() {
        if (FRefused || !FRootSeen || !FParser->wellFormed)
            return {};
        if (FState)
            *FState = FStore;
        return std::move(FItems);
    }

    TServerStoreState* FState = nullptr;
    TServerStoreState FStore;

private:
    static TNotesDocumentEvents& Of(void* ctx) { return *static_cast<TNotesDocumentEvents*>(ctx); }

    // Our service never sends a document type declaration, and declared
    // entities are the one way a small reply can grow without bound once
    // its text is read: such a document is refused like one that does not
    // parse, before its internal subset is read.
    static void OnDocumentType(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
        Of(ctx).Refuse();
    }

    static void OnStart(void* ctx, const xmlChar* localName, const xmlChar* prefix, const xmlChar*, int,
                        const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
        TNotesDocumentEvents& d = Of(ctx);
        const int depth = d.FDepth++;
        // The document element and the note elements are matched by their
        // whole name, prefix included; fields by their local name.
        const std::string_view name = NameOf(localName);
        if (depth == 0) {
            if (prefix || name != "NOTES")
                return d.Refuse();
            d.FRootSeen = true;
        } else if (depth == 1) {
            if (!prefix && name == "NOTEITEM")
                d.BeginItem();
            else if (!prefix && name == "STORE" && d.FState)
                d.ReadStore(attributeCount, attributes);
        } else if (depth == 2 && d.FInItem) {
            const int f = FindField(name, d.FHint);
            // The first element of a name is the one that counts.
            if (f >= 0 && !d.FSeen[static_cast<size_t>(f)]) {
                d.FSeen[static_cast<size_t>(f)] = true;
                d.FHint = f + 1;
                d.FField = f;
                d.FText.clear();
            }
        }
    }

    static void OnEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
        TNotesDocumentEvents& d = Of(ctx);
        const int depth = --d.FDepth;
        if (depth == 2 && d.FField >= 0) {
            SetField(d.FItem, d.FField, d.FText);
            d.FField = -1;
        } else if (depth == 1 && d.FInItem) {
            FinishNoteItem(d.FItem);
            d.FItems.append(std::move(d.FItem));
            d.FInItem = false;
        }
    }

    static void OnText(void* ctx, const xmlChar* text, int length) {
        TNotesDocumentEvents& d = Of(ctx);
        if (d.FField >= 0)
            d.FText.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    }

    void BeginItem() {
        FInItem = true;
        FItem = TNoteItem();
        FSeen.fill(false);
        FHint = 0;
    }

    // Attributes come as five pointers each: local name, prefix, URI, value
    // start and value end.
    void ReadStore(int count, const xmlChar** a) {
        for (int i = 0; i < count; ++i, a += 5) {
            if (a[1])
                continue;
            const QString value = QString::fromUtf8(reinterpret_cast<const char*>(a[3]), a[4] - a[3]);
            const std::string_view name = NameOf(a[0]);
            if (name == "id") {
                FStore.StoreId = value;
            } else if (name == "changes") {
                bool ok = false;
                const qint64 n = value.toLongLong(&ok);
                FStore.Changes = ok && n >= 0 ? n : -1;
            }
        }
    }

    void Refuse() {
        FRefused = true;
        xmlStopParser(FParser);
    }

    xmlParserCtxt* FParser;
    QList<TNoteItem> FItems;
    int FDepth = 0;
    bool FRootSeen = false;
    bool FRefused = false;
    bool FInItem = false;
    TNoteItem FItem;
    std::array<bool, kFieldCount> FSeen{};
    int FHint = 0;
    int FField = -1;
    std::string FText;
};

} // namespace

// ---------------------------------------------------------------------------

QByteArray NotesToXmlUtf8(const TRowSet& rows) {
    if (!rows.Open || rows.rowCount() == 0)
        return {};
    const qsizetype columnCount = rows.Columns.size();
    std::vector<TColumnTags> tags;
    tags.reserve(static_cast<size_t>(columnCount));
    qsizetype noteColumn = -1;
    for (qsizetype c = 0; c < columnCount; ++c) {
        tags.push_back(MakeColumnTags(rows.Columns[c]));
        if (rows.Columns[c] == QLatin1String("mynote"))
            noteColumn = c;
    }

    TXmlBytes out(4096);
    out.Append("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<NoteList>");
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    std::string text;
    const QVariant null;
    const size_t rowCount = static_cast<size_t>(rows.rowCount());
    for (size_t r = 0; r < rowCount; ++r) {
        const QVector<QVariant>& row = rows.Rows[static_cast<qsizetype>(r)];
        const size_t rowStart = out.Size();
        out.Append("<NoteItem>");
        for (qsizetype c = 0; c < columnCount; ++c) {
            CellUtf8(c < row.size() ? row[c] : null, utf8, text);
            DropNonXmlCharacters(text);
            const TColumnTags& tag = tags[static_cast<size_t>(c)];
            if (c == noteColumn) {
                out.Append(tag.Open);
                AppendNoteCData(out, text);
                out.Append(tag.Close);
            } else if (text.empty()) {
                out.Append(tag.Empty);
            } else {
                out.Append(tag.Open);
                AppendEscapedText(out, text);
                out.Append(tag.Close);
            }
        }
        out.Append("</NoteItem>");
        // Rows of one select are much alike: the first one sizes the rest,
        // and growth by doubling covers the odd long note.
        if (r == 0)
            out.ReserveTotal(out.Size() + (out.Size() - rowStart) * (rowCount - 1) * 9 / 8 + 64);
    }
    out.Append("</NoteList>\n");
    return out.Take();
}

QString NotesToXml(const TRowSet& rows) {
    return QString::fromUtf8(NotesToXmlUtf8(rows));
}

TNoteItem XmlToNoteItem(const xmlNode* node) {
    TNoteItem item;
    if (!node)
        return item;
    bool seen[kFieldCount] = {};
    QByteArray scratch;
    int hint = 0;
    for (const xmlNode* c = node->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE)
            continue;
        const int f = FindField(NameOf(c->name), hint);
        // The first element of a name is the one that counts.
        if (f < 0 || seen[f])
            continue;
        seen[f] = true;
        hint = f + 1;
        SetField(item, f, ElementText(c, scratch));
    }
    FinishNoteItem(item);
    return item;
}

QList<TNoteItem> ReadNotesDocument(const QByteArray& xml, TServerStoreState* state) {
    if (state)
        *state = {};
    EnsureXmlInitialised();
    if (xml.isEmpty() || xml.size() > kMaxDocumentBytes)
        return {};
    // Read from the parser's events rather than from a tree: a long list
    // never exists as nodes, and making and freeing them was most of the
    // cost of a download.
    XmlParserPtr parser(xmlCreateMemoryParserCtxt(xml.constData(), static_cast<int>(xml.size())));
    if (!parser || !parser->sax)
        return {};
    *parser->sax = TNotesDocumentEvents::Handler();
    TNotesDocumentEvents events(parser.get());
    events.FState = state;
    parser->userData = &events;
    xmlCtxtUseOptions(parser.get(), kReadOptions);
    xmlParseDocument(parser.get());
    return events.Result();
}

QString UploadFieldsToStr(TUploadFields fields) {
    constexpr int kLength = 20;
    QString s(kLength, QLatin1Char('1'));
    if (fields.isEmpty())
        return s;
    for (int m = 0; m < kUploadFieldCount; ++m) {
        if (!fields.contains(static_cast<TUploadField>(m)))
            s[m] = QLatin1Char('0');
    }
    return s;
}
