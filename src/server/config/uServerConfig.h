#pragma once
// How one server process is set up: an INI file (--config) and flags, the
// flags winning (uSettingsKeys.h names both). Everything defaults to a
// private server on this computer.

#include "shared/uLimits.h"

#include <map>
#include <string>
#include <vector>

namespace zsrv {

struct TAdLine {
    std::string Text;
    std::string Url;

    [[nodiscard]] bool operator==(const TAdLine&) const = default;
};

struct TServerConfig {
    std::string HttpHost = "127.0.0.1";
    int HttpPort = 8086;
    std::string PushHost = "127.0.0.1";
    int PushPort = 50001;
    std::string Db; // "sqlite:PATH" or a PostgreSQL URI; empty: SQLite in the data folder
    std::string TlsCert;
    std::string TlsKey;
    // The push address zuvonote.xml names; empty: the push listen address, or
    // when that is a wildcard, the address the client reached the web server at.
    std::string PushPublicAddress;
    // The support mail address zuvonote.xml names, which the programs' About and
    // Feedback windows show; empty: none is named.
    std::string SupportMail;
    int PushIdleSeconds = 180; // the client sends a keep-alive every 50 s
    int PushLoginSeconds = 30; // a connection must sign in within this time
    // Push connections not signed in yet, from one address and in all; a new
    // one past a limit closes the oldest.
    int PushUnsignedPerAddress = 64;
    int PushUnsignedTotal = 1024;
    // Signed-in devices of one account; a new one past it closes the oldest.
    int PushDevicesPerAccount = 64;
    // Push connections in all; 0: half of the descriptors the database and
    // the listeners leave, the web side taking the other half. A process
    // that mostly holds devices gives the web side what this leaves.
    int PushConnections = 0;
    // Threads that hash passwords, and checks that may wait for them; a check
    // past that gets 503 with Retry-After (a push sign-in is closed).
    int HashThreads = 2;
    int HashQueue = 256;
    std::size_t MaxBodyBytes = std::size_t(zuvo::kDefaultMaxBodyBytes);
    // Requests served at once; uploads that arrive together share one commit,
    // so more threads mean more uploads per second on a disk with slow syncs.
    int HttpThreads = 64;
    bool SqliteFullSync = true; // [server] sqlite_sync = full | normal
    int Pbkdf2Iterations = 100000;
    bool LogRequests = true;
    // Advertisement lines by language id (0: for every language without a list of its own).
    std::map<int, std::vector<TAdLine>> Ads;

    [[nodiscard]] const std::vector<TAdLine>& AdsFor(int language) const;
    [[nodiscard]] bool operator==(const TServerConfig&) const = default;
};

// $XDG_DATA_HOME/Zuvo/Server (or ~/.local/share/Zuvo/Server).
[[nodiscard]] std::string DefaultDataDir();
[[nodiscard]] std::string DefaultDbLocation();

// Splits "host:port"; false when the text is not of that form.
[[nodiscard]] bool SplitHostPort(const std::string& text, std::string& host, int& port);

// Reads an INI file into the configuration; false with a reason when it cannot.
[[nodiscard]] bool LoadConfigFile(const std::string& path, TServerConfig& config, std::string& error);

} // namespace zsrv
