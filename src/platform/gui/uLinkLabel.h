#pragma once
// A label that acts as a link: blue, underlined, a hand cursor, and a click
// signal on release of the left button over it.

#include <QLabel>

class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget* parent = nullptr, bool underline = true);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};
