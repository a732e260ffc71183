#include "platform/uSpecialFolders.h"

#include <QStandardPaths>

QString GetSpecialFolder(int id) {
    if (id != CSIDL_APPDATA)
        return {};
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}
