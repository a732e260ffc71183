#include "server/api/uExtrasApi.h"

#include "server/api/uApiRoutes.h"
#include "server/config/uServerConfig.h"

namespace zsrv {

namespace {

// Feedback: a comment encoded twice, where one character may take 27 bytes.
constexpr std::size_t kFeedbackForm = 64u << 10;

} // namespace

void RegisterExtrasApi(THttpServer& svr, TServerStore& store, const TServerConfig& config) {
    PostRoute(svr, "/www/utils/feedback.php", kFeedbackForm,
              [&store](const THttpRequest& req, const std::string& body, THttpResponse& res) {
                  // Each value was URL-encoded by the client and then form-encoded again.
                  const TForm b = ParseForm(body);
                  const auto value = [&](const char* key) {
                      return PercentDecode(FormValue(b, key).value_or(""), true);
                  };
                  TFeedback f{value("fbname"), value("fbemail"), value("fbcontent"), value("fbproduct"),
                              req.RemoteAddr};
                  if (!IsUsableEmail(f.Email) ||
                      f.Content.find_first_not_of(" \t\r\n") == std::string::npos || !IsValidUtf8(f.Name) ||
                      !IsValidUtf8(f.Content) || !IsValidUtf8(f.Product)) {
                      res.set_content("-1", kTextReply);
                      return;
                  }
                  store.AddFeedback(f);
                  res.set_content("0", kTextReply);
              });

    GetRoute(svr, "/ads/getad.php", [&config](const THttpRequest& req, THttpResponse& res) {
        const TForm q = ParseQuery(req.Target);
        int language = 0;
        try {
            language = std::stoi(FormValue(q, "clang").value_or("0"));
        } catch (const std::exception&) {
        }
        std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?><ads>";
        for (const TAdLine& ad : config.AdsFor(language))
            out += "<aditem><adtext>" + XmlEscape(ad.Text) + "</adtext><adurl>" + XmlEscape(ad.Url) +
                   "</adurl></aditem>";
        out += "</ads>";
        res.set_content(out, kXmlReply);
    });
}

} // namespace zsrv
