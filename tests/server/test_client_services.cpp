// The program's own account and service requests against the real server:
// what the client builds must be what the server reads, and what the server
// answers must be what the client understands.

#include "ServerTestSupport.h"

#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "extras/uFeedbackForm.h"
#include "extras/uZuvoAds.h"
#include "net/uEndpoints.h"
#include "server/store/uServerStore.h"
#include "support/TestEnv.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace servertest;

namespace {

TRegisterInput newAccount(const QString& account, const QString& password, const QString& name) {
    TRegisterInput in;
    in.Account = account;
    in.UserName = name;
    in.Password = password;
    in.ConfirmPassword = password;
    return in;
}

class ClientServices : public TStoreTest {
protected:
    ClientServices() { SetServerRoot(QString::fromStdString(FServer.root())); }
    ~ClientServices() override { SetServerRoot(QString()); }

    TSignInReply signIn(const QString& account, const QString& password) {
        return ReadSignInReply(HttpPerform(SignInRequest(account, password, "1.0.0.1")));
    }
    TRegisterOutcome registerAccount(const TRegisterInput& in) {
        return ReadRegisterReply(HttpPerform(RegisterRequest(in, QString())));
    }

    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location()};
};

TEST_P(ClientServices, RegisteredAccountSignsInAndOnlyWithItsPassword) {
    // Characters outside ASCII in the password: the digest is of the desktop's code page.
    const QString password = QString::fromUtf8("s3cret ümlaut & more");
    ASSERT_EQ(registerAccount(newAccount("Ann@Example.com", password, "Ann")), TRegisterOutcome::Success);

    const TSignInReply good = signIn("ann@example.com", password);
    EXPECT_EQ(SignInOutcome(good.Code), TSignInOutcome::Success);
    EXPECT_TRUE(good.HasUserId);
    EXPECT_GT(good.UserId, 0);
    // Leading and trailing blanks of the account name are not part of it.
    EXPECT_EQ(signIn("  Ann@Example.com ", password).UserId, good.UserId);

    for (const auto& [account, pass] : std::vector<std::pair<QString, QString>>{
             {"ann@example.com", "s3cret"}, {"ann@example.com", ""}, {"bob@example.com", password}}) {
        SCOPED_TRACE(account.toStdString() + " / " + pass.toStdString());
        const TSignInReply bad = signIn(account, pass);
        EXPECT_TRUE(bad.HasUserId);
        EXPECT_EQ(SignInOutcome(bad.Code), TSignInOutcome::NoUser);
    }
}

TEST_P(ClientServices, RegistrationRepliesTheServerGives) {
    ASSERT_EQ(registerAccount(newAccount("cat@example.com", "pw", "Cat")), TRegisterOutcome::Success);
    // The same address in other letters is the same account.
    EXPECT_EQ(registerAccount(newAccount("CAT@example.com", "other", "C")), TRegisterOutcome::Exists);
    // What the local checks let through but the server refuses: an address too long to store.
    const TRegisterInput longAddress = newAccount(QString(95, 'd') + "@example.com", "password", "Dog");
    ASSERT_EQ(CheckRegisterInput(longAddress), TRegisterCheck::Ok);
    EXPECT_EQ(registerAccount(longAddress), TRegisterOutcome::Incomplete);
    EXPECT_EQ(SignInOutcome(signIn(longAddress.Account, "password").Code), TSignInOutcome::NoUser);
    // The detailed fields travel too, and odd characters in them hurt nothing.
    TRegisterInput full = newAccount("eve@example.com", "pw", "Eve & Co");
    full.Remark = "a=b&c=d + 100%";
    full.City = QString::fromUtf8("北京");
    EXPECT_EQ(registerAccount(full), TRegisterOutcome::Success);
    EXPECT_EQ(SignInOutcome(signIn("eve@example.com", "pw").Code), TSignInOutcome::Success);
}

TEST_P(ClientServices, FeedbackIsStored) {
    const auto send = [](const QString& email, const QString& content) {
        return ReadFeedbackReply(
            HttpPerform(FeedbackRequest("Ann", email, content, QString::fromUtf8("Zuvo Note v1.0.0.1"))));
    };
    EXPECT_EQ(send("ann@example.com", QString::fromUtf8("Line one & more\nzwei: 100% + ümlaut 便")),
              TFeedbackOutcome::Success);
    EXPECT_EQ(FServer.app().Store().FeedbackCount(), 1);
    EXPECT_EQ(send("not an address", "hello"), TFeedbackOutcome::Incomplete);
    EXPECT_EQ(FServer.app().Store().FeedbackCount(), 1);
}

TEST_P(ClientServices, UpdateHistoryPageListsTheNotesVersions) {
    ASSERT_EQ(registerAccount(newAccount("hal@example.com", "pw", "Hal")), TRegisterOutcome::Success);
    const TSignInReply who = signIn("hal@example.com", "pw");
    ASSERT_EQ(who.Code, 0);
    const std::string noteId = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
    zsrv::TUploadNote up;
    up.Note.Values[zsrv::ncId] = noteId;
    up.Present.set(zsrv::ncId);
    up.Present.set(zsrv::ncText);
    for (const char* text : {"first draft", "second <draft>"}) {
        up.Note.Values[zsrv::ncText] = text;
        FServer.app().Store().StoreNotes(who.UserId, "PC", zsrv::TFieldSet{}, {up});
    }

    const auto history = [&](const QString& userPass) {
        return HttpPerform(
            UpdateHistoryRequest(QString::number(who.UserId), userPass, QString::fromStdString(noteId)));
    };
    const THttpResponse page = history(PasswordDigest("pw"));
    ASSERT_TRUE(page.Ok) << page.Error.toStdString();
    const QString html = page.Text();
    EXPECT_TRUE(html.contains("first draft"));
    EXPECT_TRUE(html.contains("second &lt;draft&gt;"));
    // Short enough for the program's small window: a plain time, the computer's first id group.
    EXPECT_TRUE(html.contains(QRegularExpression(R"(<td nowrap>\d{4}-\d\d-\d\d \d\d:\d\d:\d\d</td>)")));
    EXPECT_TRUE(html.contains("<td>PC</td>"));
    EXPECT_FALSE(history(PasswordDigest("wrong")).Text().contains("draft"));
}

TEST_P(ClientServices, DownloadPageIsEmptyAndHomePageIsHtml) {
    // No phone app to offer: an empty page, for which the program opens no window.
    const THttpResponse download = HttpPerform(DownloadPageRequest("7"));
    ASSERT_TRUE(download.Ok) << download.Error.toStdString();
    EXPECT_TRUE(download.Text().trimmed().isEmpty());
    const THttpResponse home = HttpPerform(PageRequest(HomePageUrl()));
    ASSERT_TRUE(home.Ok) << home.Error.toStdString();
    EXPECT_TRUE(home.ContentType.startsWith("text/html"));
    EXPECT_TRUE(home.Text().contains("</html>"));
}

TEST(ClientAdvertisements, ListComesFromTheServersConfiguration) {
    const QString ini = testenv::freshDir("client-ads") + "/server.ini";
    testenv::writeFile(ini, "[ads]\nAd1Text=Fresh & new\nAd1Url=http://example.com/?a=1&b=2\nAd2Text=Second\n"
                            "Ad2Url=http://example.com/2\n[ads.2052]\nAd1Text=\xE4\xBE\xBF\n"
                            "Ad1Url=http://example.cn/\n");
    zsrv::TServerConfig config = TTestServer::QuietConfig();
    std::string error;
    ASSERT_TRUE(zsrv::LoadConfigFile(ini.toStdString(), config, error)) << error;
    TTestDatabase db(StoreKinds().front());
    TTestServer server(db.location(), config);
    SetServerRoot(QString::fromStdString(server.root()));

    const QList<TAdItem> english = ReadAdList(HttpPerform(AdRequest(1033, "Zuvo+Note", "v1%2E0")).Body);
    ASSERT_EQ(english.size(), 2);
    EXPECT_EQ(english[0].AdText, "Fresh & new");
    EXPECT_EQ(english[0].AdUrl, "http://example.com/?a=1&b=2");
    EXPECT_EQ(english[1].AdText, "Second");
    const QList<TAdItem> chinese = ReadAdList(HttpPerform(AdRequest(2052, "Zuvo+Note", "v1%2E0")).Body);
    ASSERT_EQ(chinese.size(), 1);
    EXPECT_EQ(chinese[0].AdText, QString::fromUtf8("便"));
    SetServerRoot(QString());
}

INSTANTIATE_TEST_SUITE_P(Stores, ClientServices, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
