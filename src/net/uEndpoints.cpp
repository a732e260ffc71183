#include "net/uEndpoints.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QUrl>

namespace {
QMutex gLock;
QString gRoot;
QString gCaFile;
QString gSupportMail;

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
QString HomePageUrl() {
    return ServerRoot();
}
QString MakerDomain() {
    return QUrl(ServerRoot()).host();
}
QString SupportMailAddress() {
    QMutexLocker l(&gLock);
    return gSupportMail;
}

void SetSupportMailAddress(const QString& address) {
    // Only what looks like a mail address: the page and the mail link show it as it is.
    const QString a = address.trimmed();
    const bool plausible = a.count(QLatin1Char('@')) == 1 && !a.startsWith(QLatin1Char('@')) &&
                           !a.endsWith(QLatin1Char('@')) &&
                           !a.contains(QRegularExpression(QStringLiteral("[\\s<>\"]")));
    QMutexLocker l(&gLock);
    gSupportMail = plausible ? a : QString();
}

quint16 PushServerPort() {
    bool ok = false;
    const uint port = qEnvironmentVariable("ZUVONOTE_PUSH_PORT").toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? static_cast<quint16>(port) : kDefaultPushPort;
}
