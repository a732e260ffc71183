// The two exchange documents at the size of a large account: every pending note
// going up in one body, and a full download coming back.

#include "exchange/uNotesXml.h"
#include "shared/uUrlEncoding.h"

#include <QCoreApplication>
#include <QStringList>
#include <benchmark/benchmark.h>

namespace {

constexpr int kNotes = 10000;

// 200 characters, ASCII and Chinese mixed, different for every note.
QString NoteText(int n) {
    static const QString kPiece = QStringLiteral("Buy milk 买牛奶 & call <Anna> 明天上午十点 ]]> ok; ");
    QString s = QString::number(n) + QLatin1Char(' ');
    while (s.size() < 200)
        s += kPiece;
    s.truncate(200);
    return s;
}

QString Guid(int n) {
    return QStringLiteral("6F9619FF-8B86-D011-B42D-%1").arg(n, 12, 16, QLatin1Char('0')).toUpper();
}

TRowSet PendingRows() {
    TRowSet rows;
    rows.Open = true;
    rows.Columns = QStringList{"id",        "mynote",     "form_x",       "form_y",      "form_w",
                               "form_h",    "form_trans", "fontcolor",    "fontsize",    "fontname",
                               "fontbold",  "alerttype",  "alertvalue1",  "alertvalue2", "alertvalue3",
                               "istopmost", "autoheight", "bgcolorindex", "showaslist",  "filemd5"};
    for (int n = 0; n < kNotes; ++n) {
        rows.Rows.append({Guid(n),
                          NoteText(n),
                          1050 + n % 7,
                          10 + n % 500,
                          220,
                          100,
                          160,
                          0,
                          9,
                          QStringLiteral("Tahoma"),
                          0,
                          0,
                          QVariant(),
                          QVariant(),
                          QVariant(),
                          0,
                          0,
                          n % 7,
                          2,
                          QString()});
    }
    return rows;
}

QByteArray NotesDocument() {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><NOTES>";
    for (int n = 0; n < kNotes; ++n) {
        xml += "<NOTEITEM><ID>" + Guid(n).toUtf8() + "</ID><MyNote><![CDATA[" +
               NoteText(n).replace(QLatin1String("]]>"), QLatin1String("]]")).toUtf8() +
               "]]></MyNote><NoteType>0</NoteType><FormTrans>160</FormTrans><FormW>220</FormW>"
               "<FormH>100</FormH><FormX>1050</FormX><FormY>" +
               QByteArray::number(n % 500) +
               "</FormY><shownote>1</shownote><FontColor>0</FontColor><FontSize>9</FontSize>"
               "<FontBold>0</FontBold><BGColorIndex>3</BGColorIndex><FontName>Tahoma</FontName>"
               "<AlertType>0</AlertType><AlertValue1></AlertValue1><AlertValue2></AlertValue2>"
               "<AlertValue3></AlertValue3><IsTopMost>0</IsTopMost><AutoHeight>0</AutoHeight>"
               "<ShowAsList>2</ShowAsList><FileMd5></FileMd5></NOTEITEM>";
    }
    xml += "</NOTES>";
    return xml;
}

// What the upload sends: the document's bytes, form-encoded.
void BM_NotesToXmlUtf8UrlEncode(benchmark::State& state) {
    const TRowSet rows = PendingRows();
    for (auto _ : state) {
        const QByteArray body = UrlEncodeBytes(NotesToXmlUtf8(rows));
        benchmark::DoNotOptimize(body.constData());
    }
}
BENCHMARK(BM_NotesToXmlUtf8UrlEncode)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// The two stages apart, to see which one a change moves.
void BM_NotesToXmlUtf8(benchmark::State& state) {
    const TRowSet rows = PendingRows();
    for (auto _ : state) {
        const QByteArray xml = NotesToXmlUtf8(rows);
        benchmark::DoNotOptimize(xml.constData());
    }
}
BENCHMARK(BM_NotesToXmlUtf8)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

void BM_UrlEncodeBytes(benchmark::State& state) {
    const QByteArray xml = NotesToXmlUtf8(PendingRows());
    for (auto _ : state) {
        const QByteArray body = UrlEncodeBytes(xml);
        benchmark::DoNotOptimize(body.constData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * xml.size());
}
BENCHMARK(BM_UrlEncodeBytes)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

void BM_ReadNotesDocument(benchmark::State& state) {
    const QByteArray xml = NotesDocument();
    for (auto _ : state) {
        const QList<TNoteItem> items = ReadNotesDocument(xml);
        if (items.size() != kNotes)
            state.SkipWithError("wrong item count");
        benchmark::DoNotOptimize(items.constData());
    }
}
BENCHMARK(BM_ReadNotesDocument)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
