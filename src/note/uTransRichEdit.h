#pragma once
// The note's text editor: a rich-text edit whose note background shows through
// behind text and caret, that measures its own font for a fixed line pitch and
// reports the height its content needs. Web addresses in view are marked as links.

#include <QTextEdit>
#include <functional>

class TTransRichEdit : public QTextEdit {
    Q_OBJECT
public:
    using TOnHeightChange = std::function<void(TTransRichEdit* Sender, int& newH)>;

    explicit TTransRichEdit(QWidget* parent = nullptr);

    [[nodiscard]] int TextHeight() const { return FTextHeight; }
    [[nodiscard]] bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);
    [[nodiscard]] bool AutoHeight() const { return FAutoHeight; }
    void SetAutoHeight(bool v);
    [[nodiscard]] int LineSpace() const { return FLineSpace; }
    void SetLineSpace(int v) { FLineSpace = v; }
    void SetOnHeightChange(TOnHeightChange handler) { FOnHeightChange = std::move(handler); }

    void UpdateAutoHeight();
    // Makes the control show this document (the note keeps it while nobody edits).
    void ShareDocument(QTextDocument* doc);

protected:
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // Only plain text is kept: pasted or dropped text goes in as typed.
    void insertFromMimeData(const QMimeData* source) override;

private:
    void fontChanged();
    void watchDocument(QTextDocument* doc);
    // Marks the links of the paragraphs in view (only those: see NoteText::LinkMarks).
    void markLinks();

    int FTextHeight = 0;
    bool FTransparent = false;
    bool FAutoHeight = true;
    int FLineSpace = 2;
    TOnHeightChange FOnHeightChange;
};
