#include "platform/gui/uAppIcon.h"

#include <QImage>
#include <QPixmap>
#include <QString>

QIcon AppIcon() {
    QIcon builtIn;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/zuvonote.png").arg(size),
                        QSize(size, size));
    // An icon theme of the desktop's that draws the program its own way wins;
    // the installed hicolor icon is this very picture.
    return QIcon::fromTheme(QStringLiteral("zuvonote"), builtIn);
}

const QIcon& SmallAppIcon() {
    // Made once, at the first window, and kept to the end: its pixmaps must not
    // outlive the application object in a static destructor.
    static const QIcon* const icon = [] {
        const QIcon full = AppIcon();
        auto* small = new QIcon;
        // The sizes window managers ask for most; they scale these for the rest.
        // Held unpremultiplied, the form the X server takes them in, so that a
        // window's creation copies them instead of converting every pixel again.
        for (const int size : {16, 32, 48})
            small->addPixmap(QPixmap::fromImage(
                full.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32),
                Qt::NoFormatConversion));
        return small;
    }();
    return *icon;
}
