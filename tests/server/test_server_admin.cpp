// The administrator's commands of the zuvonote-server executable, and the web
// endpoints over TLS.

#include "ServerTestSupport.h"

#include "server/store/uServerStore.h"
#include "server/store/uSqlPool.h"
#include "support/TestEnv.h"
#include "uVersion.h"

#include <QFileInfo>
#include <QProcess>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>

using namespace servertest;

namespace {

void writeSelfSigned(const std::string& certPath, const std::string& keyPath);

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

TRun runServer(const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(QStringLiteral(ZUVO_BIN_DIR "/zuvonote-server"), args);
    EXPECT_TRUE(p.waitForStarted(10000));
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

std::string loginCode(const TTestServer& server, const std::string& email, const std::string& password) {
    return Post(server.root() + "sso/v3/login_80124.php",
                "username=" + email + "&password=" + Md5(password) + "&version=1.0.0.1&productidlist=1,2")
        .Body.substr(0, 4);
}

const std::string kSignedIn("\0\0\0\0", 4);

class AdminCommands : public TStoreTest {
protected:
    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location()};
    QString FDbArg = QString::fromStdString(FDb.location());
};

TEST_P(AdminCommands, AddUserSetPasswordAndAddAudio) {
    const TRun add = runServer(
        {"add-user", "--db", FDbArg, "--email", "cli@example.com", "--name", "Cli", "--password-stdin"},
        "first-pass\n");
    ASSERT_EQ(add.Exit, 0) << add.Err;
    const std::string id = add.Out.substr(0, add.Out.find('\n'));
    EXPECT_EQ(loginCode(FServer, "cli@example.com", "first-pass"), kSignedIn);
    EXPECT_EQ(runServer({"add-user", "--db", FDbArg, "--email", "CLI@example.com", "--name", "Again",
                         "--password", "x"})
                  .Exit,
              1);

    ASSERT_EQ(
        runServer({"set-password", "--db", FDbArg, "--email", "cli@example.com", "--password", "second-pass"})
            .Exit,
        0);
    EXPECT_NE(loginCode(FServer, "cli@example.com", "first-pass"), kSignedIn);
    EXPECT_EQ(loginCode(FServer, "cli@example.com", "second-pass"), kSignedIn);

    const std::string creds = "userid=" + id + "&userpass=" + Md5("second-pass") + "&pcid=P1";
    const std::string note = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
    ASSERT_EQ(Post(FServer.root() + "api/v11/update_note.php?" + creds + "&uploadfields=11111111111111111111",
                   "%3CNoteList%3E%3CNoteItem%3E%3Cid%3E" + note +
                       "%3C%2Fid%3E%3Cmynote%3Ememo%3C%2Fmynote%3E%3C%2FNoteItem%3E%3C%2FNoteList%3E")
                  .Body,
              "0");
    const QString file = testenv::freshDir("audio") + "/memo.mp3";
    const std::string bytes = std::string("ID3\x03\x00", 5) + std::string(3000, '\x7F');
    testenv::writeFile(file, QByteArray::fromStdString(bytes));
    const TRun audio = runServer({"add-audio", "--db", FDbArg, "--user", "cli@example.com", "--note",
                                  QString::fromStdString(note), file});
    ASSERT_EQ(audio.Exit, 0) << audio.Err;
    EXPECT_EQ(audio.Out, Md5(bytes) + "\n");
    const TReply got = Get(FServer.root() + "api/v11/downloadfiles.php?" + creds + "&noteid=" + note);
    EXPECT_EQ(got.Status, 200);
    EXPECT_EQ(got.Body, bytes);
    const TReply notes = Post(FServer.root() + "api/v11/get_notes.php?" + creds, creds);
    EXPECT_NE(notes.Body.find("<NoteType>1</NoteType>"), std::string::npos);
    EXPECT_NE(notes.Body.find("<FileMd5>" + Md5(bytes) + "</FileMd5>"), std::string::npos);

    EXPECT_EQ(
        runServer({"add-audio", "--db", FDbArg, "--user", "cli@example.com", "--note", "NO-SUCH-NOTE", file})
            .Exit,
        1);
    EXPECT_EQ(runServer({"add-audio", "--db", FDbArg, "--user", "nobody@example.com", "--note",
                         QString::fromStdString(note), file})
                  .Exit,
              1);
}

namespace {

int modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// The process's umask for one scope.
class TUmask {
public:
    explicit TUmask(mode_t mask) : FOld(::umask(mask)) {}
    ~TUmask() { ::umask(FOld); }
    TUmask(const TUmask&) = delete;
    TUmask& operator=(const TUmask&) = delete;

private:
    mode_t FOld;
};

void writeSomething(zsrv::TSqlPool& pool) {
    pool.Write(
        [](zsrv::TSqlConn& c) { (void)c.Exec("insert or replace into server_info values ('k', 'v')", {}); });
}

} // namespace

TEST(ServerFiles, AStoreTheServerMakesIsItsOwnWhateverTheUmask) {
    for (const mode_t mask : {mode_t(0), mode_t(022), mode_t(002), mode_t(077)}) {
        SCOPED_TRACE(mask);
        const std::string root = testenv::freshDir(QStringLiteral("server-files")).toStdString();
        const std::string db = root + "/made/by/server/server.db";
        const int rootMode = modeOf(root);
        {
            const TUmask umask(mask);
            const auto pool = zsrv::OpenSqlitePool(db);
            writeSomething(*pool);
            EXPECT_EQ(modeOf(root + "/made"), 0700);
            EXPECT_EQ(modeOf(root + "/made/by/server"), 0700);
            for (const char* suffix : {"", "-wal", "-shm"})
                EXPECT_EQ(modeOf(db + suffix), 0600) << suffix;
        }
        // The folder above, which the server did not make, is left alone.
        EXPECT_EQ(modeOf(root), rootMode);
    }
}

TEST(ServerFiles, GroupAccessGivenByThePackageStaysAndOthersLoseTheirs) {
    const TUmask umask(022);
    const std::string folder = testenv::freshDir(QStringLiteral("server-files")).toStdString() + "/state";
    ASSERT_EQ(::mkdir(folder.c_str(), 0750), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0750), 0);
    const std::string db = folder + "/server.db";
    {
        const auto pool = zsrv::OpenSqlitePool(db);
        writeSomething(*pool);
    }
    // An older run left it readable by everyone.
    ASSERT_EQ(::chmod(db.c_str(), 0664), 0);
    const auto pool = zsrv::OpenSqlitePool(db);
    writeSomething(*pool);
    EXPECT_EQ(modeOf(folder), 0750);
    EXPECT_EQ(modeOf(db), 0660);
    for (const char* suffix : {"-wal", "-shm"})
        EXPECT_EQ(modeOf(db + suffix) & 07, 0) << suffix;
}

TEST_P(AdminCommands, FeedbackListShowsEveryMessageOldestFirst) {
    const TRun none = runServer({"feedback", "list", "--db", FDbArg});
    ASSERT_EQ(none.Exit, 0) << none.Err;
    EXPECT_EQ(none.Out, "0 feedback messages\n");

    FServer.app().Store().AddFeedback(
        {"Ann B", "ann@example.com", "first line\r\nsecond line", "Zuvo Note v1.0", "127.0.0.1"});
    FServer.app().Store().AddFeedback(
        {"\xE5\xBC\xA0\xE4\xB8\x89", "z@example.cn", "\xE5\xA5\xBD", "Zuvo Note v1.1", "192.0.2.9"});
    const TRun list = runServer({"feedback", "list", "--db", FDbArg});
    ASSERT_EQ(list.Exit, 0) << list.Err;
    const std::size_t ann = list.Out.find("Ann B <ann@example.com>  Zuvo Note v1.0  from 127.0.0.1\n"
                                          "    first line\n    second line\n");
    const std::size_t zhang =
        list.Out.find("\xE5\xBC\xA0\xE4\xB8\x89 <z@example.cn>  Zuvo Note v1.1  from 192.0.2.9\n"
                      "    \xE5\xA5\xBD\n");
    ASSERT_NE(ann, std::string::npos) << list.Out;
    ASSERT_NE(zhang, std::string::npos) << list.Out;
    EXPECT_LT(ann, zhang);
    EXPECT_NE(list.Out.find("2 feedback messages\n"), std::string::npos) << list.Out;

    const TRun wrong = runServer({"feedback", "delete", "--db", FDbArg});
    EXPECT_EQ(wrong.Exit, 2);
    EXPECT_NE(wrong.Err.find("feedback takes one subcommand: list"), std::string::npos) << wrong.Err;
}

TEST(ServerCommandLine, BadArgumentsAreRefusedWithTheReason) {
    const struct {
        QStringList Args;
        const char* Reason;
    } cases[] = {
        {{"--listen", "nowhere"}, "--listen"},       {{"--tls-cert", "/tmp/cert.pem"}, "TLS"},
        {{"--frobnicate"}, "unknown option"},        {{"launch"}, "unknown command"},
        {{"--db", "mysql://x"}, "unknown database"}, {{"add-user", "--email", "a@b.c"}, "add-user needs"},
    };
    for (const auto& c : cases) {
        const TRun r = runServer(c.Args);
        EXPECT_NE(r.Exit, 0) << c.Args.join(' ').toStdString();
        EXPECT_NE(r.Err.find(c.Reason), std::string::npos) << r.Err;
    }
}

TEST(ServerCommandLine, VersionAndHelp) {
    const TRun version = runServer({"--version"});
    EXPECT_EQ(version.Exit, 0);
    EXPECT_EQ(version.Out, std::string("zuvonote-server ") + zuvo::kVersionText + "\n");
    const TRun help = runServer({"--help"});
    EXPECT_EQ(help.Exit, 0);
    EXPECT_NE(help.Out.find("--check-config"), std::string::npos);
}

TEST(ServerCheckConfig, SaysWhatWouldBeServedAndCreatesNothing) {
    const QString dir = testenv::freshDir("checkconfig");
    testenv::writeFile(
        dir + "/server.ini",
        "; the service's file\n[server]\nlisten=127.0.0.1:8443\npush=0.0.0.0:50001\n"
        "db=sqlite:" +
            dir.toUtf8() +
            "/data/server.db\nhttp_threads=8\npush_connections=50000\n[ads.2052]\nAd1Text=x\nAd1Url=y\n");
    const TRun r = runServer({"--config", dir + "/server.ini", "--check-config"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_NE(r.Out.find("http://127.0.0.1:8443/"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("0.0.0.0:50001"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find(dir.toStdString() + "/data/server.db (will be created)"), std::string::npos)
        << r.Out;
    EXPECT_FALSE(QFileInfo::exists(dir + "/data"));
}

// Every mistake stops the check, and the service too, with a reason naming it.
TEST(ServerCheckConfig, EveryMistakeIsNamed) {
    const QString dir = testenv::freshDir("checkmistakes");
    const std::string d = dir.toStdString();
    writeSelfSigned(d + "/cert.pem", d + "/key.pem");
    writeSelfSigned(d + "/other.pem", d + "/otherkey.pem");
    testenv::writeFile(dir + "/junk.db", "not a database at all, just text that is long enough");
    testenv::writeFile(dir + "/plain", "x");
    const struct {
        const char* Ini; // the file's [server] lines, or nullptr for no file
        QStringList Args;
        const char* Reason;
    } cases[] = {
        {"lisen=127.0.0.1:80\n", {}, "line 2: unknown key lisen in [server]"},
        {"http_threads=many\n", {}, "http_threads is not a whole number"},
        {"push_connections=-5\n", {}, "out of range"},
        {"listen=127.0.0.1:1\nlisten=127.0.0.1:2\n", {}, "listen is given twice"},
        {"[sever]\nlisten=127.0.0.1:1\n", {}, "unknown section [sever]"},
        {"[ads]\nText1=x\n", {}, "unknown key Text1 in [ads]"},
        {"just words\n", {}, "not key=value"},
        {nullptr, {"--listen", "999.1.1.1:80"}, "cannot listen on 999.1.1.1:80"},
        {nullptr, {"--push", "localhost:50001"}, "push connections on localhost:50001: not an IP address"},
        {nullptr, {"--push-address", "notes.example.org"}, "push_address is not a dotted IPv4 address"},
        {nullptr, {"--tls-cert", dir + "/missing.pem", "--tls-key", dir + "/key.pem"}, "cannot read"},
        {nullptr, {"--tls-cert", dir + "/plain", "--tls-key", dir + "/key.pem"}, "holds no PEM certificate"},
        {nullptr,
         {"--tls-cert", dir + "/cert.pem", "--tls-key", dir + "/cert.pem"},
         "holds no PEM private key"},
        {nullptr, {"--tls-cert", dir + "/cert.pem", "--tls-key", dir + "/otherkey.pem"}, "does not belong"},
        {nullptr, {"--db", "sqlite:" + dir + "/junk.db"}, "cannot open the database"},
        {nullptr, {"--db", "sqlite:" + dir + "/plain/server.db"}, "is not a writable folder"},
        {nullptr, {"--db", "postgresql://127.0.0.1:1/none"}, "127.0.0.1"},
    };
    for (const auto& c : cases) {
        QStringList args = c.Args;
        if (c.Ini) {
            testenv::writeFile(dir + "/server.ini", QByteArray("[server]\n") + c.Ini);
            args << "--config" << dir + "/server.ini";
        }
        if (!c.Args.contains("--db"))
            args << "--db"
                 << "sqlite:" + dir + "/unused.db";
        for (const bool check : {true, false}) {
            const TRun r =
                runServer(check ? args + QStringList{"--check-config"} : args + QStringList{"--quiet"});
            EXPECT_NE(r.Exit, 0) << c.Reason;
            EXPECT_NE(r.Err.find(c.Reason), std::string::npos) << r.Err;
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dir + "/unused.db"));
}

// The command line takes every setting's flag, each with its value or none.
TEST(ServerCheckConfig, EverySettingsFlagIsTaken) {
    const QString dir = testenv::freshDir("checkflags");
    const std::string d = dir.toStdString();
    writeSelfSigned(d + "/cert.pem", d + "/key.pem");
    const TRun r =
        runServer({"--check-config", "--listen", "127.0.0.1:18086", "--push", "127.0.0.1:15001",
                   "--push-address", "192.0.2.5", "--db", "sqlite:" + dir + "/flags.db", "--tls-cert",
                   dir + "/cert.pem", "--tls-key", dir + "/key.pem", "--sqlite-sync", "normal", "--quiet"});
    ASSERT_EQ(r.Exit, 0) << r.Err;
    EXPECT_NE(r.Out.find("https://127.0.0.1:18086/"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("push server: 127.0.0.1:15001"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("push address named to clients: 192.0.2.5"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find(d + "/flags.db (will be created)"), std::string::npos) << r.Out;
}

INSTANTIATE_TEST_SUITE_P(Stores, AdminCommands, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

// A self-signed certificate for 127.0.0.1, written as PEM files.
void writeSelfSigned(const std::string& certPath, const std::string& keyPath) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    ASSERT_TRUE(key);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), &X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    ASSERT_GT(X509_sign(cert.get(), key.get(), EVP_sha256()), 0);
    std::unique_ptr<FILE, decltype(&fclose)> c(fopen(certPath.c_str(), "wb"), &fclose);
    std::unique_ptr<FILE, decltype(&fclose)> k(fopen(keyPath.c_str(), "wb"), &fclose);
    ASSERT_TRUE(c && k);
    PEM_write_X509(c.get(), cert.get());
    PEM_write_PrivateKey(k.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
}

size_t collect(char* p, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(p, size * n);
    return size * n;
}

TEST(ServerTls, EndpointsAnswerOverHttps) {
    const std::string dir = testenv::freshDir("tls").toStdString();
    writeSelfSigned(dir + "/cert.pem", dir + "/key.pem");
    zsrv::TServerConfig config = TTestServer::QuietConfig();
    config.TlsCert = dir + "/cert.pem";
    config.TlsKey = dir + "/key.pem";
    TTestDatabase db("sqlite");
    TTestServer server(db.location(), config);

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    std::string body;
    const std::string url = "https://127.0.0.1:" + std::to_string(server.app().HttpPort()) + "/zuvonote.xml";
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, (dir + "/cert.pem").c_str());
    curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    ASSERT_EQ(curl_easy_perform(curl.get()), CURLE_OK);
    EXPECT_NE(body.find("<asyncserver>"), std::string::npos);

    // Plain HTTP on the TLS port gets nothing useful.
    EXPECT_NE(Get("http://127.0.0.1:" + std::to_string(server.app().HttpPort()) + "/zuvonote.xml").Status,
              200);

    zsrv::TServerConfig broken = TTestServer::QuietConfig();
    broken.TlsCert = dir + "/missing.pem";
    broken.TlsKey = dir + "/key.pem";
    broken.Db = db.location();
    zsrv::TServerApp app(broken);
    EXPECT_THROW(app.Start(), std::runtime_error);
}

} // namespace
