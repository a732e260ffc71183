#include "account/uServicePages.h"

#include "account/uSignOn.h"
#include "sync/uEndpoints.h"

THttpRequest PageRequest(const QString& url) {
    THttpRequest r;
    r.Url = url;
    r.UserAgent = ServiceUserAgent;
    r.ConnectTimeoutMs = 30000;
    r.ReadTimeoutMs = 30000;
    r.MaxBodyBytes = kPageReplyLimit;
    r.CaFile = ServerCAFile();
    return r;
}

THttpRequest DownloadPageRequest(const QString& userId) {
    return PageRequest(NotesSiteRoot() + QStringLiteral("qrcode_dl.php?userid=") + userId);
}

THttpRequest UpdateHistoryRequest(const QString& userId, const QString& userPass, const QString& noteId) {
    THttpRequest r = PageRequest(NotesSiteRoot() + QStringLiteral("update_his.php"));
    r.Method = "POST";
    r.ContentType = "application/x-www-form-urlencoded";
    r.CarriesSecret = true;
    const QString body = QStringLiteral("userid=") + userId + QStringLiteral("&userpass=") + userPass +
                         QStringLiteral("&noteid=") + noteId;
    r.Body.reserve(body.size());
    for (const QChar ch : body)
        r.Body.append(char(ch.unicode() & 0xFF));
    return r;
}
