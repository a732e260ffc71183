#include "server/api/uHttpService.h"

#include "server/http/uHttpServer.h"
#include "server/wire/uWire.h"

#include "shared/uEmail.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>

namespace zsrv {

namespace {

constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kXml = "text/xml; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr std::size_t kMaxCachedBytes = 256u << 20;
constexpr std::size_t kHistoryRows = 300;

// A value from the form body, else from the query: the client sends the
// credentials of a download in both.
std::string credential(const TForm& body, const TForm& query, std::string_view name) {
    if (auto v = FormValue(body, name))
        return *v;
    return FormValue(query, name).value_or(std::string());
}

using THandler = std::function<void(const THttpRequest&, const std::string&, THttpResponse&)>;

// What the client posts: forms, and the upload document as one form line.
const std::vector<std::string> kForm = {"application/x-www-form-urlencoded"};
// Credentials, a note id, a page request: a form of a few short lines.
constexpr std::size_t kSmallForm = 16u << 10;
// Sign-in: a user name and a digest.
constexpr std::size_t kSignInForm = 4u << 10;
// Registration: fourteen short fields, each a line of the dialog.
constexpr std::size_t kRegistrationForm = 16u << 10;
// Feedback: a comment encoded twice, where one character may take 27 bytes.
constexpr std::size_t kFeedbackForm = 64u << 10;

void post(THttpServer& svr, const std::string& path, std::size_t maxBody, THandler handler) {
    svr.Route(
        "POST", path, maxBody, kForm,
        [h = std::move(handler)](const THttpRequest& req, THttpResponse& res) { h(req, req.Body, res); });
}

void get(THttpServer& svr, const std::string& path, THttpServer::THandler handler) {
    svr.Route("GET", path, kSmallForm, kForm, std::move(handler));
}

// A route that also answers GET, with an empty body.
void postAndGet(THttpServer& svr, const std::string& path, const THandler& handler) {
    post(svr, path, kSmallForm, handler);
    get(svr, path, [handler](const THttpRequest& req, THttpResponse& res) { handler(req, {}, res); });
}

std::string le32(std::int32_t a, std::int32_t b) {
    std::string out(8, '\0');
    for (int i = 0; i < 4; ++i) {
        out[std::size_t(i)] = char((std::uint32_t(a) >> (8 * i)) & 0xFF);
        out[std::size_t(4 + i)] = char((std::uint32_t(b) >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string trimBlanks(std::string_view s) {
    const std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos)
        return {};
    const std::size_t e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

std::string page(std::string_view title, std::string_view body) {
    std::string out = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>";
    out += HtmlEscape(title);
    out += "</title></head><body><h2>";
    out += HtmlEscape(title);
    out += "</h2>";
    out += body;
    out += "</body></html>";
    return out;
}

// A page in Chinese when the program asks for it: "clang" is a Windows language
// id (2052 and the other Chinese ones), "language" or "lang" a name or code.
bool chinesePage(const THttpRequest& req) {
    const TForm q = ParseQuery(req.Target);
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

// The client's own e-mail rule, so that what it lets through is taken here.
bool validEmail(const std::string& text) {
    return IsValidEmail(QString::fromUtf8(text));
}

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

TCredentialState stateOf(TAccounts::TKnown known) {
    switch (known) {
    case TAccounts::TKnown::Good:
        return TCredentialState::KnownGood;
    case TAccounts::TKnown::Bad:
        return TCredentialState::KnownBad;
    default:
        return TCredentialState::Unknown;
    }
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

} // namespace

THttpService::THttpService(TServerStore& store, TAccounts& accounts, const TServerConfig& config)
    : FStore(store), FAccounts(accounts), FConfig(config) {}

std::shared_ptr<const std::string> THttpService::notesDocument(const TAccount& account) {
    {
        std::lock_guard l(FCacheLock);
        const auto it = FNotesCache.find(account.Id);
        if (it != FNotesCache.end() && it->second.Version == account.NotesVersion)
            return it->second.Document;
    }
    // Read after the version: the document is at least as new as the version
    // it is filed under, so a cache hit never serves an older state.
    auto doc = std::make_shared<const std::string>(
        WriteNotesDocument(FStore.Notes(account.Id), TStoreStamp{FStore.StoreId(), account.NotesVersion}));
    std::lock_guard l(FCacheLock);
    TCachedNotes& slot = FNotesCache[account.Id];
    if (slot.Version > account.NotesVersion)
        return doc;
    if (slot.Document)
        FCacheBytes -= slot.Document->size();
    if (FCacheBytes + doc->size() > kMaxCachedBytes) {
        FNotesCache.clear();
        FCacheBytes = 0;
    }
    FNotesCache[account.Id] = TCachedNotes{account.NotesVersion, doc};
    FCacheBytes += doc->size();
    return doc;
}

void THttpService::Register(THttpServer& svr) {
    // The request's forms and the account its credentials prove; without one the reply is "-2".
    struct TSigned {
        TForm Query;
        TForm Body;
        std::optional<TAccount> Account;
    };
    const auto signedIn = [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
        TSigned r{ParseQuery(req.Target), ParseForm(body), std::nullopt};
        r.Account = FAccounts.Authenticate(credential(r.Body, r.Query, "userid"),
                                           credential(r.Body, r.Query, "userpass"));
        if (!r.Account)
            res.set_content("-2", kText);
        return r;
    };
    if (FConfig.LogRequests) {
        svr.SetLogger([](const THttpLogEntry& e) {
            std::fprintf(stderr, "%s %s %s %s %d %.2fms\n", NowUtc().c_str(), e.RemoteAddr.c_str(),
                         e.Method.c_str(), e.Path.c_str(), e.Status, e.Milliseconds);
        });
    }
    svr.SetErrorReporter([](const THttpRequest& req, const std::string& what) {
        std::fprintf(stderr, "%s %s failed: %s\n", LoggablePath(req.Method).c_str(),
                     LoggablePath(req.Target).c_str(), LogSafe(what).c_str());
    });

    // --- notes web service

    post(svr, "/api/v11/update_note.php", FConfig.MaxBodyBytes,
         [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
             const TForm q = ParseQuery(req.Target);
             const auto account = FAccounts.Authenticate(FormValue(q, "userid").value_or(""),
                                                         FormValue(q, "userpass").value_or(""));
             if (!account) {
                 res.set_content("-2", kText);
                 return;
             }
             TFieldSet fields; // no field string (the shutdown upload): every attribute
             if (const auto f = FormValue(q, "uploadfields")) {
                 const auto parsed = ParseFieldString(*f);
                 if (!parsed) {
                     res.set_content("-1", kText);
                     return;
                 }
                 // The client's "no field" stands for all of them.
                 fields = parsed->Bits == 0 ? TFieldSet{} : *parsed;
             }
             TUploadParse upload = ParseUploadBody(body, UploadLimitsFor(FConfig.MaxBodyBytes),
                                                   [&req] { return req.clientGone(); });
             if (!upload.Error.empty()) {
                 res.set_content("-1", kText);
                 return;
             }
             if (!upload.Notes.empty())
                 FStore.StoreNotes(account->Id, ToValidUtf8(FormValue(q, "pcid").value_or("")), fields,
                                   upload.Notes);
             res.set_content("0", kText);
         });

    const auto getNotes = [this, signedIn](const THttpRequest& req, const std::string& body,
                                           THttpResponse& res) {
        const auto [q, b, account] = signedIn(req, body, res);
        if (!account)
            return;
        res.Shared = notesDocument(*account);
        res.ContentType = kXml;
    };
    postAndGet(svr, "/api/v11/get_notes.php", getNotes);

    post(svr, "/api/v11/get_single_note.php", kSmallForm,
         [this, signedIn](const THttpRequest& req, const std::string& body, THttpResponse& res) {
             const auto [q, b, account] = signedIn(req, body, res);
             if (!account)
                 return;
             std::vector<TServerNote> notes;
             const std::string id = credential(b, q, "noteid");
             if (auto n = IsUsableNoteId(id) ? FStore.Note(account->Id, id) : std::nullopt)
                 notes.push_back(std::move(*n));
             res.set_content(WriteNotesDocument(notes, TStoreStamp{FStore.StoreId(), account->NotesVersion}),
                             kXml);
         });

    post(svr, "/api/v11/del_note.php", kSmallForm,
         [this, signedIn](const THttpRequest& req, const std::string& body, THttpResponse& res) {
             const auto [q, b, account] = signedIn(req, body, res);
             if (!account)
                 return;
             // An id the client could not have made names no note (and is not put to the database).
             const std::string id = credential(b, q, "nid");
             const bool found = IsUsableNoteId(id) &&
                                FStore.DeleteNote(account->Id, id, ToValidUtf8(credential(b, q, "pcid")));
             res.set_content(found ? "0" : "-1", kText);
         });

    get(svr, "/api/v11/downloadfiles.php", [this](const THttpRequest& req, THttpResponse& res) {
        // The client writes whatever body comes into the audio file, so every
        // refusal is an error status, never a reply text.
        const TForm q = ParseQuery(req.Target);
        const auto account = FAccounts.Authenticate(FormValue(q, "userid").value_or(""),
                                                    FormValue(q, "userpass").value_or(""));
        if (!account) {
            res.Status = 403;
            return;
        }
        const std::string id = FormValue(q, "noteid").value_or("");
        auto audio = IsUsableNoteId(id) ? FStore.Audio(account->Id, id) : std::nullopt;
        if (!audio) {
            res.Status = 404;
            return;
        }
        res.set_content(std::move(audio->Bytes), "application/octet-stream");
    });

    // --- site root

    get(svr, "/zuvonote.xml", [this](const THttpRequest& req, THttpResponse& res) {
        std::string address = FConfig.PushPublicAddress;
        if (address.empty()) {
            address = FConfig.PushHost;
            // A wildcard listener: name the address this client reached us at.
            if (address == "0.0.0.0" || address == "::" || address.find(':') != std::string::npos)
                address = req.LocalAddr.rfind("::ffff:", 0) == 0 ? req.LocalAddr.substr(7) : req.LocalAddr;
        }
        std::string support;
        if (!FConfig.SupportMail.empty())
            support = "<supportmail>" + XmlEscape(FConfig.SupportMail) + "</supportmail>";
        res.set_content("<?xml version=\"1.0\" encoding=\"utf-8\"?><basicinfo><asyncserver>" +
                            XmlEscape(address) + "</asyncserver><maxupload>" +
                            std::to_string(FConfig.MaxBodyBytes) + "</maxupload>" + support + "</basicinfo>",
                        kXml);
    });

    const auto updateHistory = [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
        const TForm q = ParseQuery(req.Target);
        const TForm b = ParseForm(body);
        const auto account = FAccounts.Authenticate(credential(b, q, "userid"), credential(b, q, "userpass"));
        if (!account) {
            res.set_content(
                page("Note Update History", "<p>Please sign in to see the history of this note.</p>"), kHtml);
            return;
        }
        const std::string id = credential(b, q, "noteid");
        const auto versions =
            IsUsableNoteId(id) ? FStore.History(account->Id, id) : std::vector<TNoteVersion>();
        if (versions.empty()) {
            res.set_content(page("Note Update History", "<p>This note has no stored versions yet.</p>"),
                            kHtml);
            return;
        }
        std::string table = "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\"><tr><th>#</th><th>Time "
                            "(UTC)</th><th>Change</th><th>Computer</th><th>Text</th></tr>";
        // The newest versions only: a note saved all day long would make a page
        // too long for the program's small browser window.
        std::size_t shown = 0;
        for (auto it = versions.rbegin(); it != versions.rend() && shown < kHistoryRows; ++it, ++shown) {
            table += "<tr><td>" + std::to_string(it->Version) + "</td><td nowrap>" +
                     HtmlEscape(shortTime(it->StoredAt)) + "</td><td>" +
                     HtmlEscape(describeChange(it->Change)) + "</td><td>" +
                     HtmlEscape(shortDevice(it->Device)) + "</td><td>" + multiline(it->Note.Values[ncText]) +
                     "</td></tr>";
        }
        table += "</table>";
        if (versions.size() > shown)
            table += "<p>" + std::to_string(versions.size() - shown) + " older versions are not shown.</p>";
        res.set_content(page("Note Update History", table), kHtml);
    };
    postAndGet(svr, "/update_his.php", updateHistory);

    // This server offers no phone app: the page is empty, and the program then shows no window for it.
    get(svr, "/qrcode_dl.php", [](const THttpRequest&, THttpResponse& res) { res.set_content("", kHtml); });
    // The program opens it under the web site's folder; older links name the root.
    const auto greenVersion = [](const THttpRequest& req, THttpResponse& res) {
        if (chinesePage(req))
            res.set_content(page("Zuvo便签 便携版", "<p>便携版就是同一个程序：把它的文件夹复制到移动磁盘上，"
                                                    "从那里运行即可。</p>"),
                            kHtml);
        else
            res.set_content(
                page("Zuvo Note portable version",
                     "<p>The portable version is the same program; copy its folder to a removable "
                     "drive and run it from there.</p>"),
                kHtml);
    };
    get(svr, "/greenversion.php", greenVersion);
    get(svr, "/www/greenversion.php", greenVersion);
    get(svr, "/", [](const THttpRequest& req, THttpResponse& res) {
        const TForm q = ParseQuery(req.Target);
        const bool zh = chinesePage(req);
        std::string text =
            zh ? "<p>这是一台 Zuvo便签 服务器。把程序的服务器设置指向这个地址，即可同步您的便签。</p>"
               : "<p>This is a Zuvo Note server. Point the program's server setting at this "
                 "address to keep your notes in sync.</p>";
        if (const auto v = FormValue(q, "version"); v && !v->empty())
            text += (zh ? "<p>您的程序版本：" : "<p>Your program version: ") + HtmlEscape(*v) + "</p>";
        res.set_content(page(zh ? "Zuvo便签" : "Zuvo Note", text), kHtml);
    });

    // --- sign-on service

    post(svr, "/sso/v3/login_80124.php", kSignInForm,
         [this](const THttpRequest&, const std::string& body, THttpResponse& res) {
             const TForm b = ParseForm(body);
             std::int32_t code = -1;
             std::int32_t id = 0;
             const std::string name = trimBlanks(FormValue(b, "username").value_or(""));
             if (!name.empty()) {
                 if (const auto account =
                         FAccounts.AuthenticateEmail(name, FormValue(b, "password").value_or(""));
                     account && account->Id <= INT32_MAX) {
                     code = 0;
                     id = static_cast<std::int32_t>(account->Id);
                 }
             }
             res.set_content(le32(code, id), "application/octet-stream");
         });

    post(svr, "/sso/v3/reg_6541z.php", kRegistrationForm,
         [this](const THttpRequest&, const std::string& body, THttpResponse& res) {
             const TForm b = ParseOrderedForm(body, {"username", "password", "uemail", "uname", "utel",
                                                     "umobile", "usite", "uprovince", "ucity", "uqq", "umsn",
                                                     "uremark", "regfrom", "affid"});
             const std::string email = trimBlanks(FormValue(b, "username").value_or(""));
             const std::string password = FormValue(b, "password").value_or("");
             const std::string name = FormValue(b, "uname").value_or("");
             // The database takes only UTF-8 text; the client never sends anything else.
             bool utf8 = true;
             for (const auto& [key, value] : b)
                 utf8 = utf8 && IsValidUtf8(value);
             if (!utf8 || !validEmail(email) || email.size() > 100 || trimBlanks(password).empty() ||
                 trimBlanks(name).empty()) {
                 res.set_content("-1", kText);
                 return;
             }
             std::string details;
             for (const char* key : {"utel", "umobile", "usite", "uprovince", "ucity", "uqq", "umsn",
                                     "uremark", "regfrom", "affid"})
                 if (const auto v = FormValue(b, key); v && !v->empty())
                     details += std::string(key) + "=" + *v + "\n";
             // An existing account costs no slow hash (a new one costs one per candidate digest).
             if (FStore.AccountByEmail(email)) {
                 res.set_content("-2", kText);
                 return;
             }
             const auto id =
                 FStore.CreateAccount(TNewAccount{email, name, FAccounts.NewVerifier(password), details});
             res.set_content(id ? "0" : "-2", kText);
         });

    // --- web site

    get(svr, "/www/forgotpassword.php", [](const THttpRequest& req, THttpResponse& res) {
        if (chinesePage(req))
            res.set_content(page("忘记密码", "<p>这台服务器不发送邮件。请让服务器的管理员用 "
                                             "<code>zuvonote-server set-password</code> 设置新密码。</p>"),
                            kHtml);
        else
            res.set_content(page("Forgot Password",
                                 "<p>This server sends no mail. Ask the person who runs it to set a new "
                                 "password with <code>zuvonote-server set-password</code>.</p>"),
                            kHtml);
    });

    post(svr, "/www/utils/feedback.php", kFeedbackForm,
         [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
             // Each value was URL-encoded by the client and then form-encoded again.
             const TForm b = ParseForm(body);
             const auto value = [&](const char* key) {
                 return PercentDecode(FormValue(b, key).value_or(""), true);
             };
             TFeedback f{value("fbname"), value("fbemail"), value("fbcontent"), value("fbproduct"),
                         req.RemoteAddr};
             if (!validEmail(f.Email) || f.Content.find_first_not_of(" \t\r\n") == std::string::npos ||
                 !IsValidUtf8(f.Name) || !IsValidUtf8(f.Content) || !IsValidUtf8(f.Product)) {
                 res.set_content("-1", kText);
                 return;
             }
             FStore.AddFeedback(f);
             res.set_content("0", kText);
         });

    // --- where requests with credentials wait

    // Known credentials cost no slow hash: their requests go to the request
    // pool at once. Others wait in the check queue. Uploads are checked on
    // their query before their body is taken.
    const auto knownId = [this](const THttpRequest& req) {
        const TForm q = ParseQuery(req.Target);
        const TForm b = ParseForm(req.Body);
        return stateOf(FAccounts.KnownId(credential(b, q, "userid"), credential(b, q, "userpass")));
    };
    for (const char* path : {"/api/v11/get_notes.php", "/api/v11/get_single_note.php",
                             "/api/v11/del_note.php", "/update_his.php"})
        svr.Gate("POST", path, TCredentialGate{knownId, {}});
    for (const char* path : {"/api/v11/get_notes.php", "/api/v11/downloadfiles.php", "/update_his.php"})
        svr.Gate("GET", path, TCredentialGate{knownId, {}});
    // An upload names its account in the query alone; its body is never read here.
    const auto knownQuery = [this](const THttpRequest& req) {
        const TForm q = ParseQuery(req.Target);
        return stateOf(
            FAccounts.KnownId(FormValue(q, "userid").value_or(""), FormValue(q, "userpass").value_or("")));
    };
    svr.Gate("POST", "/api/v11/update_note.php",
             TCredentialGate{knownQuery, [this](const THttpRequest& req) {
                                 const TForm q = ParseQuery(req.Target);
                                 return FAccounts
                                     .Authenticate(FormValue(q, "userid").value_or(""),
                                                   FormValue(q, "userpass").value_or(""))
                                     .has_value();
                             }});
    svr.Gate("POST", "/sso/v3/login_80124.php",
             TCredentialGate{[this](const THttpRequest& req) {
                                 const TForm b = ParseForm(req.Body);
                                 return stateOf(
                                     FAccounts.KnownEmail(trimBlanks(FormValue(b, "username").value_or("")),
                                                          FormValue(b, "password").value_or("")));
                             },
                             {}});
    // A new account costs a slow hash for each of its candidate digests.
    svr.Gate("POST", "/sso/v3/reg_6541z.php",
             TCredentialGate{[](const THttpRequest&) { return TCredentialState::Unknown; }, {}});

    // --- advertisement service

    get(svr, "/ads/getad.php", [this](const THttpRequest& req, THttpResponse& res) {
        const TForm q = ParseQuery(req.Target);
        int language = 0;
        try {
            language = std::stoi(FormValue(q, "clang").value_or("0"));
        } catch (const std::exception&) {
        }
        std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?><ads>";
        for (const TAdLine& ad : FConfig.AdsFor(language))
            out += "<aditem><adtext>" + XmlEscape(ad.Text) + "</adtext><adurl>" + XmlEscape(ad.Url) +
                   "</adurl></aditem>";
        out += "</ads>";
        res.set_content(out, kXml);
    });
}

} // namespace zsrv
