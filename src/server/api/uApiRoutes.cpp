#include "server/api/uApiRoutes.h"

#include "shared/uEmail.h"

#include <cctype>
#include <set>

namespace zsrv {

namespace {

// What the client posts: forms, and the upload document as one form line.
const std::vector<std::string> kForm = {"application/x-www-form-urlencoded"};

} // namespace

void PostRoute(THttpServer& server, const std::string& path, std::size_t maxBody, TFormHandler handler) {
    server.Route(
        "POST", path, maxBody, kForm,
        [h = std::move(handler)](const THttpRequest& req, THttpResponse& res) { h(req, req.Body, res); });
}

void GetRoute(THttpServer& server, const std::string& path, THttpServer::THandler handler) {
    server.Route("GET", path, kSmallForm, kForm, std::move(handler));
}

void PostAndGetRoute(THttpServer& server, const std::string& path, const TFormHandler& handler) {
    PostRoute(server, path, kSmallForm, handler);
    GetRoute(server, path, [handler](const THttpRequest& req, THttpResponse& res) { handler(req, {}, res); });
}

std::string Credential(const TForm& body, const TForm& query, std::string_view name) {
    if (auto v = FormValue(body, name))
        return *v;
    return FormValue(query, name).value_or(std::string());
}

std::string TrimBlanks(std::string_view s) {
    const std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos)
        return {};
    const std::size_t e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

TCredentialState CredentialStateOf(TAccounts::TKnown known) {
    switch (known) {
    case TAccounts::TKnown::Good:
        return TCredentialState::KnownGood;
    case TAccounts::TKnown::Bad:
        return TCredentialState::KnownBad;
    default:
        return TCredentialState::Unknown;
    }
}

TSignedRequest SignedIn(TAccounts& accounts, const THttpRequest& request, const std::string& body,
                        THttpResponse& response) {
    TSignedRequest r{ParseQuery(request.Target), ParseForm(body), std::nullopt};
    r.Account =
        accounts.Authenticate(Credential(r.Body, r.Query, "userid"), Credential(r.Body, r.Query, "userpass"));
    if (!r.Account)
        response.set_content("-2", kTextReply);
    return r;
}

TCredentialGate CredentialGate(TAccounts& accounts) {
    // Known credentials cost no slow hash: their requests go to the request
    // pool at once. Others wait in the check queue.
    const auto known = [&accounts](const THttpRequest& req) {
        const TForm q = ParseQuery(req.Target);
        const TForm b = ParseForm(req.Body);
        return CredentialStateOf(accounts.KnownId(Credential(b, q, "userid"), Credential(b, q, "userpass")));
    };
    return TCredentialGate{known, {}};
}

bool IsUsableEmail(const std::string& text) {
    return IsValidEmail(QString::fromUtf8(text));
}

std::string HtmlPage(std::string_view title, std::string_view body) {
    std::string out = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>";
    out += HtmlEscape(title);
    out += "</title></head><body><h2>";
    out += HtmlEscape(title);
    out += "</h2>";
    out += body;
    out += "</body></html>";
    return out;
}

bool WantsChinesePage(const THttpRequest& request) {
    const TForm q = ParseQuery(request.Target);
    if (const auto id = FormValue(q, "clang"); id && !id->empty()) {
        static const std::set<std::string> kChineseIds = {"2052", "1028", "3076", "4100", "5124"};
        return kChineseIds.count(*id) > 0;
    }
    for (const char* key : {"language", "lang"}) {
        if (const auto v = FormValue(q, key); v && !v->empty()) {
            std::string lower;
            for (const char ch : *v)
                lower += char(std::tolower(static_cast<unsigned char>(ch)));
            return lower.rfind("zh", 0) == 0 || lower == "chinese";
        }
    }
    return false;
}

THttpServer::THandler FixedPage(TPageText chinese, TPageText english) {
    return [chinese, english](const THttpRequest& req, THttpResponse& res) {
        const TPageText& text = WantsChinesePage(req) ? chinese : english;
        res.set_content(HtmlPage(text.Title, text.Body), kHtmlReply);
    };
}

} // namespace zsrv
