#include "platform/gui/uAppIcon.h"

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
        for (const int size : {16, 22, 24, 32, 48, 64})
            small->addPixmap(full.pixmap(QSize(size, size)));
        return small;
    }();
    return *icon;
}
