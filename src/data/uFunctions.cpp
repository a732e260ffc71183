#include "data/uFunctions.h"

#include "data/uVersionMarker.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringEncoder>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlsave.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// libxml2 plumbing

struct XmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// A node that is unlinked from its parent and freed with its subtree.
struct XmlNodeFree {
    void operator()(xmlNode* node) const {
        xmlUnlinkNode(node);
        xmlFreeNode(node);
    }
};
using XmlNodePtr = std::unique_ptr<xmlNode, XmlNodeFree>;

struct XmlOutputClose {
    void operator()(xmlOutputBuffer* out) const { xmlOutputBufferClose(out); }
};
using XmlOutputPtr = std::unique_ptr<xmlOutputBuffer, XmlOutputClose>;

// Workers build and read documents on their own threads; libxml2 wants its
// global state set up once before that.
void EnsureXmlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

const xmlChar* X(const char* s) {
    return reinterpret_cast<const xmlChar*>(s);
}

std::string_view NodeName(const xmlNode* n) {
    return n->name ? std::string_view(reinterpret_cast<const char*>(n->name)) : std::string_view();
}

struct XmlReaderFree {
    void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};
using XmlReaderPtr = std::unique_ptr<xmlTextReader, XmlReaderFree>;

constexpr int kReadOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;
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

// Builds the document's nodes; element names come from the document's
// dictionary, looked up once per column rather than once per element.
class TNodeFactory {
public:
    explicit TNodeFactory(xmlDoc* doc) : FDoc(doc) {}

    [[nodiscard]] const xmlChar* Intern(const char* s) {
        const xmlChar* name = FDoc->dict ? xmlDictLookup(FDoc->dict, X(s), -1) : nullptr;
        if (!name)
            throw std::runtime_error("the notes document has no name dictionary");
        return name;
    }

    // The name must come from Intern: the node takes it over, and libxml2
    // never frees a name its dictionary owns.
    xmlNode* AddElement(xmlNode* parent, const xmlChar* internedName) {
        return Append(parent,
                      xmlNewDocNodeEatName(FDoc, nullptr, const_cast<xmlChar*>(internedName), nullptr));
    }
    void AddText(xmlNode* parent, const char* p, size_t n) {
        Append(parent, xmlNewDocTextLen(FDoc, X(p), Length(n)));
    }
    void AddCData(xmlNode* parent, const char* p, size_t n) {
        Append(parent, xmlNewCDataBlock(FDoc, X(p), Length(n)));
    }

private:
    static int Length(size_t n) {
        if (n > static_cast<size_t>(std::numeric_limits<int>::max()))
            throw std::length_error("text too long for the notes document");
        return static_cast<int>(n);
    }

    static xmlNode* Append(xmlNode* parent, xmlNode* child) {
        if (!child)
            throw std::bad_alloc();
        if (!xmlAddChild(parent, child)) {
            xmlFreeNode(child);
            throw std::runtime_error("cannot append a node to the notes document");
        }
        return child;
    }

    xmlDoc* FDoc;
};

// The note text as CDATA. Two things cannot sit inside one CDATA section
// unchanged: the end marker "]]>" (split as "]]" | ">" over two adjacent
// sections) and carriage returns, which every parser turns into line feeds
// there; they travel as character references in a text node between sections,
// so the text comes back byte for byte.
void AppendCDataText(TNodeFactory& nodes, xmlNode* element, const std::string& text) {
    const char* p = text.data();
    const size_t n = text.size();
    if (n == 0) {
        nodes.AddCData(element, p, 0);
        return;
    }
    size_t start = 0;
    size_t i = 0;
    while (i < n) {
        if (p[i] == '\r') {
            if (i > start)
                nodes.AddCData(element, p + start, i - start);
            size_t j = i;
            while (j < n && p[j] == '\r')
                ++j;
            nodes.AddText(element, p + i, j - i);
            start = i = j;
        } else if (p[i] == ']' && i + 2 < n && p[i + 1] == ']' && p[i + 2] == '>') {
            nodes.AddCData(element, p + start, i + 2 - start);
            start = i + 2;
            i += 2;
        } else {
            ++i;
        }
    }
    if (n > start)
        nodes.AddCData(element, p + start, n - start);
}

void WriteRaw(xmlOutputBuffer* out, const char* text) {
    xmlOutputBufferWriteString(out, text);
}

// The declaration exactly as libxml2 writes it for a whole document.
void WriteDeclaration(xmlOutputBuffer* out, const xmlDoc* doc) {
    WriteRaw(out, "<?xml version=\"");
    WriteRaw(out, doc->version ? reinterpret_cast<const char*>(doc->version) : "1.0");
    WriteRaw(out, "\"");
    if (doc->encoding) {
        WriteRaw(out, " encoding=\"");
        WriteRaw(out, reinterpret_cast<const char*>(doc->encoding));
        WriteRaw(out, "\"");
    }
    WriteRaw(out, "?>\n");
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

// ---------------------------------------------------------------------------
// Version marker search

// The marker's magic bytes, each XOR-ed with the mask below. The mask is read
// through a volatile so the compiler cannot fold the pattern back into literal
// bytes: the true pattern then exists in a file only inside the marker.
constexpr unsigned char kStartMasked[TVersionMarker::kStartSize] = {
    0x2C, 0xFF, 0xF0, 0xF3, 0xEA, 0x88, 0xF3, 0xE0, 0xF7, 0xF6, 0xEC, 0xEA, 0xEB, 0xA8, 0xAF, 0xBF};
constexpr unsigned char kEndMasked[TVersionMarker::kEndSize] = {0xBF, 0xE0, 0xEB, 0xE1,
                                                                0x88, 0xFF, 0xF3, 0x2C};
const volatile unsigned char gMarkerMask = 0xA5;

template <size_t N> std::array<unsigned char, N> Unmask(const unsigned char (&masked)[N]) {
    std::array<unsigned char, N> out{};
    const unsigned char mask = gMarkerMask;
    for (size_t i = 0; i < N; ++i)
        out[i] = static_cast<unsigned char>(masked[i] ^ mask);
    return out;
}

QString VersionText(const unsigned char* parts) {
    auto part = [parts](int i) { return QString::number(parts[2 * i] | (parts[2 * i + 1] << 8)); };
    return part(0) + QLatin1Char('.') + part(1) + QLatin1Char('.') + part(2) + QLatin1Char('.') + part(3);
}

} // namespace

// ---------------------------------------------------------------------------

QString NotesToXml(const TRowSet& rows) {
    if (!rows.Open || rows.rowCount() == 0)
        return {};
    EnsureXmlInitialised();

    static const char kSkeleton[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><NoteList></NoteList>";
    XmlDocPtr doc(xmlReadMemory(kSkeleton, static_cast<int>(sizeof kSkeleton - 1), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc)
        throw std::runtime_error("cannot create the notes document");
    xmlNode* list = xmlDocGetRootElement(doc.get());
    TNodeFactory nodes(doc.get());

    const qsizetype columnCount = rows.Columns.size();
    std::vector<const xmlChar*> names;
    names.reserve(static_cast<size_t>(columnCount));
    qsizetype noteColumn = -1;
    for (qsizetype c = 0; c < columnCount; ++c) {
        names.push_back(nodes.Intern(rows.Columns[c].toUtf8().constData()));
        if (rows.Columns[c] == QLatin1String("mynote"))
            noteColumn = c;
    }
    const xmlChar* itemName = nodes.Intern("NoteItem");

    // The serialisation is the document's own, written as it grows: each
    // NoteItem is dumped and freed as soon as it is complete. Holding the
    // whole tree and freeing a few hundred thousand nodes at the end costs
    // more than the rest of an upload together; the text is the same.
    XmlOutputPtr out(xmlAllocOutputBuffer(nullptr));
    if (!out)
        throw std::bad_alloc();
    WriteDeclaration(out.get(), doc.get());
    WriteRaw(out.get(), "<");
    WriteRaw(out.get(), reinterpret_cast<const char*>(list->name));
    WriteRaw(out.get(), ">");

    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    std::string text;
    const QVariant null;
    for (const auto& row : rows.Rows) {
        XmlNodePtr item(nodes.AddElement(list, itemName));
        for (qsizetype c = 0; c < columnCount; ++c) {
            CellUtf8(c < row.size() ? row[c] : null, utf8, text);
            DropNonXmlCharacters(text);
            xmlNode* e = nodes.AddElement(item.get(), names[static_cast<size_t>(c)]);
            if (c == noteColumn)
                AppendCDataText(nodes, e, text);
            else if (!text.empty())
                nodes.AddText(e, text.data(), text.size());
        }
        xmlNodeDumpOutput(out.get(), doc.get(), item.get(), 0, 0, "UTF-8");
    }

    WriteRaw(out.get(), "</");
    WriteRaw(out.get(), reinterpret_cast<const char*>(list->name));
    WriteRaw(out.get(), ">\n");
    if (out->error != 0 || xmlOutputBufferFlush(out.get()) < 0)
        throw std::runtime_error("cannot serialise the notes document");
    return QString::fromUtf8(reinterpret_cast<const char*>(xmlOutputBufferGetContent(out.get())),
                             static_cast<qsizetype>(xmlOutputBufferGetSize(out.get())));
}

TNoteItem XmlToNoteItem(const xmlNode* node) {
    TNoteItem item;
    if (!node)
        return item;
    bool seen[kFieldCount] = {};
    QByteArray scratch;
    // Servers write the children in one fixed order, so the search starts
    // after the last match and normally hits at once.
    int hint = 0;
    for (const xmlNode* c = node->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE)
            continue;
        const std::string_view name = NodeName(c);
        int f = -1;
        for (int k = 0; k < kFieldCount; ++k) {
            const int idx = (hint + k) % kFieldCount;
            if (name == kFieldReaders[idx].Name) {
                f = idx;
                break;
            }
        }
        // The first element of a name is the one that counts.
        if (f < 0 || seen[f])
            continue;
        seen[f] = true;
        hint = f + 1;
        const TFieldReader& r = kFieldReaders[f];
        const std::string_view text = ElementText(c, scratch);
        if (r.Text) {
            item.*r.Text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        } else {
            qint32 v = 0;
            item.*r.Int = ParseDecimal(text, v) ? v : r.NotANumber;
        }
    }
    if (item.FontSize == 0)
        item.FontSize = 9;
    return item;
}

QList<TNoteItem> ReadNotesDocument(const QByteArray& xml) {
    EnsureXmlInitialised();
    if (xml.isEmpty() || xml.size() > kMaxDocumentBytes)
        return {};
    // Streamed: each NOTEITEM is expanded into a small tree, read and released
    // before the next, so a long list never exists as one large tree. The
    // whole text is still parsed before anything is returned, so a reply that
    // breaks off part-way applies nothing.
    XmlReaderPtr reader(
        xmlReaderForMemory(xml.constData(), static_cast<int>(xml.size()), nullptr, nullptr, kReadOptions));
    if (!reader)
        return {};
    QList<TNoteItem> items;
    bool rootSeen = false;
    int more = xmlTextReaderRead(reader.get());
    while (more == 1) {
        const int type = xmlTextReaderNodeType(reader.get());
        const int depth = xmlTextReaderDepth(reader.get());
        const char* name = reinterpret_cast<const char*>(xmlTextReaderConstName(reader.get()));
        const std::string_view nodeName = name ? std::string_view(name) : std::string_view();
        // Our service never sends a document type declaration, and declared
        // entities are the one way a small reply can grow without bound once
        // its text is read: such a document is refused like one that does not
        // parse.
        if (type == XML_READER_TYPE_DOCUMENT_TYPE)
            return {};
        if (type == XML_READER_TYPE_ELEMENT && depth == 0) {
            if (nodeName != "NOTES")
                return {};
            rootSeen = true;
        } else if (type == XML_READER_TYPE_ELEMENT && depth == 1 && nodeName == "NOTEITEM") {
            const xmlNode* node = xmlTextReaderExpand(reader.get());
            if (!node)
                return {};
            items.append(XmlToNoteItem(node));
            more = xmlTextReaderNext(reader.get());
            continue;
        }
        more = xmlTextReaderRead(reader.get());
    }
    if (more < 0 || !rootSeen)
        return {};
    return items;
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

qint32 HexToColor(const QString& text) {
    if (text.size() != 6)
        throw std::invalid_argument("a colour needs six hexadecimal digits");
    auto digit = [](QChar ch) {
        const char16_t c = ch.unicode();
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw std::invalid_argument("a colour needs six hexadecimal digits");
    };
    auto byte = [&](int i) { return digit(text[i]) * 16 + digit(text[i + 1]); };
    return byte(0) + byte(2) * 0x100 + byte(4) * 0x10000;
}

qint32 LightenColor(qint32 color, int amount) {
    qint32 result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int b = std::clamp(((color >> shift) & 0xFF) + amount, 0, 255);
        result |= b << shift;
    }
    return result;
}

namespace {
// For every byte value: the length of its encoding (1 or 3) in the low byte and
// up to three output characters above it.
constexpr std::array<quint32, 256> MakeUrlTable() {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::array<quint32, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        const bool keep = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
        if (b == ' ')
            t[b] = 1u | (quint32('+') << 8);
        else if (keep)
            t[b] = 1u | (b << 8);
        else
            t[b] = 3u | (quint32('%') << 8) | (quint32(kHex[b >> 4]) << 16) | (quint32(kHex[b & 15]) << 24);
    }
    return t;
}
constexpr std::array<quint32, 256> kUrlTable = MakeUrlTable();
} // namespace

QString UrlEncode(const QByteArray& bytes) {
    // Sizing first lets the result be written in place, in one allocation.
    qsizetype length = 0;
    for (const char ch : bytes)
        length += kUrlTable[static_cast<unsigned char>(ch)] & 0xFFu;
    QString out(length, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    for (const char ch : bytes) {
        const quint32 e = kUrlTable[static_cast<unsigned char>(ch)];
        d[0] = static_cast<char16_t>((e >> 8) & 0xFFu);
        if ((e & 0xFFu) == 1) {
            d += 1;
        } else {
            d[1] = static_cast<char16_t>((e >> 16) & 0xFFu);
            d[2] = static_cast<char16_t>(e >> 24);
            d += 3;
        }
    }
    return out;
}

bool IsValidEmail(const QString& text) {
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    if (at < 0)
        return false;
    if (text.contains(QLatin1String("..")))
        return false;
    const QStringView local = QStringView(text).left(at);
    const QStringView domain = QStringView(text).mid(at + 1);
    if (local.isEmpty())
        return false;
    if (domain.size() < 4)
        return false;
    const qsizetype dot = domain.indexOf(QLatin1Char('.'));
    if (dot < 0 || dot + 1 > domain.size() - 2)
        return false;
    auto allowed = [](QChar ch) {
        const char16_t c = ch.unicode();
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '.' || c == '_';
    };
    return std::all_of(local.begin(), local.end(), allowed) &&
           std::all_of(domain.begin(), domain.end(), allowed);
}

QString GetFileVersionText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return {};
    const uchar* data = file.map(0, file.size());
    if (!data)
        return {};
    const auto size = static_cast<size_t>(file.size());
    const auto start = Unmask(kStartMasked);
    const auto end = Unmask(kEndMasked);

    bool found = false;
    size_t from = 0;
    while (from < size) {
        const void* hit = memmem(data + from, size - from, start.data(), start.size());
        if (!hit)
            break;
        found = true;
        const size_t at = static_cast<size_t>(static_cast<const uchar*>(hit) - data);
        const size_t parts = at + TVersionMarker::kStartSize;
        const size_t tail = parts + TVersionMarker::kPartsSize;
        if (tail + TVersionMarker::kEndSize <= size && std::memcmp(data + tail, end.data(), end.size()) == 0)
            return VersionText(data + parts);
        from = at + 1;
    }
    return found ? QStringLiteral("-1") : QString();
}

QString GetAppVersion() {
    return VersionText(zuvo_version_marker.Parts);
}

QString GetSpecialFolder(int id) {
    if (id != CSIDL_APPDATA)
        return {};
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString Md5Hex(const QByteArray& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.constData(), static_cast<size_t>(bytes.size()), digest, &length, EVP_md5(),
                   nullptr) != 1)
        throw std::runtime_error("MD5 digest failed");
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), length).toHex());
}
