#pragma once
// Every HTTP endpoint the client talks to, under one root: the notes web
// service (api/v11/), the site pages, the sign-on service (sso/v3/), the web
// site (www/) and the advertisement service (ads/).

#include "server/auth/uAccounts.h"
#include "server/config/uServerConfig.h"
#include "server/store/uServerStore.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zsrv {

class THttpServer;

class THttpService {
public:
    THttpService(TServerStore& store, TAccounts& accounts, const TServerConfig& config);
    // Adds the routes, with the body limit of each, and the request log to a server.
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
