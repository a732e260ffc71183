#pragma once
// Many computers signed in to one account, each a headless sync engine with
// its own store, driven by a seeded random schedule against a real server.
// Shared by the tests (a fixed schedule) and the long-run tool (as long as asked).

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace syncsim {

struct TSimOptions {
    std::uint64_t Seed = 1;
    int Computers = 6;
    // Steps run until this many are done or, when Seconds is above 0, the time
    // is up, whichever comes first. A run by count does the same work however
    // busy the machine is; a run by time is for soaking.
    int MaxSteps = 1000;
    int Seconds = 0;
    // The computers reach the server through this root (a fault proxy, say);
    // empty: the server's own root.
    std::string Root;
    // The folder for the stores.
    QString Folder;
};

struct TSimResult {
    bool Ok = true;
    std::string Failure; // the first broken invariant, with the seed
    int Steps = 0;
    int Tokens = 0;
    int Deletions = 0;
};

// Runs the schedule against a server already running at serverRoot, on which
// the account (userId, password digest) exists; finalRoot is where the last
// rounds go (the server itself, so that they cannot fail). history reads the
// server's versions of one note's text, newest first.
struct TSimServer {
    std::string Root;
    std::int64_t UserId = 0;
    std::string PassMd5;
    // Every text the server ever held for the note (current and history).
    std::function<std::vector<std::string>(const std::string& noteId)> Texts;
    // The notes the server shows: id -> (text, background colour index).
    std::function<std::map<std::string, std::pair<std::string, int>>()> Shown;
};

[[nodiscard]] TSimResult Run(const TSimOptions& options, const TSimServer& server);

} // namespace syncsim
