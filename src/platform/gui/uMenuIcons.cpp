#include "platform/gui/uMenuIcons.h"

#include <QAction>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// Drawn on a 16 × 16 grid; the painter scales it to each pixmap size.
void draw(QPainter& p, TMenuIcon which) {
    const QColor ink(0x40, 0x40, 0x40);
    QPen pen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const auto letterA = [&p](const QColor& c) {
        p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(3.5, 12), QPointF(8, 2.5), QPointF(12.5, 12)}));
        p.drawLine(QPointF(5.3, 8.5), QPointF(10.7, 8.5));
    };
    switch (which) {
    case TMenuIcon::Add:
        p.setPen(QPen(QColor(0x2e, 0x8b, 0x3e), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case TMenuIcon::Delete:
        p.setPen(QPen(QColor(0xc6, 0x28, 0x28), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case TMenuIcon::Transparency:
        // A checkerboard half covered by a note.
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                if ((x + y) % 2 == 0)
                    p.fillRect(QRectF(2 + x * 3, 2 + y * 3, 3, 3), QColor(0xb0, 0xb0, 0xb0));
        p.fillRect(QRectF(8, 2, 6, 12), QColor(0xfe, 0xea, 0x3e, 170));
        p.drawRect(QRectF(2, 2, 12, 12));
        break;
    case TMenuIcon::Font:
        letterA(ink);
        break;
    case TMenuIcon::TextColor:
        letterA(ink);
        p.fillRect(QRectF(2, 13, 12, 2.5), QColor(0xd3, 0x2f, 0x2f));
        break;
    case TMenuIcon::BackgroundColor: {
        const QColor stripes[] = {QColor(0xfe, 0xea, 0x3e), QColor(0x8f, 0xd1, 0x6a),
                                  QColor(0x7a, 0xb8, 0xf5)};
        for (int i = 0; i < 3; ++i)
            p.fillRect(QRectF(2 + i * 4, 2, 4, 12), stripes[i]);
        p.drawRect(QRectF(2, 2, 12, 12));
        break;
    }
    case TMenuIcon::Reminder:
        p.drawEllipse(QPointF(8, 9), 5.5, 5.5);
        p.drawLine(QPointF(8, 9), QPointF(8, 5.5));
        p.drawLine(QPointF(8, 9), QPointF(10.5, 10.5));
        p.drawLine(QPointF(2.5, 3.5), QPointF(4.5, 1.8));
        p.drawLine(QPointF(13.5, 3.5), QPointF(11.5, 1.8));
        break;
    case TMenuIcon::Exit: {
        QPainterPath arc;
        arc.arcMoveTo(QRectF(2.5, 3, 11, 11), 60);
        arc.arcTo(QRectF(2.5, 3, 11, 11), 60, 300 - 60);
        p.drawPath(arc);
        p.drawLine(QPointF(8, 1.8), QPointF(8, 8));
        break;
    }
    case TMenuIcon::Feedback:
        p.drawRect(QRectF(2, 4, 12, 9));
        p.drawPolyline(QPolygonF({QPointF(2, 4), QPointF(8, 9), QPointF(14, 4)}));
        break;
    case TMenuIcon::About:
        p.setPen(QPen(QColor(0x1e, 0x6f, 0xc8), 1.6));
        p.drawEllipse(QPointF(8, 8), 6, 6);
        p.setPen(QPen(QColor(0x1e, 0x6f, 0xc8), 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 7), QPointF(8, 11.5));
        p.drawPoint(QPointF(8, 4.5));
        break;
    }
}

QPixmap render(TMenuIcon which, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    draw(p, which);
    return pm;
}

} // namespace

QIcon MenuIcon(TMenuIcon which) {
    // Drawn once per process; a menu of every note shares them.
    static QHash<int, QIcon> cache;
    const auto it = cache.constFind(int(which));
    if (it != cache.constEnd())
        return *it;
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addPixmap(render(which, size));
    cache.insert(int(which), icon);
    return icon;
}

void SetMenuIcons(std::initializer_list<std::pair<QAction*, TMenuIcon>> actions) {
    for (const auto& [action, icon] : actions)
        if (action)
            action->setIcon(MenuIcon(icon));
}
