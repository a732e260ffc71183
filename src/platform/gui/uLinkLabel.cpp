#include "platform/gui/uLinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

TLinkLabel::TLinkLabel(QWidget* parent, bool underline) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    setPalette(p);
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
    // Reachable with Tab and followed with Space or Enter, as a link in a browser is.
    setFocusPolicy(Qt::TabFocus);
}

void TLinkLabel::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(e);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
}
