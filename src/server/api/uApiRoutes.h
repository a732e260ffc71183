#pragma once
// What every area of the web endpoints builds its routes with: the reply
// types, the body limits of the client's forms, the route helpers, the
// credentials a request carries and the frame of an HTML page.

#include "server/auth/uAccounts.h"
#include "server/http/uHttpServer.h"
#include "server/wire/uWire.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zsrv {

inline constexpr const char* kTextReply = "text/plain; charset=utf-8";
inline constexpr const char* kXmlReply = "text/xml; charset=utf-8";
inline constexpr const char* kHtmlReply = "text/html; charset=utf-8";

// Credentials, a note id, a page request: a form of a few short lines.
inline constexpr std::size_t kSmallForm = 16u << 10;

// A handler that is given the request's form body (empty for a GET).
using TFormHandler = std::function<void(const THttpRequest&, const std::string&, THttpResponse&)>;

// A POST route that takes the client's form bodies up to maxBody bytes.
void PostRoute(THttpServer& server, const std::string& path, std::size_t maxBody, TFormHandler handler);
// A GET route; its query is all it carries.
void GetRoute(THttpServer& server, const std::string& path, THttpServer::THandler handler);
// A route that takes a small form by POST and also answers GET, with an empty body.
void PostAndGetRoute(THttpServer& server, const std::string& path, const TFormHandler& handler);

// A value from the form body, else from the query: the client sends the
// credentials of a download in both.
[[nodiscard]] std::string Credential(const TForm& body, const TForm& query, std::string_view name);
[[nodiscard]] std::string TrimBlanks(std::string_view s);
[[nodiscard]] TCredentialState CredentialStateOf(TAccounts::TKnown known);

// A request's forms and the account its credentials (userid, userpass) prove.
struct TSignedRequest {
    TForm Query;
    TForm Body;
    std::optional<TAccount> Account;
};
// Without an account the reply is already "-2".
[[nodiscard]] TSignedRequest SignedIn(TAccounts& accounts, const THttpRequest& request,
                                      const std::string& body, THttpResponse& response);
// Where a request that carries userid and userpass (in the body or the query) waits.
[[nodiscard]] TCredentialGate CredentialGate(TAccounts& accounts);

// The client's own e-mail rule, so that what it lets through is taken here.
[[nodiscard]] bool IsUsableEmail(const std::string& text);

// A page of the site: the title as its heading, then the body's markup.
[[nodiscard]] std::string HtmlPage(std::string_view title, std::string_view body);
// A page in Chinese when the program asks for it: "clang" is a Windows language
// id (2052 and the other Chinese ones), "language" or "lang" a name or code.
[[nodiscard]] bool WantsChinesePage(const THttpRequest& request);
struct TPageText {
    std::string_view Title;
    std::string_view Body; // markup
};
// A page that never changes, in Chinese when the program asks for it, else in
// English; the texts must outlive the server.
[[nodiscard]] THttpServer::THandler FixedPage(TPageText chinese, TPageText english);

} // namespace zsrv
