// zuvonote-server: the notes web service, sign-on service, site pages and push
// server in one process, plus the administrator's commands.

#include "server/app/uServerApp.h"
#include "server/auth/uAccounts.h"
#include "server/config/uConfigCheck.h"
#include "server/config/uServerConfig.h"
#include "server/store/uServerStore.h"
#include "uVersion.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <pthread.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace zsrv;

constexpr const char* kUsage =
    "usage: zuvonote-server [options]                      serve (the default)\n"
    "       zuvonote-server add-user --email E --name N (--password P | --password-stdin) [options]\n"
    "       zuvonote-server set-password --email E (--password P | --password-stdin) [options]\n"
    "       zuvonote-server add-audio --user E-MAIL|ID --note NOTE-ID FILE [options]\n"
    "       zuvonote-server feedback list [options]   the feedback the programs sent, oldest first\n"
    "options:\n"
    "  --config FILE            INI file (section [server]; see zuvonote-server(1) and\n"
    "                           /usr/share/doc/zuvonote-server/server.md)\n"
    "  --listen HOST:PORT       web endpoints (default 127.0.0.1:8086)\n"
    "  --push HOST:PORT         push server (default 127.0.0.1:50001)\n"
    "  --push-address IPV4      push address named in zuvonote.xml\n"
    "  --db sqlite:PATH | postgresql://...\n"
    "  --tls-cert FILE --tls-key FILE   serve HTTPS\n"
    "  --sqlite-sync full|normal  wait for the disk at every commit (full, the default)\n"
    "  --quiet                  no request log\n"
    "  --check-config           check the configuration, say what would be served, and exit\n"
    "  --help, --version        this text; the version\n";

struct TArgs {
    std::string Command = "serve";
    std::map<std::string, std::string> Options;
    std::vector<std::string> Positional;
};

bool parseArgs(int argc, char** argv, TArgs& a, std::string& error) {
    static const std::vector<std::string> kValued = {
        "--config", "--listen",      "--push", "--push-address", "--db",   "--tls-cert", "--tls-key",
        "--email",  "--sqlite-sync", "--name", "--password",     "--user", "--note"};
    static const std::vector<std::string> kFlags = {"--quiet", "--password-stdin", "--help", "--version",
                                                    "--check-config"};
    int i = 1;
    if (argc > 1 && argv[1][0] != '-') {
        a.Command = argv[1];
        i = 2;
    }
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (std::find(kFlags.begin(), kFlags.end(), arg) != kFlags.end()) {
            a.Options[arg] = "1";
        } else if (std::find(kValued.begin(), kValued.end(), arg) != kValued.end()) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            a.Options[arg] = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            a.Positional.push_back(arg);
        }
    }
    return true;
}

bool buildConfig(const TArgs& a, TServerConfig& c, std::string& error) {
    const auto opt = [&](const char* k) {
        const auto it = a.Options.find(k);
        return it == a.Options.end() ? std::string() : it->second;
    };
    if (const std::string f = opt("--config"); !f.empty() && !LoadConfigFile(f, c, error))
        return false;
    if (const std::string v = opt("--listen"); !v.empty() && !SplitHostPort(v, c.HttpHost, c.HttpPort)) {
        error = "--listen takes HOST:PORT";
        return false;
    }
    if (const std::string v = opt("--push"); !v.empty() && !SplitHostPort(v, c.PushHost, c.PushPort)) {
        error = "--push takes HOST:PORT";
        return false;
    }
    if (const std::string v = opt("--push-address"); !v.empty())
        c.PushPublicAddress = v;
    if (const std::string v = opt("--db"); !v.empty())
        c.Db = v;
    if (const std::string v = opt("--tls-cert"); !v.empty())
        c.TlsCert = v;
    if (const std::string v = opt("--tls-key"); !v.empty())
        c.TlsKey = v;
    if (c.TlsCert.empty() != c.TlsKey.empty()) {
        error = "TLS needs both a certificate and a key";
        return false;
    }
    if (const std::string v = opt("--sqlite-sync"); !v.empty()) {
        if (v != "full" && v != "normal") {
            error = "--sqlite-sync takes full or normal";
            return false;
        }
        c.SqliteFullSync = v == "full";
    }
    if (a.Options.count("--quiet"))
        c.LogRequests = false;
    if (c.Db.empty())
        c.Db = DefaultDbLocation();
    return true;
}

std::string password(const TArgs& a) {
    if (a.Options.count("--password-stdin")) {
        std::string line;
        std::getline(std::cin, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
    const auto it = a.Options.find("--password");
    return it == a.Options.end() ? std::string() : it->second;
}

int checkConfig(const TServerConfig& config) {
    std::string report;
    std::string error;
    if (!CheckServerConfig(config, report, error)) {
        std::fprintf(stderr, "zuvonote-server: %s\n", error.c_str());
        return 1;
    }
    std::fputs(report.c_str(), stdout);
    std::puts("the configuration is usable");
    return 0;
}

int serve(const TServerConfig& config) {
    // Refuse a half-usable configuration before anything is bound or opened.
    if (std::string report, error; !CheckServerConfig(config, report, error)) {
        std::fprintf(stderr, "zuvonote-server: %s\n", error.c_str());
        return 1;
    }
    // Signals are taken by this thread alone, so block them before any other starts.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Every connection is a file descriptor: take as many as the system allows.
    if (rlimit files{}; getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    TServerApp app(config);
    try {
        app.Start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zuvonote-server: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "zuvonote-server: web on %s:%u%s, push on %s:%u, database %s\n",
                 config.HttpHost.c_str(), unsigned(app.HttpPort()), config.TlsCert.empty() ? "" : " (TLS)",
                 config.PushHost.c_str(), unsigned(app.PushPort()),
                 config.Db.rfind("sqlite:", 0) == 0 ? config.Db.c_str() : "PostgreSQL");
    int sig = 0;
    sigwait(&set, &sig);
    std::fprintf(stderr, "zuvonote-server: stopping (signal %d)\n", sig);
    app.Stop();
    return 0;
}

int addUser(const TArgs& a, const TServerConfig& c) {
    const auto email = a.Options.find("--email");
    const auto name = a.Options.find("--name");
    const std::string pass = password(a);
    if (email == a.Options.end() || name == a.Options.end() || pass.empty()) {
        std::fputs("add-user needs --email, --name and a password\n", stderr);
        return 2;
    }
    const auto store = OpenStore(c.Db);
    const auto id = store->CreateAccount(TNewAccount{
        email->second, name->second, VerifierForPassword(pass, c.Pbkdf2Iterations), "regfrom=admin\n"});
    if (!id) {
        std::fprintf(stderr, "the account %s exists already\n", email->second.c_str());
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(*id));
    return 0;
}

int setPassword(const TArgs& a, const TServerConfig& c) {
    const auto email = a.Options.find("--email");
    const std::string pass = password(a);
    if (email == a.Options.end() || pass.empty()) {
        std::fputs("set-password needs --email and a password\n", stderr);
        return 2;
    }
    const auto store = OpenStore(c.Db);
    const auto account = store->AccountByEmail(email->second);
    if (!account || !store->SetVerifier(account->Id, VerifierForPassword(pass, c.Pbkdf2Iterations))) {
        std::fprintf(stderr, "no account %s\n", email->second.c_str());
        return 1;
    }
    return 0;
}

int addAudio(const TArgs& a, const TServerConfig& c) {
    const auto user = a.Options.find("--user");
    const auto note = a.Options.find("--note");
    if (user == a.Options.end() || note == a.Options.end() || a.Positional.size() != 1) {
        std::fputs("add-audio needs --user, --note and one file\n", stderr);
        return 2;
    }
    std::ifstream in(a.Positional[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", a.Positional[0].c_str());
        return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto store = OpenStore(c.Db);
    std::optional<TAccount> account = store->AccountByEmail(user->second);
    if (!account && user->second.find_first_not_of("0123456789") == std::string::npos &&
        !user->second.empty())
        account = store->AccountById(std::stoll(user->second));
    if (!account) {
        std::fprintf(stderr, "no account %s\n", user->second.c_str());
        return 1;
    }
    const std::string md5 = Md5HexOf(bytes);
    if (!store->PutAudio(account->Id, note->second, TAudio{std::move(bytes), md5})) {
        std::fprintf(stderr, "the account has no note %s\n", note->second.c_str());
        return 1;
    }
    std::printf("%s\n", md5.c_str());
    return 0;
}

// One block per message, the text indented, so that a message of several lines stays readable.
int feedbackList(const TArgs& a, const TServerConfig& c) {
    if (a.Positional.size() != 1 || a.Positional[0] != "list") {
        std::fputs("feedback takes one subcommand: list\n", stderr);
        return 2;
    }
    const auto store = OpenStore(c.Db);
    const std::vector<TStoredFeedback> all = store->Feedback();
    for (const TStoredFeedback& f : all) {
        std::printf("#%lld  %s  %s <%s>  %s  from %s\n", static_cast<long long>(f.Id), f.ReceivedAt.c_str(),
                    f.Item.Name.c_str(), f.Item.Email.c_str(), f.Item.Product.c_str(),
                    f.Item.RemoteAddr.c_str());
        std::istringstream lines(f.Item.Content);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::printf("    %s\n", line.c_str());
        }
        std::puts("");
    }
    std::printf("%zu feedback message%s\n", all.size(), all.size() == 1 ? "" : "s");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    TArgs args;
    std::string error;
    if (!parseArgs(argc, argv, args, error)) {
        std::fprintf(stderr, "zuvonote-server: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (args.Options.count("--help") || args.Command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.Options.count("--version")) {
        std::printf("zuvonote-server %s\n", zuvo::kVersionText);
        return 0;
    }
    TServerConfig config;
    if (!buildConfig(args, config, error)) {
        std::fprintf(stderr, "zuvonote-server: %s\n", error.c_str());
        return 2;
    }
    try {
        if (args.Command == "serve")
            return args.Options.count("--check-config") ? checkConfig(config) : serve(config);
        if (args.Command == "add-user")
            return addUser(args, config);
        if (args.Command == "set-password")
            return setPassword(args, config);
        if (args.Command == "add-audio")
            return addAudio(args, config);
        if (args.Command == "feedback")
            return feedbackList(args, config);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zuvonote-server: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "zuvonote-server: unknown command %s\n%s", args.Command.c_str(), kUsage);
    return 2;
}
