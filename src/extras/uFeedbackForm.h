#pragma once
// The feedback form of the web site: the local checks, the request, and how
// its reply is read.

#include "net/uHttpClient.h"

#include <QString>

enum class TFeedbackCheck { Ok, InvalidEmail, BlankContent };
[[nodiscard]] TFeedbackCheck CheckFeedback(const QString& email, const QString& content);

// Each value is URL-encoded from UTF-8 first, and the form encoding encodes it
// again, which is what the site decodes. Line breaks travel as CR LF.
[[nodiscard]] THttpRequest FeedbackRequest(const QString& name, const QString& email, const QString& content,
                                           const QString& product);

enum class TFeedbackOutcome { Success, Incomplete, NetworkError, Unknown };
[[nodiscard]] TFeedbackOutcome ReadFeedbackReply(const THttpResponse& response);
