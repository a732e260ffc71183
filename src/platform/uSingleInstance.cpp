#include "platform/uSingleInstance.h"

#include <QDir>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString TSingleInstance::RuntimeFolder() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && QDir(xdg).exists())
        return xdg;
    const QString dir = QDir::tempPath() + QStringLiteral("/zuvonote-") + QString::number(::getuid());
    ::mkdir(dir.toLocal8Bit().constData(), 0700);
    return dir;
}

TSingleInstance::TSingleInstance(const QString& name) {
    QString file = name.toLower();
    file.replace(QLatin1Char(' '), QLatin1Char('-'));
    FPath = RuntimeFolder() + QLatin1Char('/') + file + QStringLiteral(".lock");
}

TSingleInstance::~TSingleInstance() {
    if (FFd >= 0)
        ::close(FFd);
}

bool TSingleInstance::TryAcquire() {
    if (FFd >= 0)
        return true;
    // Close-on-exec: a program we start (the updater) must not inherit the lock.
    const int fd = ::open(FPath.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no lock possible: better run than refuse to start
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
