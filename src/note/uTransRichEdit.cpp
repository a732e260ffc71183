#include "note/uTransRichEdit.h"

#include "note/uNoteText.h"

#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

TTransRichEdit::TTransRichEdit(QWidget* parent) : QTextEdit(parent) {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAcceptRichText(false);
    watchDocument(document());
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TTransRichEdit::markLinks);
    fontChanged();
}

void TTransRichEdit::ShareDocument(QTextDocument* doc) {
    setDocument(doc);
    watchDocument(doc);
    markLinks();
}

void TTransRichEdit::watchDocument(QTextDocument* doc) {
    connect(doc, &QTextDocument::contentsChanged, this, [this] {
        if (FAutoHeight)
            UpdateAutoHeight();
        markLinks();
    });
}

void TTransRichEdit::markLinks() {
    const QRectF inView(horizontalScrollBar()->value(), verticalScrollBar()->value(), viewport()->width(),
                        viewport()->height());
    QList<ExtraSelection> marks;
    for (const auto& m : NoteText::LinkMarks(document(), inView))
        marks.append({m.cursor, m.format});
    setExtraSelections(marks);
}

void TTransRichEdit::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText())
        return;
    QTextCursor c = textCursor();
    NoteText::InsertPlainText(c, source->text());
    setTextCursor(c);
    ensureCursorVisible();
}

void TTransRichEdit::resizeEvent(QResizeEvent* e) {
    QTextEdit::resizeEvent(e);
    markLinks();
}

void TTransRichEdit::SetTransparent(bool v) {
    FTransparent = v;
    QPalette p = palette();
    if (v) {
        viewport()->setAutoFillBackground(false);
        setAutoFillBackground(false);
        p.setColor(QPalette::Base, Qt::transparent);
        p.setColor(QPalette::Window, Qt::transparent);
    } else {
        viewport()->setAutoFillBackground(true);
        p.setColor(QPalette::Base, QPalette().color(QPalette::Base));
    }
    setPalette(p);
    update();
}

void TTransRichEdit::SetAutoHeight(bool v) {
    FAutoHeight = v;
    if (v)
        UpdateAutoHeight();
}

void TTransRichEdit::UpdateAutoHeight() {
    document()->setTextWidth(viewport()->width());
    const int n = NoteText::DisplayLineCount(document());
    int h = n * (FTextHeight + FLineSpace);
    if (h == height() || !FOnHeightChange)
        return;
    FOnHeightChange(this, h);
    resize(width(), h);
}

void TTransRichEdit::changeEvent(QEvent* e) {
    QTextEdit::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        fontChanged();
}

void TTransRichEdit::fontChanged() {
    FTextHeight = NoteText::TextHeightOf(font());
    if (FAutoHeight)
        UpdateAutoHeight();
}

void TTransRichEdit::paintEvent(QPaintEvent* e) {
    QTextEdit::paintEvent(e);
    // The list markers are not part of the text (see NoteText::ApplyListStyle).
    if (NoteText::ListStyleOf(document()) == 0)
        return;
    QPainter p(viewport());
    const QPointF offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    p.translate(-offset);
    NoteText::DrawListMarkers(&p, document(), QRectF(e->rect()).translated(offset),
                              palette().color(QPalette::Text));
}

void TTransRichEdit::wheelEvent(QWheelEvent* e) {
    // One line per wheel step, whatever the desktop's wheel setting says.
    const int steps = e->angleDelta().y() / 120;
    if (steps != 0) {
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() - steps * (FTextHeight + FLineSpace));
    }
    e->accept();
}

void TTransRichEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    if (!isEnabled())
        setEnabled(true);
    QTextEdit::mouseDoubleClickEvent(e);
}
