#include "sync/uEndpoints.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex gLock;
QString gRoot;
QString gCaFile;

QString normalised(QString root) {
    root = root.trimmed();
    if (!root.isEmpty() && !root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}
} // namespace

void SetServerRoot(const QString& configured) {
    QMutexLocker l(&gLock);
    gRoot = normalised(configured);
}

QString ServerRoot() {
    const QString env = normalised(qEnvironmentVariable("ZUVONOTE_SERVER"));
    if (!env.isEmpty())
        return env;
    QMutexLocker l(&gLock);
    return gRoot.isEmpty() ? QString::fromLatin1(kDefaultServerRoot) : gRoot;
}

void SetServerCAFile(const QString& path) {
    QMutexLocker l(&gLock);
    gCaFile = path.trimmed();
}

QString ServerCAFile() {
    QMutexLocker l(&gLock);
    return gCaFile;
}

QString NotesSiteRoot() {
    return ServerRoot();
}
QString NotesApiBase() {
    return ServerRoot() + QStringLiteral("api/v11/");
}
QString SignOnBase() {
    return ServerRoot() + QStringLiteral("sso/v3/");
}
QString WebSiteRoot() {
    return ServerRoot() + QStringLiteral("www/");
}
QString AdServiceRoot() {
    return ServerRoot() + QStringLiteral("ads/");
}
