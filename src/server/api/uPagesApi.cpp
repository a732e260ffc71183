#include "server/api/uPagesApi.h"

#include "server/api/uApiRoutes.h"
#include "server/config/uServerConfig.h"

namespace zsrv {

namespace {

constexpr std::size_t kHistoryRows = 300;

std::string describeChange(const std::string& change) {
    static constexpr const char* kNames[] = {"text",   "background colour", "font name",  "font size",
                                             "bold",   "transparency",      "list style", "reminder",
                                             "on top", "automatic height",  "text colour"};
    if (change == "delete")
        return "deleted";
    if (change == "audio")
        return "audio recording attached";
    if (change.size() < 11)
        return change;
    if (change.compare(0, 11, "11111111111") == 0)
        return "all attributes";
    std::string out;
    for (int i = 0; i < 11; ++i)
        if (change[std::size_t(i)] == '1')
            out += (out.empty() ? "" : ", ") + std::string(kNames[i]);
    return out.empty() ? "nothing" : out;
}

// "2026-12-10T23:57:26.465Z" as "2026-12-10 23:57:26": the program's small
// browser window would otherwise break the stamp over two lines.
std::string shortTime(std::string_view stamp) {
    std::string out(stamp.substr(0, 19));
    if (out.size() == 19 && out[10] == 'T')
        out[10] = ' ';
    return out;
}

// A computer's id is a GUID; its first group tells computers apart and leaves
// the width of the window to the note's text.
std::string shortDevice(std::string_view device) {
    if (device.size() == 36 && device[8] == '-')
        return std::string(device.substr(0, 8));
    return std::string(device);
}

std::string multiline(std::string_view text) {
    std::string out;
    for (char ch : HtmlEscape(text)) {
        if (ch == '\n')
            out += "<br>";
        else if (ch != '\r')
            out += ch;
    }
    return out;
}

std::string historyTable(const std::vector<TNoteVersion>& versions) {
    std::string table = "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\"><tr><th>#</th><th>Time "
                        "(UTC)</th><th>Change</th><th>Computer</th><th>Text</th></tr>";
    // The newest versions only: a note saved all day long would make a page
    // too long for the program's small browser window.
    std::size_t shown = 0;
    for (auto it = versions.rbegin(); it != versions.rend() && shown < kHistoryRows; ++it, ++shown) {
        table += "<tr><td>" + std::to_string(it->Version) + "</td><td nowrap>" +
                 HtmlEscape(shortTime(it->StoredAt)) + "</td><td>" + HtmlEscape(describeChange(it->Change)) +
                 "</td><td>" + HtmlEscape(shortDevice(it->Device)) + "</td><td>" +
                 multiline(it->Note.Values[ncText]) + "</td></tr>";
    }
    table += "</table>";
    if (versions.size() > shown)
        table += "<p>" + std::to_string(versions.size() - shown) + " older versions are not shown.</p>";
    return table;
}

// The push address the client is to connect to.
std::string pushAddress(const TServerConfig& config, const THttpRequest& req) {
    std::string address = config.PushPublicAddress;
    if (address.empty()) {
        address = config.PushHost;
        // A wildcard listener: name the address this client reached us at.
        if (address == "0.0.0.0" || address == "::" || address.find(':') != std::string::npos)
            address = req.LocalAddr.rfind("::ffff:", 0) == 0 ? req.LocalAddr.substr(7) : req.LocalAddr;
    }
    return address;
}

} // namespace

void RegisterPagesApi(THttpServer& svr, TServerStore& store, TAccounts& accounts,
                      const TServerConfig& config) {
    GetRoute(svr, "/zuvonote.xml", [&config](const THttpRequest& req, THttpResponse& res) {
        std::string support;
        if (!config.SupportMail.empty())
            support = "<supportmail>" + XmlEscape(config.SupportMail) + "</supportmail>";
        res.set_content("<?xml version=\"1.0\" encoding=\"utf-8\"?><basicinfo><asyncserver>" +
                            XmlEscape(pushAddress(config, req)) + "</asyncserver><maxupload>" +
                            std::to_string(config.MaxBodyBytes) + "</maxupload>" + support + "</basicinfo>",
                        kXmlReply);
    });

    PostAndGetRoute(
        svr, "/update_his.php",
        [&store, &accounts](const THttpRequest& req, const std::string& body, THttpResponse& res) {
            const TForm q = ParseQuery(req.Target);
            const TForm b = ParseForm(body);
            const auto account =
                accounts.Authenticate(Credential(b, q, "userid"), Credential(b, q, "userpass"));
            if (!account) {
                res.set_content(
                    HtmlPage("Note Update History", "<p>Please sign in to see the history of this note.</p>"),
                    kHtmlReply);
                return;
            }
            const std::string id = Credential(b, q, "noteid");
            const auto versions =
                IsUsableNoteId(id) ? store.History(account->Id, id) : std::vector<TNoteVersion>();
            if (versions.empty()) {
                res.set_content(
                    HtmlPage("Note Update History", "<p>This note has no stored versions yet.</p>"),
                    kHtmlReply);
                return;
            }
            res.set_content(HtmlPage("Note Update History", historyTable(versions)), kHtmlReply);
        });
    for (const char* method : {"POST", "GET"})
        svr.Gate(method, "/update_his.php", CredentialGate(accounts));

    // This server offers no phone app: the page is empty, and the program then shows no window for it.
    GetRoute(svr, "/qrcode_dl.php",
             [](const THttpRequest&, THttpResponse& res) { res.set_content("", kHtmlReply); });
    // The program opens it under the web site's folder; older links name the root.
    const auto greenVersion = FixedPage(
        {"Zuvo便签 便携版", "<p>便携版就是同一个程序：把它的文件夹复制到移动磁盘上，从那里运行即可。</p>"},
        {"Zuvo Note portable version", "<p>The portable version is the same program; copy its folder to a "
                                       "removable drive and run it from there.</p>"});
    GetRoute(svr, "/greenversion.php", greenVersion);
    GetRoute(svr, "/www/greenversion.php", greenVersion);
    GetRoute(svr, "/", [](const THttpRequest& req, THttpResponse& res) {
        const TForm q = ParseQuery(req.Target);
        const bool zh = WantsChinesePage(req);
        std::string text =
            zh ? "<p>这是一台 Zuvo便签 服务器。把程序的服务器设置指向这个地址，即可同步您的便签。</p>"
               : "<p>This is a Zuvo Note server. Point the program's server setting at this "
                 "address to keep your notes in sync.</p>";
        if (const auto v = FormValue(q, "version"); v && !v->empty())
            text += (zh ? "<p>您的程序版本：" : "<p>Your program version: ") + HtmlEscape(*v) + "</p>";
        res.set_content(HtmlPage(zh ? "Zuvo便签" : "Zuvo Note", text), kHtmlReply);
    });
}

} // namespace zsrv
