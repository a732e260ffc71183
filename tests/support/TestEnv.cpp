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
