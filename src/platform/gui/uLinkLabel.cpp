#include "platform/gui/uLinkLabel.h"

#include <QMouseEvent>

TLinkLabel::TLinkLabel(QWidget* parent, bool underline) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::blue);
    setPalette(p);
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
}
