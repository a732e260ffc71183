#include "account/uServicePages.h"

#include "account/uSignOn.h"
#include "lang/uInterfaceLanguage.h"
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

QString PageLanguageQuery() {
    return InterfaceLanguage::Current().language() == QLocale::Chinese ? QStringLiteral("clang=2052")
                                                                       : QStringLiteral("clang=1033");
}

QString WithPageLanguage(const QString& url) {
    return url + (url.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) + PageLanguageQuery();
}

THttpRequest DownloadPageRequest(const QString& userId) {
    return PageRequest(WithPageLanguage(NotesSiteRoot() + QStringLiteral("qrcode_dl.php?userid=") + userId));
}

THttpRequest UpdateHistoryRequest(const QString& userId, const QString& userPass, const QString& noteId) {
    THttpRequest r = PageRequest(WithPageLanguage(NotesSiteRoot() + QStringLiteral("update_his.php")));
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
