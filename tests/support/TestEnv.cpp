#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QUuid>

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
