#include "extras/uFeedbackForm.h"

#include "net/uEndpoints.h"
#include "net/uServiceRequest.h"
#include "shared/uEmail.h"
#include "shared/uUrlEncoding.h"

#include <algorithm>

TFeedbackCheck CheckFeedback(const QString& email, const QString& content) {
    if (!IsValidEmail(email))
        return TFeedbackCheck::InvalidEmail;
    const bool blank =
        std::all_of(content.begin(), content.end(), [](QChar c) { return c.unicode() <= 0x20; });
    return blank ? TFeedbackCheck::BlankContent : TFeedbackCheck::Ok;
}

THttpRequest FeedbackRequest(const QString& name, const QString& email, const QString& content,
                             const QString& product) {
    // Windows line ends, whatever the editor used.
    QString crlf = content;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const auto line = [](const char* key, const QString& value) {
        return QLatin1String(key) + UrlEncode(value.toUtf8());
    };
    return ServiceFormPost(TServiceCaller::Feedback, WebSiteRoot() + QStringLiteral("utils/feedback.php"),
                           FormBody({line("fbname=", name), line("fbemail=", email), line("fbcontent=", crlf),
                                     line("fbproduct=", product)}));
}

TFeedbackOutcome ReadFeedbackReply(const THttpResponse& response) {
    if (!response.Ok)
        return TFeedbackOutcome::NetworkError;
    const QString text = response.Text().trimmed();
    if (text == QLatin1String("0"))
        return TFeedbackOutcome::Success;
    if (text == QLatin1String("-1"))
        return TFeedbackOutcome::Incomplete;
    if (text == QLatin1String("-999"))
        return TFeedbackOutcome::NetworkError;
    return TFeedbackOutcome::Unknown;
}
