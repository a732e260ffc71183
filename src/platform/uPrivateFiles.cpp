#include "platform/uPrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFiles {

bool MakeFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QStringList parts = clean.split(QLatin1Char('/'));
    QString at = clean.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        if (part.isEmpty())
            continue;
        at += part;
        if (::mkdir(QFile::encodeName(at).constData(), 0700) != 0 && errno != EEXIST)
            return false;
        at += QLatin1Char('/');
    }
    Close(clean);
    return QFileInfo(clean).isDir();
}

void Close(const QString& path) {
    // Opened without following a link, and changed through the descriptor, so
    // that a link put in its place meanwhile is not followed either.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        (void)::fchmod(fd, st.st_mode & 07700);
    ::close(fd);
}

} // namespace PrivateFiles
