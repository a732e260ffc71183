#include "platform/uSingleInstance.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary folder is shared with every local user: a folder there counts
// only when it is a real folder (no link), ours, and nobody else may write in it,
// or another user could hold our lock or plant a link for us to truncate.
bool isPrivateFolder(const QString& dir) {
    struct stat st {};
    if (::lstat(QFile::encodeName(dir).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Makes the folder (mode 0700) unless it exists; empty when it is not private.
QString privateFolder(const QString& dir) {
    ::mkdir(QFile::encodeName(dir).constData(), 0700);
    return isPrivateFolder(dir) ? dir : QString();
}

QString cacheHome() {
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : xdg;
}

} // namespace

QString TSingleInstance::RuntimeFolder() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(xdg).exists())
        return xdg;
    const QString shared =
        privateFolder(QDir::tempPath() + QStringLiteral("/zuvonote-") + QString::number(::getuid()));
    if (!shared.isEmpty())
        return shared;
    // Someone else took the name in the shared folder: the home folder is ours alone.
    QDir().mkpath(cacheHome());
    return privateFolder(cacheHome() + QStringLiteral("/zuvonote"));
}

TSingleInstance::TSingleInstance(const QString& name) {
    const QString folder = RuntimeFolder();
    if (folder.isEmpty())
        return;
    QString file = name.toLower();
    file.replace(QLatin1Char(' '), QLatin1Char('-'));
    FPath = folder + QLatin1Char('/') + file + QStringLiteral(".lock");
}

TSingleInstance::~TSingleInstance() {
    if (FFd >= 0)
        ::close(FFd);
}

bool TSingleInstance::TryAcquire() {
    if (FFd >= 0)
        return true;
    if (FPath.isEmpty())
        return true; // no lock possible: better run than refuse to start
    // Close-on-exec: a program we start (the updater) must not inherit the lock.
    // No following links: the file is truncated below.
    const int fd =
        ::open(QFile::encodeName(FPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    FFd = fd;
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(fd, 0) == 0)
        (void)!::write(fd, pid.constData(), size_t(pid.size()));
    return true;
}
