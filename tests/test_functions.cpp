// The exchange documents and the small text helpers whose exact results the
// server, the push channel and the windows depend on.

#include "data/uColors.h"
#include "data/uFileVersion.h"
#include "data/uVersionMarker.h"
#include "exchange/uNotesXml.h"
#include "platform/uAnsi.h"
#include "platform/uSpecialFolders.h"
#include "support/TestEnv.h"
#include "uVersion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QStringEncoder>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

namespace {

// ---------------------------------------------------------------------------
// Helpers

struct DocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

// Parses strictly: anything a server's parser would reject fails here too.
DocPtr ParseStrict(const QByteArray& utf8) {
    return DocPtr(xmlReadMemory(utf8.constData(), static_cast<int>(utf8.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

xmlNode* FirstChild(xmlNode* parent, const char* name) {
    for (xmlNode* c = parent ? parent->children : nullptr; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE && xmlStrEqual(c->name, reinterpret_cast<const xmlChar*>(name)))
            return c;
    }
    return nullptr;
}

QString TextContent(const xmlNode* node) {
    xmlChar* raw = xmlNodeGetContent(node);
    const QString s = QString::fromUtf8(reinterpret_cast<const char*>(raw));
    xmlFree(raw);
    return s;
}

TRowSet MakeRows(const QStringList& columns, const QList<QVector<QVariant>>& rows) {
    TRowSet set;
    set.Open = true;
    set.Columns = columns;
    set.Rows = rows;
    return set;
}

const QStringList kStatement4Columns = {
    "id",          "mynote",    "form_x",     "form_y",       "form_w",     "form_h",      "form_trans",
    "fontcolor",   "fontsize",  "fontname",   "fontbold",     "alerttype",  "alertvalue1", "alertvalue2",
    "alertvalue3", "istopmost", "autoheight", "bgcolorindex", "showaslist", "filemd5"};

// One note element inside a notes document, read back through the document
// reader; the reader of a single parsed element must agree with it.
TNoteItem ReadOneItem(const QByteArray& children) {
    const QByteArray xml = "<NOTES><NOTEITEM>" + children + "</NOTEITEM></NOTES>";
    const QList<TNoteItem> items = ReadNotesDocument(xml);
    EXPECT_EQ(items.size(), 1) << children.constData();
    const DocPtr doc = ParseStrict(xml);
    EXPECT_TRUE(doc) << children.constData();
    if (doc && !items.isEmpty()) {
        EXPECT_EQ(XmlToNoteItem(FirstChild(xmlDocGetRootElement(doc.get()), "NOTEITEM")), items[0])
            << children.constData();
    }
    return items.value(0);
}

// Sets the locale variables for one scope and puts the old ones back.
class LocaleGuard {
public:
    LocaleGuard() {
        for (const char* v : kVars)
            FSaved.push_back(qEnvironmentVariableIsSet(v) ? std::optional(qgetenv(v)) : std::nullopt);
    }
    ~LocaleGuard() {
        for (size_t i = 0; i < std::size(kVars); ++i) {
            if (FSaved[i])
                qputenv(kVars[i], *FSaved[i]);
            else
                qunsetenv(kVars[i]);
        }
    }
    // Only LANG set, as on most desktops.
    void lang(const char* value) {
        qunsetenv("LC_ALL");
        qunsetenv("LC_CTYPE");
        qputenv("LANG", value);
    }

private:
    static constexpr const char* kVars[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::vector<std::optional<QByteArray>> FSaved;
};

QByteArray MarkerStart() {
    return QByteArray(reinterpret_cast<const char*>(zuvo_version_marker.Start), TVersionMarker::kStartSize);
}
QByteArray MarkerEnd() {
    return QByteArray(reinterpret_cast<const char*>(zuvo_version_marker.End), TVersionMarker::kEndSize);
}

// ---------------------------------------------------------------------------
// The outgoing document as a libxml2 tree, serialised by libxml2: the bytes the
// server has always received. The writer must produce exactly these.

struct DumpFree {
    void operator()(xmlChar* p) const { xmlFree(p); }
};

const xmlChar* Xml(const char* s) {
    return reinterpret_cast<const xmlChar*>(s);
}

// Lone surrogates become U+FFFD here, as in every document sent so far.
QByteArray Utf8(const QString& s) {
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    return utf8.encode(s);
}

// Cleaned after the conversion: a surrogate that a removed character kept
// from its partner stays a U+FFFD.
QString WithoutNonXmlCharacters(const QString& text) {
    QString s = QString::fromUtf8(Utf8(text));
    s.removeIf([](QChar ch) {
        const char16_t c = ch.unicode();
        return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF;
    });
    return s;
}

void AddText(xmlDoc* doc, xmlNode* parent, const QString& text) {
    const QByteArray bytes = Utf8(text);
    xmlAddChild(parent, xmlNewDocTextLen(doc, Xml(bytes.constData()), static_cast<int>(bytes.size())));
}

void AddCData(xmlDoc* doc, xmlNode* parent, const QString& text) {
    const QByteArray bytes = Utf8(text);
    xmlAddChild(parent, xmlNewCDataBlock(doc, Xml(bytes.constData()), static_cast<int>(bytes.size())));
}

// CDATA sections, cut after "]]" where a ">" follows, and runs of CR as text
// between them; an empty note is one empty section.
void AddNoteText(xmlDoc* doc, xmlNode* parent, const QString& text) {
    if (text.isEmpty())
        return AddCData(doc, parent, text);
    qsizetype start = 0;
    qsizetype i = 0;
    const auto section = [&](qsizetype end) {
        if (end > start)
            AddCData(doc, parent, text.mid(start, end - start));
    };
    while (i < text.size()) {
        if (text[i] == QLatin1Char('\r')) {
            section(i);
            qsizetype j = i;
            while (j < text.size() && text[j] == QLatin1Char('\r'))
                ++j;
            AddText(doc, parent, text.mid(i, j - i));
            start = i = j;
        } else if (QStringView(text).mid(i, 3) == QLatin1String("]]>")) {
            section(i + 2);
            start = i + 2;
            i += 2;
        } else {
            ++i;
        }
    }
    section(text.size());
}

QByteArray DomNotesXml(const TRowSet& rows) {
    if (!rows.Open || rows.Rows.isEmpty())
        return {};
    static const char kSkeleton[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><NoteList></NoteList>";
    const DocPtr doc(xmlReadMemory(kSkeleton, static_cast<int>(sizeof kSkeleton - 1), nullptr, nullptr, 0));
    xmlNode* list = xmlDocGetRootElement(doc.get());
    for (const auto& row : rows.Rows) {
        xmlNode* item = xmlNewChild(list, nullptr, Xml("NoteItem"), nullptr);
        for (qsizetype c = 0; c < rows.Columns.size(); ++c) {
            const QVariant v = row.value(c);
            const QString text = WithoutNonXmlCharacters(v.isNull() ? QString() : v.toString());
            xmlNode* e = xmlNewChild(item, nullptr, Xml(rows.Columns[c].toUtf8().constData()), nullptr);
            if (rows.Columns[c] == QLatin1String("mynote"))
                AddNoteText(doc.get(), e, text);
            else if (!text.isEmpty())
                AddText(doc.get(), e, text);
        }
    }
    xmlChar* raw = nullptr;
    int size = 0;
    xmlDocDumpMemory(doc.get(), &raw, &size);
    const std::unique_ptr<xmlChar, DumpFree> dump(raw);
    return QByteArray(reinterpret_cast<const char*>(raw), size);
}

// Where two documents part, with some text either side, for a readable failure.
std::string FirstDifference(const QByteArray& actual, const QByteArray& expected) {
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    if (at == actual.size() && at == expected.size())
        return "identical";
    const qsizetype from = std::max<qsizetype>(0, at - 60);
    return "byte " + std::to_string(at) + "\n  actual:   " + actual.mid(from, 120).toStdString() +
           "\n  expected: " + expected.mid(from, 120).toStdString();
}

// ---------------------------------------------------------------------------
// Writing the outgoing document

TEST(NotesToXml, NothingToWriteGivesEmptyText) {
    TRowSet closed = MakeRows({"id", "mynote"}, {{QString("A"), QString("x")}});
    closed.Open = false;
    const TRowSet noRows = MakeRows({"id", "mynote"}, {});
    EXPECT_TRUE(NotesToXml(closed).isEmpty());
    EXPECT_TRUE(NotesToXml(noRows).isEmpty());
    EXPECT_TRUE(NotesToXmlUtf8(closed).isEmpty());
    EXPECT_TRUE(NotesToXmlUtf8(noRows).isEmpty());
}

TEST(NotesToXml, WritesTheExactDocument) {
    const TRowSet rows = MakeRows(kStatement4Columns, {
                                                          {QString("6F9619FF-8B86-D011-B42D-00C04FC964FF"),
                                                           QString("Buy milk\n买牛奶"),
                                                           1050,
                                                           10,
                                                           220,
                                                           100,
                                                           160,
                                                           0,
                                                           9,
                                                           QString("Tahoma"),
                                                           0,
                                                           0,
                                                           QString(),
                                                           QString(),
                                                           QString(),
                                                           0,
                                                           0,
                                                           0,
                                                           2,
                                                           QString()},
                                                          {QString("ID-2"),
                                                           QString("a<b&c>\"'"),
                                                           qlonglong(-5),
                                                           QVariant(),
                                                           220,
                                                           100,
                                                           160,
                                                           16777215,
                                                           12,
                                                           QString("A&B <Sans>"),
                                                           1,
                                                           3,
                                                           QString("2024-01-02"),
                                                           QVariant(),
                                                           QVariant(),
                                                           1,
                                                           1,
                                                           6,
                                                           0,
                                                           QString("d41d8cd98f00b204e9800998ecf8427e")},
                                                      });
    const QString expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<NoteList>"
        "<NoteItem><id>6F9619FF-8B86-D011-B42D-00C04FC964FF</id><mynote><![CDATA[Buy milk\n买牛奶]]></mynote>"
        "<form_x>1050</form_x><form_y>10</form_y><form_w>220</form_w><form_h>100</form_h>"
        "<form_trans>160</form_trans><fontcolor>0</fontcolor><fontsize>9</fontsize><fontname>Tahoma</"
        "fontname>"
        "<fontbold>0</fontbold><alerttype>0</alerttype><alertvalue1/><alertvalue2/><alertvalue3/>"
        "<istopmost>0</istopmost><autoheight>0</autoheight><bgcolorindex>0</bgcolorindex>"
        "<showaslist>2</showaslist><filemd5/></NoteItem>"
        "<NoteItem><id>ID-2</id><mynote><![CDATA[a<b&c>\"']]></mynote>"
        "<form_x>-5</form_x><form_y/><form_w>220</form_w><form_h>100</form_h>"
        "<form_trans>160</form_trans><fontcolor>16777215</fontcolor><fontsize>12</fontsize>"
        "<fontname>A&amp;B &lt;Sans&gt;</fontname>"
        "<fontbold>1</fontbold><alerttype>3</alerttype><alertvalue1>2024-01-02</alertvalue1><alertvalue2/>"
        "<alertvalue3/><istopmost>1</istopmost><autoheight>1</autoheight><bgcolorindex>6</bgcolorindex>"
        "<showaslist>0</showaslist><filemd5>d41d8cd98f00b204e9800998ecf8427e</filemd5></NoteItem>"
        "</NoteList>\n";
    EXPECT_EQ(NotesToXml(rows), expected);
}

TEST(NotesToXml, ElementsFollowTheSelectsColumnsAndCells) {
    // A short row leaves its missing cells empty rather than failing.
    const TRowSet rows = MakeRows({"notetype", "id", "mynote", "fontsize"}, {{1, QString("N")}});
    const QString xml = NotesToXml(rows);
    EXPECT_TRUE(xml.endsWith(
        "<NoteList><NoteItem><notetype>1</notetype><id>N</id><mynote><![CDATA[]]></mynote><fontsize/>"
        "</NoteItem></NoteList>\n"))
        << xml.toStdString();
}

TEST(NotesToXml, HostileTextsComeBackUnchanged) {
    const QString longText = QString("长文本 with ]]> and \r\n line ends. ").repeated(3000).left(100000);
    struct Case {
        const char* label;
        QString text;
        QString expected; // after the parse; characters XML cannot carry are gone
    };
    const QString controls = QString("a") + QChar(0x01) + "b" + QChar(0x1F) + "c" + QChar(0x0B) +
                             QChar(0x0C) + QChar(0) + "d" + QChar(0xFFFE) + QChar(0xFFFF) + "e\tf\ng";
    const Case cases[] = {
        {"quotes", "\"double\" and 'single'", "\"double\" and 'single'"},
        {"markup characters", "<&>", "<&>"},
        {"entity text", "&amp; &lt; &#13;", "&amp; &lt; &#13;"},
        {"CDATA end marker", "]]>", "]]>"},
        {"doubled brackets", "]]]]>>", "]]]]>>"},
        {"markers in a row", "a]]>]]>b", "a]]>]]>b"},
        {"brackets at the end", "x]]", "x]]"},
        {"CDATA inside", "<![CDATA[x]]>", "<![CDATA[x]]>"},
        {"carriage returns", "one\r\ntwo\rthree\r\r\n", "one\r\ntwo\rthree\r\r\n"},
        {"only a carriage return", "\r", "\r"},
        {"control characters", controls, "abcde\tf\ng"},
        {"Chinese", "中文便笺：明天上午十点开会", "中文便笺：明天上午十点开会"},
        {"outside the BMP", "😀 𠀀", "😀 𠀀"},
        {"100 000 characters", longText, longText},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const TRowSet rows =
            MakeRows({"id", "mynote", "fontname", "alertvalue1"}, {{QString("A"), c.text, c.text, c.text}});
        const DocPtr doc = ParseStrict(NotesToXml(rows).toUtf8());
        ASSERT_TRUE(doc);
        xmlNode* item = FirstChild(xmlDocGetRootElement(doc.get()), "NoteItem");
        xmlNode* note = FirstChild(item, "mynote");
        ASSERT_TRUE(note);
        EXPECT_EQ(TextContent(note), c.expected);
        EXPECT_EQ(TextContent(FirstChild(item, "fontname")), c.expected);
        EXPECT_EQ(TextContent(FirstChild(item, "alertvalue1")), c.expected);
        // The note travels as CDATA; only runs of CR ride between sections.
        for (const xmlNode* n = note->children; n; n = n->next) {
            const bool crRun = n->type == XML_TEXT_NODE &&
                               QByteArray(reinterpret_cast<const char*>(n->content)).count('\r') ==
                                   qsizetype(strlen(reinterpret_cast<const char*>(n->content)));
            EXPECT_TRUE(n->type == XML_CDATA_SECTION_NODE || crRun);
        }
    }
}

TEST(NotesToXmlUtf8, HostileValuesGiveTheDomsBytes) {
    const QString lone = QString("a") + QChar(0xD800) + "b" + QChar(0xDC00) + "c" + QChar(0xDBFF);
    const QString controls = QString("a") + QChar(0x01) + "b" + QChar(0x1F) + QChar(0x0B) + QChar(0) +
                             QChar(0xFFFE) + QChar(0xFFFF) + "e\tf\ng" + QChar(0x7F) + QChar(0x85);
    const QVariant cases[] = {
        QString("\"double\" and 'single'"),
        QString("<a href='x'>&amp;</a> > <"),
        QString("]]>"),
        QString("]]]]>>"),
        QString("]]>]]>]>]]"),
        QString("]]") + QChar(0x01) + ">", // the marker appears once the control is gone
        QString("\r]]>\r"),
        QString("one\r\ntwo\rthree\r\r\n\n\r"),
        QString("\r"),
        controls,
        QString(QChar(0x01)), // nothing left once cleaned
        lone,
        QString("中文便笺：明天上午十点开会"),
        QString("😀 𠀀 ") + QChar(0xFFFD) + QChar(0xFEFF),
        QString("长文本 with ]]> and \r\n line ends & <tags>. ").repeated(3000).left(100000),
        QString(),
        QString(""),
        QVariant(),
        0,
        -1,
        std::numeric_limits<int>::min(),
        std::numeric_limits<qlonglong>::max(),
        std::numeric_limits<qulonglong>::max(),
        1.5,
        true,
        QByteArray("bytes <&>"),
    };
    for (const QVariant& v : cases) {
        SCOPED_TRACE(v.toString().left(40).toStdString());
        QVector<QVariant> row(kStatement4Columns.size(), v);
        const TRowSet rows = MakeRows(kStatement4Columns, {row, row});
        const QByteArray expected = DomNotesXml(rows);
        const QByteArray actual = NotesToXmlUtf8(rows);
        EXPECT_TRUE(actual == expected) << FirstDifference(actual, expected);
        EXPECT_EQ(NotesToXml(rows), QString::fromUtf8(expected));
    }
}

// Cells built from the pieces that matter to the writer, in random order and
// number: every split point, escape and cleaning rule meets every other.
class RandomCells {
public:
    explicit RandomCells(std::uint32_t seed) : FRandom(seed) {}

    QVariant Cell() {
        switch (Pick(8)) {
        case 0:
            return QVariant();
        case 1:
            return static_cast<int>(FRandom());
        case 2:
            return QString();
        default:
            return Text();
        }
    }

    QString Text() {
        static const QString kPieces[] = {"]",
                                          "]]",
                                          ">",
                                          "]]>",
                                          "\r",
                                          "\r\n",
                                          "\n",
                                          "\t",
                                          "<",
                                          "&",
                                          "'",
                                          "\"",
                                          " ",
                                          "abc",
                                          "Z9",
                                          QString(QChar(0x01)),
                                          QString(QChar(0)),
                                          QString(QChar(0x1F)),
                                          QString(QChar(0xFFFE)),
                                          QString(QChar(0xFFFF)),
                                          QString(QChar(0xD83D)),
                                          QString(QChar(0xDE00)),
                                          "😀",
                                          "中",
                                          "é",
                                          QString(QChar(0xEFFF)),
                                          QString(QChar(0xFFFD)),
                                          "&#13;",
                                          "<![CDATA["};
        QString s;
        for (int n = Pick(40); n > 0; --n)
            s += kPieces[Pick(static_cast<int>(std::size(kPieces)))];
        return s;
    }

    int Pick(int n) { return static_cast<int>(FRandom() % static_cast<std::uint32_t>(n)); }

private:
    std::mt19937 FRandom;
};

TEST(NotesToXmlUtf8, RandomRowsGiveTheDomsBytes) {
    RandomCells random(20240611);
    const QStringList columnSets[] = {
        kStatement4Columns, {"mynote"}, {"id", "fontname"}, // no note column at all
    };
    for (const QStringList& columns : columnSets) {
        SCOPED_TRACE(columns.join(',').toStdString());
        QList<QVector<QVariant>> table;
        for (int r = 0; r < 1000; ++r) {
            QVector<QVariant> row;
            // Now and then a row shorter or longer than the select.
            const qsizetype width =
                random.Pick(10) == 0 ? random.Pick(static_cast<int>(columns.size()) + 3) : columns.size();
            for (qsizetype c = 0; c < width; ++c)
                row.append(random.Cell());
            table.append(row);
        }
        const TRowSet rows = MakeRows(columns, table);
        const QByteArray expected = DomNotesXml(rows);
        const QByteArray actual = NotesToXmlUtf8(rows);
        EXPECT_TRUE(actual == expected) << FirstDifference(actual, expected);
    }
}

// ---------------------------------------------------------------------------
// Reading the server's note elements

TEST(XmlToNoteItem, IntegerFieldsAbsentOrNotANumber) {
    struct Case {
        QByteArray children;
        qint32 TNoteItem::*field;
        qint32 expected;
    };
    const Case cases[] = {
        {"", &TNoteItem::FmTrans, 0},
        {"<FormTrans></FormTrans>", &TNoteItem::FmTrans, 160},
        {"<FormTrans/>", &TNoteItem::FmTrans, 160},
        {"<FormTrans>abc</FormTrans>", &TNoteItem::FmTrans, 160},
        {"<FormTrans> 7</FormTrans>", &TNoteItem::FmTrans, 160},
        {"<FormTrans>1.5</FormTrans>", &TNoteItem::FmTrans, 160},
        {"<FormTrans>0x10</FormTrans>", &TNoteItem::FmTrans, 160},
        {"<FormTrans>2147483648</FormTrans>", &TNoteItem::FmTrans, 160},
        {"<FormTrans>-2147483648</FormTrans>", &TNoteItem::FmTrans, INT_MIN},
        {"<FormTrans>+7</FormTrans>", &TNoteItem::FmTrans, 7},
        {"<FormTrans>200</FormTrans>", &TNoteItem::FmTrans, 200},
        {"<formtrans>200</formtrans>", &TNoteItem::FmTrans, 0},
        {"", &TNoteItem::FmW, 0},
        {"<FormW></FormW>", &TNoteItem::FmW, 220},
        {"", &TNoteItem::FmH, 0},
        {"<FormH>x</FormH>", &TNoteItem::FmH, 100},
        {"", &TNoteItem::ShowNote, 0},
        {"<shownote></shownote>", &TNoteItem::ShowNote, 1},
        {"<shownote>0</shownote>", &TNoteItem::ShowNote, 0},
        {"<shownote>2</shownote>", &TNoteItem::ShowNote, 2},
        {"<ShowNote>1</ShowNote>", &TNoteItem::ShowNote, 0},
        {"", &TNoteItem::FontSize, 9},
        {"<FontSize></FontSize>", &TNoteItem::FontSize, 9},
        {"<FontSize>0</FontSize>", &TNoteItem::FontSize, 9},
        {"<FontSize>12</FontSize>", &TNoteItem::FontSize, 12},
        {"<FormX></FormX>", &TNoteItem::FmX, 0},
        {"<FormY>-30</FormY>", &TNoteItem::FmY, -30},
        {"<NoteType>x</NoteType>", &TNoteItem::NoteType, 0},
        {"<FontColor></FontColor>", &TNoteItem::FontColor, 0},
        {"<FontBold>x</FontBold>", &TNoteItem::FontBold, 0},
        {"<BGColorIndex></BGColorIndex>", &TNoteItem::BGColorIdx, 0},
        {"<AlertType>x</AlertType>", &TNoteItem::AlertType, 0},
        {"<IsTopMost></IsTopMost>", &TNoteItem::IsTopMost, 0},
        {"<AutoHeight>x</AutoHeight>", &TNoteItem::AutoHeight, 0},
        {"<ShowAsList></ShowAsList>", &TNoteItem::ShowAsList, 0},
        {"<FormX>1</FormX><FormX>2</FormX>", &TNoteItem::FmX, 1},
        {"<Deleted>1</Deleted>", &TNoteItem::Deleted, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.children.constData());
        EXPECT_EQ(ReadOneItem(c.children).*c.field, c.expected);
    }
}

TEST(XmlToNoteItem, TextFieldsTakeTheWholeText) {
    struct Case {
        QByteArray children;
        QString TNoteItem::*field;
        QString expected;
    };
    const Case cases[] = {
        {"", &TNoteItem::NoteID, ""},
        {"<ID>6F9619FF-8B86-D011-B42D-00C04FC964FF</ID>", &TNoteItem::NoteID,
         "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        {"<id>lower</id>", &TNoteItem::NoteID, ""},
        {"<MyNote><![CDATA[a]]]]><![CDATA[>b]]>&#13;&lt;c</MyNote>", &TNoteItem::NNote, "a]]>b\r<c"},
        {"<MyNote>中文 😀</MyNote>", &TNoteItem::NNote, "中文 😀"},
        {"<FontName>  Tahoma \n</FontName>", &TNoteItem::FontName, "  Tahoma \n"},
        {"<AlertValue1>1<b>2</b><!-- no -->3</AlertValue1>", &TNoteItem::AlertValue1, "123"},
        {"<AlertValue2>x</AlertValue2><AlertValue2>y</AlertValue2>", &TNoteItem::AlertValue2, "x"},
        {"<FileMd5/>", &TNoteItem::VoiceMd5, ""},
        {"<FontName> \n\t </FontName>", &TNoteItem::FontName, " \n\t "},
        {"<ID>a<ID>b</ID>c</ID>", &TNoteItem::NoteID, "abc"},
        {"<x><ID>deeper</ID></x>", &TNoteItem::NoteID, ""},
        {"<ID>&amp;&#x4E2D;&#20013;</ID>", &TNoteItem::NoteID, "&中中"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.children.constData());
        EXPECT_EQ(ReadOneItem(c.children).*c.field, c.expected);
    }
}

TEST(XmlToNoteItem, EveryElementReachesItsOwnField) {
    // Distinct values in reverse order: a swapped or misnamed element shows.
    const TNoteItem item =
        ReadOneItem("<FileMd5>m</FileMd5><ShowAsList>21</ShowAsList><AutoHeight>20</AutoHeight>"
                    "<IsTopMost>19</IsTopMost><AlertValue3>v3</AlertValue3>"
                    "<AlertValue2>v2</AlertValue2><AlertValue1>v1</AlertValue1>"
                    "<AlertType>15</AlertType><FontName>f</FontName>"
                    "<BGColorIndex>13</BGColorIndex><FontBold>12</FontBold>"
                    "<FontSize>11</FontSize><FontColor>10</FontColor><shownote>9</shownote>"
                    "<FormY>8</FormY><FormX>7</FormX><FormH>6</FormH><FormW>5</FormW>"
                    "<FormTrans>4</FormTrans><NoteType>3</NoteType><MyNote>n</MyNote>"
                    "<ID>i</ID>");
    TNoteItem expected;
    expected.NoteID = "i";
    expected.NNote = "n";
    expected.NoteType = 3;
    expected.FmTrans = 4;
    expected.FmW = 5;
    expected.FmH = 6;
    expected.FmX = 7;
    expected.FmY = 8;
    expected.ShowNote = 9;
    expected.FontColor = 10;
    expected.FontSize = 11;
    expected.FontBold = 12;
    expected.BGColorIdx = 13;
    expected.FontName = "f";
    expected.AlertType = 15;
    expected.AlertValue1 = "v1";
    expected.AlertValue2 = "v2";
    expected.AlertValue3 = "v3";
    expected.IsTopMost = 19;
    expected.AutoHeight = 20;
    expected.ShowAsList = 21;
    expected.VoiceMd5 = "m";
    EXPECT_EQ(item, expected);
}

// ---------------------------------------------------------------------------
// Reading a whole notes document

TEST(ReadNotesDocument, OnlyAWellFormedNotesDocumentCounts) {
    const QByteArray item = "<NOTEITEM><ID>A</ID></NOTEITEM>";
    const QByteArray cases[] = {
        "",
        "-2",
        "garbage <<",
        "<NOTES/>",
        "<NOTES>\n</NOTES>",
        "<notes>" + item + "</notes>",
        "<ROOT><NOTES>" + item + "</NOTES></ROOT>",
        "<NOTES>" + item,                             // broken off
        "<NOTES>" + item + "</NOTES><NOTES/>",        // two document elements
        "<NOTES>" + item + "<NOTEITEM><ID>B</NOTES>", // broken inside the last item
        "<?xml version=\"1.0\"?><!DOCTYPE NOTES [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
        "<NOTES><NOTEITEM><ID>&b;</ID></NOTEITEM></NOTES>",
        "<!DOCTYPE NOTES SYSTEM \"http://127.0.0.1:9/notes.dtd\"><NOTES>" + item + "</NOTES>",
        "<NOTES><NOTEITEM><ID>&undeclared;</ID></NOTEITEM></NOTES>",
        "<p:NOTES xmlns:p=\"urn:x\">" + item + "</p:NOTES>",
    };
    for (const QByteArray& xml : cases) {
        SCOPED_TRACE(xml.constData());
        EXPECT_TRUE(ReadNotesDocument(xml).isEmpty());
    }
}

TEST(ReadNotesDocument, VisitsTheNoteItemChildrenInOrder) {
    const QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<NOTES>\n  <NOTEITEM><ID>A</ID></NOTEITEM>\n"
        "  <!-- comment --><OTHER><ID>X</ID></OTHER><noteitem><ID>Y</ID></noteitem>"
        "<?NOTEITEM not an element?>"
        "<NOTEITEM><ID>B</ID><NOTEITEM><ID>nested</ID></NOTEITEM></NOTEITEM>"
        "<NOTEITEM/>\n</NOTES>\n";
    const QList<TNoteItem> items = ReadNotesDocument(xml);
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].NoteID, "A");
    EXPECT_EQ(items[1].NoteID, "B");
    EXPECT_EQ(items[2].NoteID, "");
    EXPECT_EQ(items[2].FontSize, 9);
}

TEST(ReadNotesDocument, HonoursTheDeclaredEncoding) {
    const struct {
        const char* label;
        QByteArray xml;
    } cases[] = {
        {"GBK", QByteArray("<?xml version=\"1.0\" encoding=\"GBK\"?><NOTES><NOTEITEM><MyNote>") +
                    QByteArray::fromHex("d6d0cec4") + "</MyNote></NOTEITEM></NOTES>"},
        {"UTF-8 with a byte order mark",
         QByteArray::fromHex("efbbbf") + "<NOTES><NOTEITEM><MyNote>中文</MyNote></NOTEITEM></NOTES>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QList<TNoteItem> items = ReadNotesDocument(c.xml);
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0].NNote, QString("中文"));
    }
}

// ---------------------------------------------------------------------------
// Text helpers

TEST(UploadFieldsToStr, ElevenFlagsThenNineOnes) {
    const struct {
        TUploadFields fields;
        const char* expected;
    } cases[] = {
        {{}, "11111111111111111111"},
        {{utNote}, "10000000000111111111"},
        {{utFontName, utFontSize, utFontBold}, "00111000000111111111"},
        {{utShowAsList}, "00000010000111111111"},
        {{utFontColor}, "00000000001111111111"},
        {{utBgcolor, utAlert, utIsTopMost, utAutoHeight}, "01000001110111111111"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields.bits());
        EXPECT_EQ(UploadFieldsToStr(c.fields), QString(c.expected));
    }
}

TEST(HexToColor, RedComesFirst) {
    const struct {
        const char* text;
        qint32 expected;
    } cases[] = {
        {"feea3e", 254 + 234 * 256 + 62 * 65536},
        {"FEEA3E", 254 + 234 * 256 + 62 * 65536},
        {"000000", 0},
        {"ffffff", 0xFFFFFF},
        {"0000ff", 0xFF0000},
        {"ff0000", 0x0000FF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexToColor(c.text), c.expected) << c.text;
    for (const char* bad : {"", "feea3", "feea3e0", "gggggg", "#feea3", " feea3", "fe ea3"})
        EXPECT_THROW((void)HexToColor(bad), std::invalid_argument) << '"' << bad << '"';
}

TEST(LightenColor, EachByteSaturatesOnItsOwn) {
    const struct {
        qint32 color;
        int amount;
        qint32 expected;
    } cases[] = {
        {254 + 234 * 256 + 62 * 65536, 30, 255 + 255 * 256 + 92 * 65536},
        {0x000000, 0, 0x000000},
        {0x102030, 255, 0xFFFFFF},
        {0x7F7F7F, 0x80, 0xFFFFFF},
        {0x7F7F7F, 0x7F, 0xFEFEFE},
        {static_cast<qint32>(0xAB000000u), 1, 0x010101}, // the top byte is dropped
    };
    for (const auto& c : cases)
        EXPECT_EQ(LightenColor(c.color, c.amount), c.expected) << std::hex << c.color << " + " << c.amount;
}

// ---------------------------------------------------------------------------
// Version

TEST(Version, TheProgramCarriesTheBuildVersionOnce) {
    const QString build = QString("%1.%2.%3.%4")
                              .arg(zuvo::kVersionMajor)
                              .arg(zuvo::kVersionMinor)
                              .arg(zuvo::kVersionRelease)
                              .arg(zuvo::kVersionBuild);
    EXPECT_EQ(GetAppVersion(), build);
    // The reader's pattern is made at run time: a file holds the magic only in
    // its marker, or the scan could stop at a copy.
    for (const QString& file : {testenv::binDir() + "/zuvonote", QCoreApplication::applicationFilePath()}) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_EQ(GetFileVersionText(file), build);
        EXPECT_EQ(testenv::readFile(file).count(MarkerStart()), 1);
    }
}

TEST(Version, FilesWithoutAMarkerHaveNoVersion) {
    const QString dir = testenv::freshDir("version-none");
    testenv::writeFile(dir + "/text", "no marker here\n");
    testenv::writeFile(dir + "/empty", "");
    for (const QString& path : {dir + "/text", dir + "/empty", dir + "/missing", dir})
        EXPECT_EQ(GetFileVersionText(path), QString()) << path.toStdString();
}

TEST(Version, DamagedMarkersReadAsMinusOne) {
    const QString dir = testenv::freshDir("version-damaged");
    const QByteArray start = MarkerStart();
    const QByteArray end = MarkerEnd();
    const QByteArray parts = QByteArray::fromHex("0200010000002300"); // 2.1.0.35, low bytes first
    QByteArray badEnd = end;
    badEnd[3] = static_cast<char>(badEnd[3] ^ 0x20);
    const QByteArray exe = testenv::readFile(testenv::binDir() + "/zuvonote");
    const qsizetype at = exe.indexOf(start);
    ASSERT_GE(at, 0);

    const struct {
        const char* label;
        QByteArray bytes;
        const char* expected;
    } cases[] = {
        {"a marker alone", "pre" + start + parts + end + "post", "2.1.0.35"},
        {"16-bit parts", start + QByteArray::fromHex("0201ffff00000100") + end, "258.65535.0.1"},
        {"program cut after the start", exe.left(at + start.size()), "-1"},
        {"program cut inside the parts", exe.left(at + start.size() + 3), "-1"},
        {"program cut inside the end", exe.left(at + start.size() + parts.size() + 2), "-1"},
        {"end magic damaged", start + parts + badEnd, "-1"},
        {"damaged, then whole", start + parts + badEnd + start + parts + end, "2.1.0.35"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString path = dir + "/file";
        testenv::writeFile(path, c.bytes);
        EXPECT_EQ(GetFileVersionText(path), QString(c.expected));
    }
}

// ---------------------------------------------------------------------------
// Folders

TEST(GetSpecialFolder, AppDataIsTheXdgDataHome) {
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), qEnvironmentVariable("XDG_DATA_HOME"));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), QDir::homePath() + "/.local/share");
    qputenv("XDG_DATA_HOME", saved);
    for (int other : {0, 5, 28, 35})
        EXPECT_EQ(GetSpecialFolder(other), QString()) << other;
}

// ---------------------------------------------------------------------------
// Code page and language

TEST(Ansi, CodePageFollowsTheLocale) {
    LocaleGuard guard;
    const struct {
        const char* locale;
        const char* codePage;
    } cases[] = {
        {"zh_CN.UTF-8", "GBK"},         {"zh_SG", "GBK"},
        {"zh_TW.UTF-8", "BIG5"},        {"zh_HK.UTF-8", "BIG5"},
        {"ja_JP.UTF-8", "SHIFT_JIS"},   {"ko_KR.UTF-8", "CP949"},
        {"ru_RU.UTF-8", "CP1251"},      {"en_US.UTF-8", "WINDOWS-1252"},
        {"de_DE@euro", "WINDOWS-1252"}, {"C.UTF-8", "WINDOWS-1252"},
        {"", "WINDOWS-1252"},
    };
    for (const auto& c : cases) {
        guard.lang(c.locale);
        EXPECT_EQ(AnsiCodePageName(), QString(c.codePage)) << c.locale;
    }
    // LC_ALL outranks LC_CTYPE, which outranks LANG.
    qputenv("LANG", "ru_RU.UTF-8");
    qputenv("LC_CTYPE", "ja_JP.UTF-8");
    qputenv("LC_ALL", "zh_CN.UTF-8");
    EXPECT_EQ(AnsiCodePageName(), QString("GBK"));
    qputenv("LC_ALL", "");
    EXPECT_EQ(AnsiCodePageName(), QString("SHIFT_JIS"));
    qunsetenv("LC_CTYPE");
    EXPECT_EQ(AnsiCodePageName(), QString("CP1251"));
}

TEST(Ansi, TextInTheLocalesCodePage) {
    LocaleGuard guard;
    const struct {
        const char* locale;
        QString text;
        QByteArray expected;
    } cases[] = {
        {"zh_CN.UTF-8", "中文", QByteArray::fromHex("d6d0cec4")},
        {"zh_CN.UTF-8", "a中😀b", QByteArray::fromHex("61d6d03f62")},
        {"en_US.UTF-8", "中", "?"},
        {"en_US.UTF-8", "aé€b", QByteArray::fromHex("61e98062")},
        {"en_US.UTF-8", "😀", "?"},
        {"ru_RU.UTF-8", "Привет", QByteArray::fromHex("cff0e8e2e5f2")},
        {"ja_JP.UTF-8", "日本", QByteArray::fromHex("93fa967b")},
        {"zh_TW.UTF-8", "中文", QByteArray::fromHex("a4a4a4e5")},
        {"ko_KR.UTF-8", "한", QByteArray::fromHex("c7d1")},
        {"en_US.UTF-8", "", ""},
    };
    for (const auto& c : cases) {
        guard.lang(c.locale);
        EXPECT_EQ(ToAnsiBytes(c.text).toHex(), c.expected.toHex()) << c.locale << ' ' << c.text.toStdString();
    }
    // Long text takes the growth path of the conversion.
    guard.lang("en_US.UTF-8");
    EXPECT_EQ(ToAnsiBytes(QString("é中").repeated(50000)), QByteArray("\xE9?").repeated(50000));
    EXPECT_EQ(ToAnsiBytes("中文", "GBK").toHex(), QByteArray("d6d0cec4"));
    EXPECT_THROW((void)ToAnsiBytes("x", "NO-SUCH-CODEPAGE"), std::invalid_argument);
}

TEST(Ansi, LanguageIdentifierOfTheLocale) {
    LocaleGuard guard;
    const struct {
        const char* locale;
        quint16 id;
    } cases[] = {
        {"zh_CN.UTF-8", 2052}, {"en_US.UTF-8", 1033}, {"en_GB.UTF-8", 2057}, {"de_DE.UTF-8", 1031},
        {"fr_FR.UTF-8", 1036}, {"ja_JP.UTF-8", 1041}, {"ko_KR.UTF-8", 1042}, {"ru_RU.UTF-8", 1049},
        {"zh_TW.UTF-8", 1028}, {"de_AT", 3079},       {"de_BE.UTF-8", 1031}, {"pl_PL.UTF-8", 1045},
        {"xx_YY.UTF-8", 1033}, {"C", 1033},           {"POSIX", 1033},       {"", 1033},
    };
    for (const auto& c : cases) {
        guard.lang(c.locale);
        EXPECT_EQ(GetSystemDefaultLangID(), c.id) << c.locale;
    }
}

} // namespace
