#include "server/api/uAccountApi.h"

#include "server/api/uApiRoutes.h"

#include <cstdint>

namespace zsrv {

namespace {

// Sign-in: a user name and a digest.
constexpr std::size_t kSignInForm = 4u << 10;
// Registration: fourteen short fields, each a line of the dialog.
constexpr std::size_t kRegistrationForm = 16u << 10;

std::string le32(std::int32_t a, std::int32_t b) {
    std::string out(8, '\0');
    for (int i = 0; i < 4; ++i) {
        out[std::size_t(i)] = char((std::uint32_t(a) >> (8 * i)) & 0xFF);
        out[std::size_t(4 + i)] = char((std::uint32_t(b) >> (8 * i)) & 0xFF);
    }
    return out;
}

} // namespace

void RegisterAccountApi(THttpServer& svr, TServerStore& store, TAccounts& accounts) {
    PostRoute(svr, "/sso/v3/login_80124.php", kSignInForm,
              [&accounts](const THttpRequest&, const std::string& body, THttpResponse& res) {
                  const TForm b = ParseForm(body);
                  std::int32_t code = -1;
                  std::int32_t id = 0;
                  const std::string name = TrimBlanks(FormValue(b, "username").value_or(""));
                  if (!name.empty()) {
                      if (const auto account =
                              accounts.AuthenticateEmail(name, FormValue(b, "password").value_or(""));
                          account && account->Id <= INT32_MAX) {
                          code = 0;
                          id = static_cast<std::int32_t>(account->Id);
                      }
                  }
                  res.set_content(le32(code, id), "application/octet-stream");
              });

    PostRoute(svr, "/sso/v3/reg_6541z.php", kRegistrationForm,
              [&store, &accounts](const THttpRequest&, const std::string& body, THttpResponse& res) {
                  const TForm b = ParseOrderedForm(body, {"username", "password", "uemail", "uname", "utel",
                                                          "umobile", "usite", "uprovince", "ucity", "uqq",
                                                          "umsn", "uremark", "regfrom", "affid"});
                  const std::string email = TrimBlanks(FormValue(b, "username").value_or(""));
                  const std::string password = FormValue(b, "password").value_or("");
                  const std::string name = FormValue(b, "uname").value_or("");
                  // The database takes only UTF-8 text; the client never sends anything else.
                  bool utf8 = true;
                  for (const auto& [key, value] : b)
                      utf8 = utf8 && IsValidUtf8(value);
                  if (!utf8 || !IsUsableEmail(email) || email.size() > 100 || TrimBlanks(password).empty() ||
                      TrimBlanks(name).empty()) {
                      res.set_content("-1", kTextReply);
                      return;
                  }
                  std::string details;
                  for (const char* key : {"utel", "umobile", "usite", "uprovince", "ucity", "uqq", "umsn",
                                          "uremark", "regfrom", "affid"})
                      if (const auto v = FormValue(b, key); v && !v->empty())
                          details += std::string(key) + "=" + *v + "\n";
                  // An existing account costs no slow hash (a new one costs one per candidate digest).
                  if (store.AccountByEmail(email)) {
                      res.set_content("-2", kTextReply);
                      return;
                  }
                  const auto id =
                      store.CreateAccount(TNewAccount{email, name, accounts.NewVerifier(password), details});
                  res.set_content(id ? "0" : "-2", kTextReply);
              });

    GetRoute(
        svr, "/www/forgotpassword.php",
        FixedPage({"忘记密码", "<p>这台服务器不发送邮件。请让服务器的管理员用 "
                               "<code>zuvonote-server set-password</code> 设置新密码。</p>"},
                  {"Forgot Password", "<p>This server sends no mail. Ask the person who runs it to set a new "
                                      "password with <code>zuvonote-server set-password</code>.</p>"}));

    // A sign-in whose digest is not known to be right or wrong waits in the check queue.
    svr.Gate("POST", "/sso/v3/login_80124.php",
             TCredentialGate{[&accounts](const THttpRequest& req) {
                                 const TForm b = ParseForm(req.Body);
                                 return CredentialStateOf(
                                     accounts.KnownEmail(TrimBlanks(FormValue(b, "username").value_or("")),
                                                         FormValue(b, "password").value_or("")));
                             },
                             {}});
    // A new account costs a slow hash for each of its candidate digests.
    svr.Gate("POST", "/sso/v3/reg_6541z.php",
             TCredentialGate{[](const THttpRequest&) { return TCredentialState::Unknown; }, {}});
}

} // namespace zsrv
