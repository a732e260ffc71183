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
