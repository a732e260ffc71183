// zuvonote-server: the notes web service, sign-on service, site pages and push
// server in one process, plus the administrator's commands.

#include "server/api/uAdminApi.h"
#include "server/app/uServerApp.h"
#include "server/config/uConfigCheck.h"
#include "server/config/uServerConfig.h"
#include "server/config/uSettingsKeys.h"
#include "uVersion.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <pthread.h>
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
    TAdminArgs Rest;
};

// Whether a flag takes a value (true), takes none (false), or is unknown (nullopt).
std::optional<bool> flagTakesValue(const std::string& arg) {
    static const std::vector<std::string> kValued = {"--config",   "--email", "--name",
                                                     "--password", "--user",  "--note"};
    static const std::vector<std::string> kBare = {"--password-stdin", "--help", "--version",
                                                   "--check-config"};
    for (const TSettingKey& key : SettingKeys())
        if (key.Flag && arg == key.Flag)
            return key.Kind != TSettingKind::Switch;
    if (std::find(kValued.begin(), kValued.end(), arg) != kValued.end())
        return true;
    if (std::find(kBare.begin(), kBare.end(), arg) != kBare.end())
        return false;
    return std::nullopt;
}

bool parseArgs(int argc, char** argv, TArgs& a, std::string& error) {
    int i = 1;
    if (argc > 1 && argv[1][0] != '-') {
        a.Command = argv[1];
        i = 2;
    }
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::optional<bool> valued = flagTakesValue(arg);
        if (valued == false) {
            a.Rest.Options[arg] = "1";
        } else if (valued == true) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            a.Rest.Options[arg] = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            a.Rest.Positional.push_back(arg);
        }
    }
    return true;
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

} // namespace

int main(int argc, char** argv) {
    TArgs args;
    std::string error;
    if (!parseArgs(argc, argv, args, error)) {
        std::fprintf(stderr, "zuvonote-server: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (args.Rest.Options.count("--help") || args.Command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.Rest.Options.count("--version")) {
        std::printf("zuvonote-server %s\n", zuvo::kVersionText);
        return 0;
    }
    TServerConfig config;
    if (!BuildConfig(args.Rest.Options, config, error)) {
        std::fprintf(stderr, "zuvonote-server: %s\n", error.c_str());
        return 2;
    }
    try {
        if (args.Command == "serve")
            return args.Rest.Options.count("--check-config") ? checkConfig(config) : serve(config);
        if (const std::optional<int> status = RunAdminCommand(args.Command, args.Rest, config))
            return *status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zuvonote-server: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "zuvonote-server: unknown command %s\n%s", args.Command.c_str(), kUsage);
    return 2;
}
