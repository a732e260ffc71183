#pragma once
// Many computers signed in to one account, each a headless sync engine with
// its own store, driven by a seeded random schedule against a real server.
// Shared by the tests (a fixed number of steps, fixed seeds) and the soak
// script (as long as asked, a random seed).

#include "data/uNoteRepository.h"
#include "sync/uSyncEngine.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace syncsim {

// One computer: its store, the repository the windows would use, and a sync
// context whose requests fail while it is offline.
struct TComputer {
    QString StorePath;
    std::unique_ptr<TDbConnection> Db;
    std::unique_ptr<NoteRepository> Notes;
    std::shared_ptr<bool> Online = std::make_shared<bool>(true);
    TSyncContext Ctx;

    // Closes the store and opens it again, as a program killed and started anew.
    void restart();
};

// A computer with a fresh store in folder, signed in to the account at root.
[[nodiscard]] TComputer MakeComputer(const QString& folder, const std::string& root, std::int64_t userId,
                                     const std::string& passMd5, const QString& pcId);

struct TSimOptions {
    std::uint64_t Seed = 1;
    int Computers = 6;
    // Steps run until this many are done or the time is up, whichever comes first.
    int MaxSteps = 1000000;
    int Seconds = 60;
    // The computers reach the server through this root (a fault proxy, say);
    // empty: the server's own root. The store events need the server's own.
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
    int Uploads = 0;     // accepted upload requests
    int TooLarge = 0;    // rows the server refused for their size
    int StoreEvents = 0; // stores replaced or restored under the computers
};

// What the server shows of one note.
struct TServerNote {
    std::string Text;
    int Bg = 0;
    std::string Alert; // alertvalue1
    int Trans = 0;
    friend bool operator==(const TServerNote&, const TServerNote&) = default;
};

// The server the run goes against; the account (userId, password digest)
// exists on it.
struct TSimServer {
    std::string Root;
    std::int64_t UserId = 0;
    std::string PassMd5;
    // The largest body it takes (a note longer than that cannot be stored).
    std::int64_t MaxBodyBytes = 0;
    // Every text the account's note ever had, in every store the server had.
    std::function<std::vector<std::string>(const std::string& noteId)> Texts;
    // The notes the server shows now.
    std::function<std::map<std::string, TServerNote>()> Shown;
    // Store events, each empty when the run cannot do them: a copy of the
    // store is taken; the store is replaced by an empty one (with the same
    // account) or by the copy. Each returns the root the server answers at.
    std::function<void()> Backup;
    std::function<std::string()> ReplaceWithEmpty;
    std::function<std::string()> RestoreBackup;
};

[[nodiscard]] TSimResult Run(const TSimOptions& options, const TSimServer& server);

} // namespace syncsim
