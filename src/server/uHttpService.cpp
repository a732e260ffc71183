#include "server/uHttpService.h"

#include "server/uWire.h"

#include "data/uFunctions.h"

#include <chrono>
#include <cstdio>
#include <httplib.h>

namespace zsrv {

namespace {

constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kXml = "text/xml; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr std::size_t kMaxCachedBytes = 256u << 20;
constexpr std::size_t kHistoryRows = 300;

thread_local std::chrono::steady_clock::time_point tRequestStart;

// A value from the form body, else from the query: the client sends the
// credentials of a download in both.
std::string credential(const TForm& body, const TForm& query, std::string_view name) {
    if (auto v = FormValue(body, name))
        return *v;
    return FormValue(query, name).value_or(std::string());
}

using THandler = std::function<void(const httplib::Request&, const std::string&, httplib::Response&)>;

// POST routes read their bodies themselves: the library would refuse a form
// body over 8 KiB (a long note, a long comment) before any handler saw it.
void post(httplib::Server& svr, const std::string& pattern, THandler handler) {
    svr.Post(pattern, [h = std::move(handler)](const httplib::Request& req, httplib::Response& res,
                                               const httplib::ContentReader& reader) {
        std::string body;
        reader([&](const char* data, std::size_t length) {
            body.append(data, length);
            return true;
        });
        h(req, body, res);
    });
}

// A route that also answers GET, with an empty body.
void postAndGet(httplib::Server& svr, const std::string& pattern, const THandler& handler) {
    post(svr, pattern, handler);
    svr.Get(pattern,
            [handler](const httplib::Request& req, httplib::Response& res) { handler(req, {}, res); });
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
    auto doc = std::make_shared<const std::string>(WriteNotesDocument(FStore.Notes(account.Id)));
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

void THttpService::Register(httplib::Server& svr) {
    // The request's forms and the account its credentials prove; without one the reply is "-2".
    struct TSigned {
        TForm Query;
        TForm Body;
        std::optional<TAccount> Account;
    };
    const auto signedIn = [this](const httplib::Request& req, const std::string& body,
                                 httplib::Response& res) {
        TSigned r{ParseQuery(req.target), ParseForm(body), std::nullopt};
        r.Account = FAccounts.Authenticate(credential(r.Body, r.Query, "userid"),
                                           credential(r.Body, r.Query, "userpass"));
        if (!r.Account)
            res.set_content("-2", kText);
        return r;
    };
    svr.set_payload_max_length(FConfig.MaxBodyBytes);
    svr.set_keep_alive_max_count(1000);
    // Replies go out as a header write and a body write; with Nagle's delay the
    // second waits for the client's delayed acknowledgement (40 ms) first.
    svr.set_tcp_nodelay(true);
    svr.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        tRequestStart = std::chrono::steady_clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    if (FConfig.LogRequests) {
        // Path only: the query carries the password digest.
        svr.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tRequestStart)
                    .count();
            std::fprintf(stderr, "%s %s %s %s %d %.2fms\n", NowUtc().c_str(), req.remote_addr.c_str(),
                         req.method.c_str(), req.path.c_str(), res.status, ms);
        });
    }
    svr.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown error";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        std::fprintf(stderr, "%s %s failed: %s\n", req.method.c_str(), req.path.c_str(), what.c_str());
        res.status = 500;
        res.set_content("-1", kText);
    });
    svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(std::to_string(res.status), kText);
    });

    // --- notes web service

    post(svr, "/api/v11/update_note.php",
         [this](const httplib::Request& req, const std::string& body, httplib::Response& res) {
             const TForm q = ParseQuery(req.target);
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
             TUploadParse upload = ParseUploadBody(body);
             if (!upload.Error.empty()) {
                 res.set_content("-1", kText);
                 return;
             }
             if (!upload.Notes.empty())
                 FStore.StoreNotes(account->Id, ToValidUtf8(FormValue(q, "pcid").value_or("")), fields,
                                   upload.Notes);
             res.set_content("0", kText);
         });

    const auto getNotes = [this, signedIn](const httplib::Request& req, const std::string& body,
                                           httplib::Response& res) {
        const auto [q, b, account] = signedIn(req, body, res);
        if (!account)
            return;
        std::shared_ptr<const std::string> doc = notesDocument(*account);
        const std::size_t size = doc->size();
        res.set_content_provider(size, kXml,
                                 [doc](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     sink.write(doc->data() + offset, length);
                                     return true;
                                 });
    };
    postAndGet(svr, "/api/v11/get_notes.php", getNotes);

    post(svr, "/api/v11/get_single_note.php",
         [this, signedIn](const httplib::Request& req, const std::string& body, httplib::Response& res) {
             const auto [q, b, account] = signedIn(req, body, res);
             if (!account)
                 return;
             std::vector<TServerNote> notes;
             const std::string id = credential(b, q, "noteid");
             if (auto n = IsUsableNoteId(id) ? FStore.Note(account->Id, id) : std::nullopt)
                 notes.push_back(std::move(*n));
             res.set_content(WriteNotesDocument(notes), kXml);
         });

    post(svr, "/api/v11/del_note.php",
         [this, signedIn](const httplib::Request& req, const std::string& body, httplib::Response& res) {
             const auto [q, b, account] = signedIn(req, body, res);
             if (!account)
                 return;
             // An id the client could not have made names no note (and is not put to the database).
             const std::string id = credential(b, q, "nid");
             const bool found = IsUsableNoteId(id) &&
                                FStore.DeleteNote(account->Id, id, ToValidUtf8(credential(b, q, "pcid")));
             res.set_content(found ? "0" : "-1", kText);
         });

    svr.Get("/api/v11/downloadfiles.php", [this](const httplib::Request& req, httplib::Response& res) {
        // The client writes whatever body comes into the audio file, so every
        // refusal is an error status, never a reply text.
        const TForm q = ParseQuery(req.target);
        const auto account = FAccounts.Authenticate(FormValue(q, "userid").value_or(""),
                                                    FormValue(q, "userpass").value_or(""));
        if (!account) {
            res.status = 403;
            return;
        }
        const std::string id = FormValue(q, "noteid").value_or("");
        auto audio = IsUsableNoteId(id) ? FStore.Audio(account->Id, id) : std::nullopt;
        if (!audio) {
            res.status = 404;
            return;
        }
        res.set_content(std::move(audio->Bytes), "application/octet-stream");
    });

    // --- site root

    svr.Get("/zuvonote.xml", [this](const httplib::Request& req, httplib::Response& res) {
        std::string address = FConfig.PushPublicAddress;
        if (address.empty()) {
            address = FConfig.PushHost;
            // A wildcard listener: name the address this client reached us at.
            if (address == "0.0.0.0" || address == "::" || address.find(':') != std::string::npos)
                address = req.local_addr.rfind("::ffff:", 0) == 0 ? req.local_addr.substr(7) : req.local_addr;
        }
        res.set_content("<?xml version=\"1.0\" encoding=\"utf-8\"?><basicinfo><asyncserver>" +
                            XmlEscape(address) + "</asyncserver></basicinfo>",
                        kXml);
    });

    const auto updateHistory = [this](const httplib::Request& req, const std::string& body,
                                      httplib::Response& res) {
        const TForm q = ParseQuery(req.target);
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
            table += "<tr><td>" + std::to_string(it->Version) + "</td><td>" + HtmlEscape(it->StoredAt) +
                     "</td><td>" + HtmlEscape(describeChange(it->Change)) + "</td><td>" +
                     HtmlEscape(it->Device) + "</td><td>" + multiline(it->Note.Values[ncText]) + "</td></tr>";
        }
        table += "</table>";
        if (versions.size() > shown)
            table += "<p>" + std::to_string(versions.size() - shown) + " older versions are not shown.</p>";
        res.set_content(page("Note Update History", table), kHtml);
    };
    postAndGet(svr, "/update_his.php", updateHistory);

    svr.Get("/qrcode_dl.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(page("Zuvo Note on your phone",
                             "<p>Sign in to the mobile app with the same account and this server's address; "
                             "your notes follow you there.</p>"),
                        kHtml);
    });
    svr.Get("/greenversion.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(page("Zuvo Note portable version",
                             "<p>The portable version is the same program; copy its folder to a removable "
                             "drive and run it from there.</p>"),
                        kHtml);
    });
    svr.Get("/", [](const httplib::Request& req, httplib::Response& res) {
        const TForm q = ParseQuery(req.target);
        std::string text = "<p>This is a Zuvo Note server. Point the program's server setting at this "
                           "address to keep your notes in sync.</p>";
        if (const auto v = FormValue(q, "version"); v && !v->empty())
            text += "<p>Your program version: " + HtmlEscape(*v) + "</p>";
        res.set_content(page("Zuvo Note", text), kHtml);
    });

    // --- sign-on service

    post(svr, "/sso/v3/login_80124.php",
         [this](const httplib::Request&, const std::string& body, httplib::Response& res) {
             const TForm b = ParseForm(body);
             std::int32_t code = -1;
             std::int32_t id = 0;
             const std::string name = trimBlanks(FormValue(b, "username").value_or(""));
             if (!name.empty()) {
                 if (const auto account = FAccounts.AuthenticateAccount(
                         FStore.AccountByEmail(name), FormValue(b, "password").value_or(""));
                     account && account->Id <= INT32_MAX) {
                     code = 0;
                     id = static_cast<std::int32_t>(account->Id);
                 }
             }
             res.set_content(le32(code, id), "application/octet-stream");
         });

    post(svr, "/sso/v3/reg_6541z.php",
         [this](const httplib::Request&, const std::string& body, httplib::Response& res) {
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
             const auto id = FStore.CreateAccount(
                 TNewAccount{email, name, VerifierForPassword(password, FConfig.Pbkdf2Iterations), details});
             res.set_content(id ? "0" : "-2", kText);
         });

    // --- web site

    svr.Get("/www/forgotpassword.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(page("Forgot Password",
                             "<p>This server sends no mail. Ask the person who runs it to set a new password "
                             "with <code>zuvonote-server set-password</code>.</p>"),
                        kHtml);
    });

    post(svr, "/www/utils/feedback.php",
         [this](const httplib::Request& req, const std::string& body, httplib::Response& res) {
             // Each value was URL-encoded by the client and then form-encoded again.
             const TForm b = ParseForm(body);
             const auto value = [&](const char* key) {
                 return PercentDecode(FormValue(b, key).value_or(""), true);
             };
             TFeedback f{value("fbname"), value("fbemail"), value("fbcontent"), value("fbproduct"),
                         req.remote_addr};
             if (!validEmail(f.Email) || f.Content.find_first_not_of(" \t\r\n") == std::string::npos ||
                 !IsValidUtf8(f.Name) || !IsValidUtf8(f.Content) || !IsValidUtf8(f.Product)) {
                 res.set_content("-1", kText);
                 return;
             }
             FStore.AddFeedback(f);
             res.set_content("0", kText);
         });

    // --- advertisement service

    svr.Get("/ads/getad.php", [this](const httplib::Request& req, httplib::Response& res) {
        const TForm q = ParseQuery(req.target);
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
