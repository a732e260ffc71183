#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QUuid>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testenv {

QString root() {
    return qEnvironmentVariable("ZUVO_TEST_ROOT");
}

QString freshDir(const QString& name) {
    const QString path =
        root() + QStringLiteral("/") + name + QLatin1Char('-') + QUuid::createUuid().toString(QUuid::Id128);
    QDir().mkpath(path);
    return path;
}

QString binDir() {
    return QStringLiteral(ZUVO_BIN_DIR);
}
QString sourceDir() {
    return QStringLiteral(ZUVO_SOURCE_DIR);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

quint16 refusedPort() {
    // Bound without listen(): the kernel answers every connection with a reset.
    // The descriptor stays open until the process ends, and children do not inherit it.
    static const quint16 port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            qFatal("no socket for the refused port");
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            qFatal("cannot bind the refused port");
        return ntohs(a.sin_port);
    }();
    return port;
}

QString refusedRoot() {
    return QStringLiteral("http://127.0.0.1:%1/").arg(refusedPort());
}

TScopedEnv::TScopedEnv(const char* name, const QByteArray& value)
    : FName(name), FHad(qEnvironmentVariableIsSet(name)), FOld(qgetenv(name)) {
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

TScopedEnv::~TScopedEnv() {
    if (FHad)
        qputenv(FName, FOld);
    else
        qunsetenv(FName);
}

} // namespace testenv

#include <QFileInfo>
#include <QProcess>
#include <unistd.h>

namespace testenv {

TReadOnly::TReadOnly(QString path) : FPath(std::move(path)) {
    if (::geteuid() == 0) {
        FImmutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), FPath}) == 0;
        FOk = FImmutable;
        return;
    }
    const bool dir = QFileInfo(FPath).isDir();
    FOk = QFile::setPermissions(FPath, dir ? (QFileDevice::ReadOwner | QFileDevice::ExeOwner)
                                           : QFileDevice::ReadOwner);
}

TReadOnly::~TReadOnly() {
    if (FImmutable) {
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), FPath});
        return;
    }
    QFile::setPermissions(FPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace testenv
