#pragma once
// Small pieces of the note window: the web-address marker and the updating spinner.

#include <QColor>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTimer>
#include <QWidget>

// Marks web addresses in a note's text as links (underlined, blue).
class TLinkHighlighter : public QSyntaxHighlighter {
public:
    explicit TLinkHighlighter(QTextDocument* doc);
    [[nodiscard]] static const QRegularExpression& LinkPattern();
    // The address that covers this column of a paragraph; empty when none does.
    [[nodiscard]] static QString LinkAt(const QString& paragraph, int column);

protected:
    void highlightBlock(const QString& text) override;
};

// A 16×16 spinner, animated only while visible.
class TUpdatingSpinner : public QWidget {
public:
    explicit TUpdatingSpinner(QWidget* parent);
    void SetBackground(const QColor& c);

protected:
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    QTimer FTimer;
    QColor FBackground;
    int FStep = 0;
};
