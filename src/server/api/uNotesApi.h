#pragma once
// The notes web service (api/v11/): uploads, the full and single-note
// downloads, deletion and audio recordings. The full download's document is
// kept per account until the account's notes change.

#include "server/auth/uAccounts.h"
#include "server/config/uServerConfig.h"
#include "server/store/uServerStore.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zsrv {

class THttpServer;

class TNotesApi {
public:
    TNotesApi(TServerStore& store, TAccounts& accounts, const TServerConfig& config);
    // Adds the routes and where their requests wait; the service must outlive the server.
    void Register(THttpServer& server);

private:
    struct TCachedNotes {
        std::int64_t Version = -1;
        std::shared_ptr<const std::string> Document;
    };
    [[nodiscard]] std::shared_ptr<const std::string> notesDocument(const TAccount& account);

    TServerStore& FStore;
    TAccounts& FAccounts;
    const TServerConfig& FConfig;
    std::mutex FCacheLock;
    std::unordered_map<std::int64_t, TCachedNotes> FNotesCache;
    std::size_t FCacheBytes = 0;
};

} // namespace zsrv
