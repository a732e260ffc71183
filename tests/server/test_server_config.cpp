// The server's settings: each key of the INI file and its command-line flag
// give the same setting, every key reaches its setting, and unusable values
// are refused with the reasons administrators have always been given.

#include "server/config/uServerConfig.h"
#include "server/config/uSettingsKeys.h"
#include "support/TestEnv.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace zsrv;

namespace {

// Reads an INI file of the given [server] lines (and whatever follows them) over the defaults.
bool fromFile(const std::string& lines, TServerConfig& config, std::string& error) {
    const QString path = testenv::freshDir(QStringLiteral("serverconfig")) + QStringLiteral("/server.ini");
    testenv::writeFile(path, QByteArray("[server]\n") + QByteArray::fromStdString(lines));
    return LoadConfigFile(path.toStdString(), config, error);
}

TServerConfig fromFile(const std::string& lines) {
    TServerConfig config;
    std::string error;
    EXPECT_TRUE(fromFile(lines, config, error)) << lines << ": " << error;
    return config;
}

using TExpectation = std::function<bool(const TServerConfig&)>;

} // namespace

TEST(ServerSettings, AFlagAndItsKeyGiveTheSameSetting) {
    const struct {
        const char* Key;
        const char* Flag;
        const char* Value; // in the file; the flag's value too, unless the flag takes none
        TExpectation Took;
    } cases[] = {
        {"listen", "--listen", "192.0.2.7:8123",
         [](const auto& c) { return c.HttpHost == "192.0.2.7" && c.HttpPort == 8123; }},
        {"push", "--push", "[::1]:50002",
         [](const auto& c) { return c.PushHost == "::1" && c.PushPort == 50002; }},
        {"push_address", "--push-address", "198.51.100.4",
         [](const auto& c) { return c.PushPublicAddress == "198.51.100.4"; }},
        {"db", "--db", "sqlite:/srv/zuvo/notes.db",
         [](const auto& c) { return c.Db == "sqlite:/srv/zuvo/notes.db"; }},
        {"tls_cert", "--tls-cert", "/etc/zuvo/cert.pem",
         [](const auto& c) { return c.TlsCert == "/etc/zuvo/cert.pem"; }},
        {"tls_key", "--tls-key", "/etc/zuvo/key.pem",
         [](const auto& c) { return c.TlsKey == "/etc/zuvo/key.pem"; }},
        {"sqlite_sync", "--sqlite-sync", "normal", [](const auto& c) { return !c.SqliteFullSync; }},
        {"log_requests", "--quiet", "0", [](const auto& c) { return !c.LogRequests; }},
    };
    std::set<std::string> flagsTried;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        const TServerConfig byFile = fromFile(std::string(c.Key) + "=" + c.Value + "\n");
        TServerConfig byFlag;
        std::string error;
        const bool bare = FindSettingKey(c.Key) && FindSettingKey(c.Key)->Kind == TSettingKind::Switch;
        ASSERT_TRUE(ApplySettingFlags({{c.Flag, bare ? "1" : c.Value}}, byFlag, error)) << error;
        EXPECT_TRUE(c.Took(byFile));
        EXPECT_EQ(byFile, byFlag);
        flagsTried.insert(c.Flag);
    }
    // A flag added to the settings gets a case above.
    for (const TSettingKey& key : SettingKeys()) {
        if (key.Flag) {
            EXPECT_TRUE(flagsTried.count(key.Flag)) << key.Flag << " has no case";
        }
    }
}

TEST(ServerSettings, EveryKeyOfTheFileReachesItsSetting) {
    const struct {
        const char* Line;
        TExpectation Took;
    } cases[] = {
        {"listen=0.0.0.0:18086",
         [](const auto& c) { return c.HttpHost == "0.0.0.0" && c.HttpPort == 18086; }},
        {"push=0.0.0.0:15001", [](const auto& c) { return c.PushHost == "0.0.0.0" && c.PushPort == 15001; }},
        {"push_address=203.0.113.9", [](const auto& c) { return c.PushPublicAddress == "203.0.113.9"; }},
        {"support_mail=help@example.org", [](const auto& c) { return c.SupportMail == "help@example.org"; }},
        {"db=postgresql://zuvo@db/notes", [](const auto& c) { return c.Db == "postgresql://zuvo@db/notes"; }},
        {"tls_cert=/c.pem", [](const auto& c) { return c.TlsCert == "/c.pem"; }},
        {"tls_key=/k.pem", [](const auto& c) { return c.TlsKey == "/k.pem"; }},
        {"sqlite_sync=normal", [](const auto& c) { return !c.SqliteFullSync; }},
        {"push_idle_seconds=91", [](const auto& c) { return c.PushIdleSeconds == 91; }},
        {"push_login_seconds=12", [](const auto& c) { return c.PushLoginSeconds == 12; }},
        {"push_unsigned_per_address=7", [](const auto& c) { return c.PushUnsignedPerAddress == 7; }},
        {"push_unsigned_total=77", [](const auto& c) { return c.PushUnsignedTotal == 77; }},
        {"push_devices_per_account=5", [](const auto& c) { return c.PushDevicesPerAccount == 5; }},
        {"push_connections=0", [](const auto& c) { return c.PushConnections == 0; }},
        {"hash_threads=3", [](const auto& c) { return c.HashThreads == 3; }},
        {"hash_queue=33", [](const auto& c) { return c.HashQueue == 33; }},
        {"max_body_bytes=123456", [](const auto& c) { return c.MaxBodyBytes == 123456u; }},
        {"http_threads=9", [](const auto& c) { return c.HttpThreads == 9; }},
        {"pbkdf2_iterations=1000", [](const auto& c) { return c.Pbkdf2Iterations == 1000; }},
        {"log_requests=0", [](const auto& c) { return !c.LogRequests; }},
    };
    std::string file;
    std::set<std::string> keys;
    for (const auto& c : cases) {
        file += std::string(c.Line) + "\n";
        keys.insert(std::string(c.Line).substr(0, std::string(c.Line).find('=')));
    }
    // All at once, in one file, as an administrator writes it.
    const TServerConfig config = fromFile(file);
    for (const auto& c : cases)
        EXPECT_TRUE(c.Took(config)) << c.Line;
    for (const TSettingKey& key : SettingKeys())
        EXPECT_TRUE(keys.count(key.Key)) << key.Key << " has no case";
    // Keys match without regard to case, as the INI reader's do.
    EXPECT_EQ(fromFile("HTTP_Threads=9\n").HttpThreads, 9);
}

TEST(ServerSettings, UnusableValuesAreRefusedWithTheirReason) {
    const struct {
        const char* Lines; // [server] lines, or nullptr for flags alone
        TFlagValues Flags;
        const char* Error;
    } cases[] = {
        {"listen=nowhere\n", {}, "listen is not host:port: nowhere"},
        {nullptr, {{"--listen", "nowhere"}}, "--listen takes HOST:PORT"},
        {"push=127.0.0.1:70000\n", {}, "push is not host:port: 127.0.0.1:70000"},
        {nullptr, {{"--push", "127.0.0.1"}}, "--push takes HOST:PORT"},
        {"sqlite_sync=fast\n", {}, "sqlite_sync is full or normal, not fast"},
        {nullptr, {{"--sqlite-sync", "fast"}}, "--sqlite-sync takes full or normal"},
        {nullptr, {{"--tls-cert", "/c.pem"}}, "TLS needs both a certificate and a key"},
        {"tls_key=/k.pem\n", {}, "TLS needs both a certificate and a key"},
        {"http_threads=0\n", {}, "a number in [server] is out of range"},
        {"push_connections=-1\n", {}, "a number in [server] is out of range"},
        {"max_body_bytes=0\n", {}, "a number in [server] is out of range"},
        // Once taken as a limit of 16 EiB, that is none at all.
        {"max_body_bytes=-1\n", {}, "a number in [server] is out of range"},
        {"hash_queue=ten\n", {}, "hash_queue is not a whole number: ten"},
        // The first mistake of a file is the one named.
        {"listen=nowhere\nsqlite_sync=fast\nhttp_threads=0\n", {}, "listen is not host:port: nowhere"},
        {"sqlite_sync=fast\nhttp_threads=0\n", {}, "sqlite_sync is full or normal, not fast"},
    };
    for (const auto& c : cases) {
        TFlagValues flags = c.Flags;
        if (c.Lines) {
            const QString path =
                testenv::freshDir(QStringLiteral("serverconfig")) + QStringLiteral("/server.ini");
            testenv::writeFile(path, QByteArray("[server]\n") + c.Lines);
            flags["--config"] = path.toStdString();
        }
        TServerConfig config;
        std::string error;
        EXPECT_FALSE(BuildConfig(flags, config, error)) << c.Error;
        EXPECT_NE(error.find(c.Error), std::string::npos) << error;
    }
}

TEST(ServerSettings, FlagsWinOverTheFileAndTheDatabaseHasADefault) {
    const QString path = testenv::freshDir(QStringLiteral("serverconfig")) + QStringLiteral("/server.ini");
    testenv::writeFile(path, "[server]\nlisten=192.0.2.1:1\npush=192.0.2.1:2\nlog_requests=1\n");
    TServerConfig config;
    std::string error;
    ASSERT_TRUE(BuildConfig({{"--config", path.toStdString()}, {"--listen", "192.0.2.9:9"}, {"--quiet", "1"}},
                            config, error))
        << error;
    EXPECT_EQ(config.HttpHost, "192.0.2.9");
    EXPECT_EQ(config.HttpPort, 9);
    EXPECT_EQ(config.PushHost, "192.0.2.1");
    EXPECT_FALSE(config.LogRequests);
    EXPECT_EQ(config.Db, DefaultDbLocation());
}
