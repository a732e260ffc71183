// Sign-on, registration, feedback, advertisements and the site pages, with
// request bodies encoded the way the client's form encoder writes them.

#include "ServerTestSupport.h"

#include "net/uHttpClient.h"
#include "server/auth/uAccounts.h"
#include "server/store/uServerStore.h"
#include "shared/uLimits.h"
#include "shared/uUrlEncoding.h"
#include "support/TestEnv.h"

#include <functional>
#include <gtest/gtest.h>

using namespace servertest;

namespace {

std::string form(const QList<QString>& lines) {
    return FormBody(lines).toStdString();
}

std::pair<std::int32_t, std::int32_t> loginReply(const std::string& body) {
    EXPECT_EQ(body.size(), 8u);
    if (body.size() < 8)
        return {-1000, 0};
    const auto at = [&](std::size_t i) {
        std::uint32_t u = 0;
        for (int k = 0; k < 4; ++k)
            u |= std::uint32_t(static_cast<unsigned char>(body[i + std::size_t(k)])) << (8 * k);
        return static_cast<std::int32_t>(u);
    };
    return {at(0), at(4)};
}

QList<QString> registration(const QString& account, const QString& password, const QString& name) {
    return {"username=" + account.trimmed(),
            "password=" + password,
            "uemail=" + account,
            "uname=" + name,
            "utel=",
            "umobile=",
            "usite=",
            "uprovince=",
            "ucity=",
            "uqq=",
            "umsn=",
            "uremark=",
            "regfrom=Zuvo Note",
            "affid="};
}

class AccountService : public TStoreTest {
protected:
    std::string sso() const { return FServer.root() + "sso/v3/"; }
    std::pair<std::int32_t, std::int32_t> login(const QString& name, const std::string& digest) {
        const TReply r = Post(sso() + "login_80124.php", form({"username=" + name.trimmed(),
                                                               "password=" + QString::fromStdString(digest),
                                                               "version=1.0.0.1", "productidlist=1,2"}));
        EXPECT_EQ(r.Status, 200);
        return loginReply(r.Body);
    }

    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location()};
};

TEST_P(AccountService, RegisteredAccountSignsInWithThePasswordDigest) {
    const QString password = "p@ss w&rd+=1";
    const TReply reg =
        Post(sso() + "reg_6541z.php", form(registration("new.user@example.com", password, "New")));
    EXPECT_EQ(reg.Body, "0");
    const auto [code, id] = login("  New.User@Example.com ", Md5(password.toStdString()));
    EXPECT_EQ(code, 0);
    EXPECT_GT(id, 0);

    const struct {
        QString Name;
        std::string Digest;
    } refused[] = {{"new.user@example.com", Md5("wrong")},
                   {"nobody@example.com", Md5(password.toStdString())},
                   {"new.user@example.com", ""},
                   {"", Md5(password.toStdString())}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.Name.toStdString() + " " + r.Digest);
        const auto [c, i] = login(r.Name, r.Digest);
        EXPECT_EQ(c, -1);
        EXPECT_EQ(i, 0);
    }
}

TEST_P(AccountService, RegistrationRepliesAsTheClientExpects) {
    ASSERT_EQ(Post(sso() + "reg_6541z.php", form(registration("taken@example.com", "secret1", "T"))).Body,
              "0");
    const struct {
        const char* What;
        QList<QString> Lines;
        const char* Reply;
    } cases[] = {
        {"same account again", registration("taken@example.com", "another1", "T"), "-2"},
        {"same account in other case", registration("TAKEN@example.com", "another1", "T"), "-2"},
        {"no password", registration("a@example.com", "", "T"), "-1"},
        {"blank password", registration("a@example.com", "      ", "T"), "-1"},
        {"no user name", registration("a@example.com", "secret1", ""), "-1"},
        {"not an e-mail address", registration("not-an-address", "secret1", "T"), "-1"},
        {"SQL in the name", registration("b@example.com", "secret1", "x'); drop table accounts; --"), "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(Post(sso() + "reg_6541z.php", form(c.Lines)).Body, c.Reply);
    }
    // Bytes that are not UTF-8 in a field (the form encoder passes %XX through).
    const std::string raw =
        "username=c@example.com&password=secret1&uemail=c@example.com&uname=%C3%28&utel=&umobile="
        "&usite=&uprovince=&ucity=&uqq=&umsn=&uremark=&regfrom=x&affid=";
    const TReply bad = Post(sso() + "reg_6541z.php", raw);
    EXPECT_EQ(bad.Status, 200);
    EXPECT_EQ(bad.Body, "-1");
    EXPECT_EQ(login("taken@example.com", Md5("secret1")).first, 0);
}

TEST_P(AccountService, NonAsciiPasswordWorksFromAClientOnAnyCodePage) {
    const std::string password = "Grüße-密码";
    ASSERT_EQ(Post(sso() + "reg_6541z.php",
                   form(registration("intl@example.com", QString::fromStdString(password), "I")))
                  .Body,
              "0");
    // A client hashes the password's bytes in its own code page, with "?" for
    // what the code page lacks: a Western client sends "Grüße-??", a Chinese one
    // the GBK bytes of all but "ß".
    EXPECT_EQ(login("intl@example.com", Md5(password)).first, 0);
    EXPECT_EQ(login("intl@example.com", Md5("Gr\xFC\xDF"
                                            "e-??"))
                  .first,
              0);
    EXPECT_EQ(login("intl@example.com", Md5("Gr\xA8\xB9?e-\xC3\xDC\xC2\xEB")).first, 0);
    EXPECT_EQ(login("intl@example.com", Md5("Grusse-??")).first, -1);
}

TEST_P(AccountService, AFailedCheckCostsOneSlowHashWhetherTheAccountExistsOrNot) {
    // A password outside ASCII is stored once per code page the client may hash it in.
    const QString password = QString::fromUtf8("Grüße-密码");
    ASSERT_EQ(Post(sso() + "reg_6541z.php", form(registration("many@example.com", password, "M"))).Body, "0");
    const auto [code, id] = login("many@example.com", Md5(password.toStdString()));
    ASSERT_EQ(code, 0);
    zsrv::TAccounts& accounts = FServer.app().Accounts();
    const std::string api = FServer.root() + "api/v11/";
    const auto cost = [&](const std::function<void()>& attempt) {
        const std::uint64_t before = accounts.SlowHashes();
        attempt();
        return accounts.SlowHashes() - before;
    };
    // One wrong digest for all: what one name of the account cost tells nothing of another name.
    const std::string wrong = Md5("wrong");
    const struct {
        const char* What;
        std::function<void()> Attempt;
    } attempts[] = {
        {"sign-in, unknown account", [&] { EXPECT_EQ(login("nobody@example.com", wrong).first, -1); }},
        {"sign-in, account with many hashes", [&] { EXPECT_EQ(login("many@example.com", wrong).first, -1); }},
        {"download, unknown user id",
         [&] { EXPECT_EQ(Post(api + "get_notes.php?userid=987654&userpass=" + wrong, "").Body, "-2"); }},
        {"download, that account's id",
         [&] {
             EXPECT_EQ(
                 Post(api + "get_notes.php?userid=" + std::to_string(id) + "&userpass=" + wrong, "").Body,
                 "-2");
         }},
    };
    for (const auto& a : attempts) {
        SCOPED_TRACE(a.What);
        EXPECT_EQ(cost(a.Attempt), 1u);
        // The same wrong digest again is remembered either way.
        EXPECT_EQ(cost(a.Attempt), 0u);
    }
    // Whether an address is taken is known before any password is hashed.
    EXPECT_EQ(
        cost([&] {
            EXPECT_EQ(
                Post(sso() + "reg_6541z.php", form(registration("MANY@example.com", "other", "M"))).Body,
                "-2");
        }),
        0u);
    EXPECT_EQ(login("many@example.com", Md5(password.toStdString())).first, 0);
}

TEST_P(AccountService, FeedbackIsStoredDecodedOnce) {
    const auto enc = [](const QString& v) { return UrlEncode(v.toUtf8()); };
    const QString content = "Line one & more\r\nzwei: 100% + ümlaut";
    const TReply ok = Post(FServer.root() + "www/utils/feedback.php",
                           form({"fbname=" + enc("Ann B"), "fbemail=" + enc("ann@example.com"),
                                 "fbcontent=" + enc(content), "fbproduct=" + enc("Zuvo Note v1.0.0.1")}));
    EXPECT_EQ(ok.Body, "0");
    EXPECT_EQ(FServer.app().Store().FeedbackCount(), 1);

    for (const auto& [email, text] : std::vector<std::pair<QString, QString>>{
             {"not an address", "hello"}, {"ann@example.com", "   "}, {"", "hello"}}) {
        const TReply bad =
            Post(FServer.root() + "www/utils/feedback.php",
                 form({"fbname=", "fbemail=" + enc(email), "fbcontent=" + enc(text), "fbproduct="}));
        EXPECT_EQ(bad.Body, "-1");
    }
    const TReply notUtf8 =
        Post(FServer.root() + "www/utils/feedback.php",
             "fbname=&fbemail=" + enc("ann@example.com").toStdString() + "&fbcontent=%25FF%25FE&fbproduct=");
    EXPECT_EQ(notUtf8.Status, 200);
    EXPECT_EQ(notUtf8.Body, "-1");
    // A long comment is more than a short form (each character travels as 27 bytes),
    // but a comment is no place to store megabytes.
    const auto comment = [&](int characters) {
        return Post(FServer.root() + "www/utils/feedback.php",
                    form({"fbname=", "fbemail=" + enc("ann@example.com"),
                          "fbcontent=" + enc(QString(characters, QChar(0x4FBF))), "fbproduct="}));
    };
    EXPECT_EQ(comment(2000).Body, "0");
    EXPECT_EQ(comment(20000).Status, 413);
    EXPECT_EQ(FServer.app().Store().FeedbackCount(), 2);
}

TEST_P(AccountService, SitePagesAndBasicInformation) {
    const TReply info = Get(FServer.root() + "zuvonote.xml");
    EXPECT_EQ(info.Status, 200);
    EXPECT_EQ(info.Body,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><basicinfo><asyncserver>127.0.0.1</asyncserver>"
              "<maxupload>" +
                  std::to_string(zuvo::kDefaultMaxBodyBytes) + "</maxupload></basicinfo>");
    // Each page in the language the program asks for, English otherwise.
    const struct {
        const char* Path;
        const char* English;
        const char* Chinese;
    } pages[] = {
        {"greenversion.php", "portable version", "便携版"},
        {"www/greenversion.php", "portable version", "便携版"},
        {"?from=app&version=1.0.0.1", "This is a Zuvo Note server", "这是一台"},
        {"www/forgotpassword.php", "Forgot Password", "忘记密码"},
    };
    for (const auto& p : pages) {
        for (const auto& [query, expected] : {std::pair<std::string, const char*>{"", p.English},
                                              {"clang=1033", p.English},
                                              {"clang=2052", p.Chinese},
                                              {"language=zh_CN", p.Chinese},
                                              {"lang=Chinese", p.Chinese},
                                              {"language=en", p.English}}) {
            const std::string path =
                p.Path + (query.empty()
                              ? ""
                              : (std::string(p.Path).find('?') == std::string::npos ? "?" : "&") + query);
            SCOPED_TRACE(path);
            const TReply page = Get(FServer.root() + path);
            EXPECT_EQ(page.Status, 200);
            EXPECT_NE(page.ContentType.find("text/html"), std::string::npos);
            EXPECT_NE(page.Body.find("</html>"), std::string::npos);
            EXPECT_NE(page.Body.find(expected), std::string::npos) << page.Body;
        }
    }
    // No phone app to offer: an empty page, for which the program opens no window.
    const TReply download = Get(FServer.root() + "qrcode_dl.php?userid=1");
    EXPECT_EQ(download.Status, 200);
    EXPECT_TRUE(download.Body.empty()) << download.Body;
    EXPECT_EQ(Get(FServer.root() + "?from=app&version=<script>").Body.find("<script>"), std::string::npos);
    EXPECT_EQ(Get(FServer.root() + "no/such/page.php").Status, 404);
}

TEST_P(AccountService, AdvertisementsComeFromTheConfiguration) {
    const QString ini = testenv::freshDir("ads") + "/server.ini";
    testenv::writeFile(
        ini, "[server]\npush_address=192.0.2.7\nsupport_mail=help@example.org\n"
             "[ads]\nAd1Text=Fresh & new\nAd1Url=http://example.com/?a=1&b=2\nAd2Text=Second\n"
             "Ad2Url=http://example.com/2\n[ads.2052]\nAd1Text=\xE4\xBE\xBF\nAd1Url=http://example.cn/\n");
    zsrv::TServerConfig config = TTestServer::QuietConfig();
    std::string error;
    ASSERT_TRUE(zsrv::LoadConfigFile(ini.toStdString(), config, error)) << error;
    TTestDatabase db(GetParam());
    TTestServer server(db.location(), config);
    const std::string ads = server.root() + "ads/getad.php?app=Zuvo+Note&appver=v1%2E0&clang=";
    EXPECT_EQ(Get(ads + "1033").Body,
              "<?xml version=\"1.0\" encoding=\"utf-8\"?><ads><aditem><adtext>Fresh &amp; new</adtext>"
              "<adurl>http://example.com/?a=1&amp;b=2</adurl></aditem><aditem><adtext>Second</adtext>"
              "<adurl>http://example.com/2</adurl></aditem></ads>");
    EXPECT_NE(Get(ads + "2052").Body.find("<adtext>\xE4\xBE\xBF</adtext>"), std::string::npos);
    EXPECT_NE(Get(server.root() + "zuvonote.xml").Body.find("<asyncserver>192.0.2.7</asyncserver>"),
              std::string::npos);
    // The support address the programs' About and Feedback windows show.
    EXPECT_NE(Get(server.root() + "zuvonote.xml").Body.find("<supportmail>help@example.org</supportmail>"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Stores, AccountService, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

TEST(ServerConfig, HostPortAndBadValues) {
    const struct {
        const char* Text;
        bool Ok;
        const char* Host;
        int Port;
    } cases[] = {{"127.0.0.1:8086", true, "127.0.0.1", 8086},
                 {"0.0.0.0:0", true, "0.0.0.0", 0},
                 {"[::1]:50001", true, "::1", 50001},
                 {"localhost", false, "", 0},
                 {":80", false, "", 0},
                 {"host:99999", false, "", 0},
                 {"host:8o", false, "", 0}};
    for (const auto& c : cases) {
        std::string host;
        int port = -1;
        EXPECT_EQ(zsrv::SplitHostPort(c.Text, host, port), c.Ok) << c.Text;
        if (c.Ok) {
            EXPECT_EQ(host, c.Host);
            EXPECT_EQ(port, c.Port);
        }
    }
    const QString ini = testenv::freshDir("badconfig") + "/server.ini";
    testenv::writeFile(ini, "[server]\nlisten=nowhere\n");
    zsrv::TServerConfig config;
    std::string error;
    EXPECT_FALSE(zsrv::LoadConfigFile(ini.toStdString(), config, error));
    EXPECT_NE(error.find("listen"), std::string::npos);
    EXPECT_FALSE(zsrv::LoadConfigFile("/no/such/file.ini", config, error));
}

} // namespace
