// Long notes: a numbered note of 60 000 short lines (list style on and off, a
// keystroke in its middle) and a note of one 2 MB line (shown, then scrolled), each
// on the note's own document and editor at a note's size, offscreen.
#include "note/uNoteText.h"
#include "note/uTransRichEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int kPitch = 16;
constexpr QSize kNote(220, 200);

QString manyLines(int lines) {
    QString t;
    for (int i = 0; i < lines; ++i)
        t += QStringLiteral("item %1 of the list\n").arg(i);
    return t;
}

QString oneLongLine(qsizetype bytes) {
    QString t;
    for (int i = 0; t.size() < bytes; ++i)
        t += QStringLiteral("word%1 ").arg(i % 997);
    return t;
}

std::unique_ptr<QTextDocument> noteDocument(const QString& text, int listCode) {
    auto doc = std::make_unique<QTextDocument>();
    doc->setDocumentMargin(1);
    doc->setIndentWidth(18);
    doc->setUndoRedoEnabled(false);
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(9);
    doc->setDefaultFont(f);
    doc->setTextWidth(kNote.width() - 20);
    NoteText::SetPlainText(doc.get(), text, kPitch, listCode);
    return doc;
}

// What the note window does when nobody edits: its text and markers at one scroll place.
void paintAt(QTextDocument* doc, QImage& img, qreal y) {
    img.fill(Qt::white);
    QPainter p(&img);
    p.translate(0, -y);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.clip = QRectF(0, y, img.width(), img.height());
    doc->documentLayout()->draw(&p, ctx);
    NoteText::DrawListMarkers(&p, doc, ctx.clip, Qt::black);
}

void BM_ListStyleOnAndOff(benchmark::State& state) {
    auto doc = noteDocument(manyLines(int(state.range(0))), 0);
    (void)doc->documentLayout()->documentSize();
    QImage img(kNote, QImage::Format_ARGB32_Premultiplied);
    int code = 2;
    for (auto _ : state) {
        // Applied (or removed), then the whole note laid out and its top painted.
        NoteText::ApplyListStyle(doc.get(), code);
        benchmark::DoNotOptimize(doc->documentLayout()->documentSize());
        paintAt(doc.get(), img, 0);
        code = code == 2 ? 0 : 2;
    }
    state.counters["lines"] = double(state.range(0));
}

void BM_KeystrokeInTheMiddle(benchmark::State& state) {
    auto doc = noteDocument(manyLines(int(state.range(0))), 2);
    TTransRichEdit editor;
    editor.SetAutoHeight(false);
    editor.ShareDocument(doc.get());
    editor.resize(kNote);
    editor.show();
    QTextCursor c(doc.get());
    c.setPosition(int(doc->characterCount() / 2));
    editor.setTextCursor(c);
    editor.ensureCursorVisible();
    QApplication::processEvents();
    for (auto _ : state) {
        // The key reaches the editor and the changed view is painted.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(&editor, &press);
        benchmark::DoNotOptimize(editor.viewport()->grab());
    }
    state.counters["lines"] = double(state.range(0));
}

void BM_LongLineShown(benchmark::State& state) {
    const QString text = oneLongLine(state.range(0));
    QImage img(kNote, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        auto doc = noteDocument(text, 0);
        paintAt(doc.get(), img, 0);
    }
    state.counters["chars"] = double(state.range(0));
}

void BM_LongLineScrolled(benchmark::State& state) {
    auto doc = noteDocument(oneLongLine(state.range(0)), 0);
    QImage img(kNote, QImage::Format_ARGB32_Premultiplied);
    const qreal height = doc->documentLayout()->documentSize().height();
    qreal y = 0;
    for (auto _ : state) {
        // One wheel step further down each time, wrapping at the end.
        paintAt(doc.get(), img, y);
        y += kPitch * 3;
        if (y > height - kNote.height())
            y = 0;
    }
    state.counters["chars"] = double(state.range(0));
}

} // namespace

BENCHMARK(BM_ListStyleOnAndOff)->Arg(60000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_KeystrokeInTheMiddle)->Arg(60000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_LongLineShown)
    ->Arg(2000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_LongLineScrolled)->Arg(2000000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
