#include "net/uServiceRequest.h"

#include "net/uEndpoints.h"

namespace {

struct TCallerRow {
    TServiceCaller Caller;
    const char* UserAgent;
    int ConnectTimeoutMs;
    int ReadTimeoutMs;
    qsizetype MaxBodyBytes; // 0: the reply may be as long as it is (notes documents, audio)
    bool CarriesSecret;
};

// The main window's own client and the service client of the other windows
// introduce themselves differently; servers that log or route by agent see both.
constexpr TCallerRow kCallers[] = {
    {TServiceCaller::NotesService, ServiceUserAgent, 10000, 10000, 0, true},
    {TServiceCaller::SignOn, ServiceUserAgent, 30000, 30000, kTextReplyLimit, true},
    {TServiceCaller::Pages, ServiceUserAgent, 30000, 30000, kPageReplyLimit, false},
    {TServiceCaller::Adverts, ServiceUserAgent, 10000, 10000, kTextReplyLimit, false},
    // The form has no limits of its own; a hung site must not hold the dialog forever.
    {TServiceCaller::Feedback, ShellUserAgent, 30000, 30000, kTextReplyLimit, false},
    {TServiceCaller::ExitUpload, ShellUserAgent, 5000, 10000, 0, true},
};

const TCallerRow& rowOf(TServiceCaller caller) {
    for (const TCallerRow& row : kCallers)
        if (row.Caller == caller)
            return row;
    return kCallers[0];
}

} // namespace

THttpRequest ServiceRequest(TServiceCaller caller, const QString& url, const QString& caFile) {
    const TCallerRow& row = rowOf(caller);
    THttpRequest r;
    r.Url = url;
    r.UserAgent = row.UserAgent;
    r.ConnectTimeoutMs = row.ConnectTimeoutMs;
    r.ReadTimeoutMs = row.ReadTimeoutMs;
    r.MaxBodyBytes = row.MaxBodyBytes;
    r.CarriesSecret = row.CarriesSecret;
    r.CaFile = caFile;
    return r;
}

THttpRequest ServiceRequest(TServiceCaller caller, const QString& url) {
    return ServiceRequest(caller, url, ServerCAFile());
}

THttpRequest ServiceFormPost(TServiceCaller caller, const QString& url, QByteArray body,
                             const QString& caFile) {
    THttpRequest r = ServiceRequest(caller, url, caFile);
    r.Method = "POST";
    r.ContentType = "application/x-www-form-urlencoded";
    r.Body = std::move(body);
    return r;
}

THttpRequest ServiceFormPost(TServiceCaller caller, const QString& url, QByteArray body) {
    return ServiceFormPost(caller, url, std::move(body), ServerCAFile());
}
