#include "account/uServicePages.h"

#include "lang/uInterfaceLanguage.h"
#include "net/uEndpoints.h"
#include "net/uServiceRequest.h"

THttpRequest PageRequest(const QString& url) {
    return ServiceRequest(TServiceCaller::Pages, url);
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
    const QString text = QStringLiteral("userid=") + userId + QStringLiteral("&userpass=") + userPass +
                         QStringLiteral("&noteid=") + noteId;
    QByteArray body;
    body.reserve(text.size());
    for (const QChar ch : text)
        body.append(char(ch.unicode() & 0xFF));
    THttpRequest r = ServiceFormPost(
        TServiceCaller::Pages, WithPageLanguage(NotesSiteRoot() + QStringLiteral("update_his.php")), body);
    r.CarriesSecret = true;
    return r;
}
