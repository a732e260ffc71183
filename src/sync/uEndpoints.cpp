#include "sync/uEndpoints.h"

QString NotesSiteRoot() {
    QString host = qEnvironmentVariable("ZUVONOTE_HOST");
    if (host.isEmpty())
        host = QStringLiteral("http://127.0.0.1:8480/");
    if (!host.endsWith(QLatin1Char('/')))
        host += QLatin1Char('/');
    return host;
}

QString NotesApiBase() {
    return NotesSiteRoot() + QStringLiteral("api/v11/");
}
