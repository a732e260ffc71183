#pragma once
// Every HTTP endpoint the client talks to, under one root: the notes web
// service (api/v11/), the site pages, the sign-on service (sso/v3/), the web
// site (www/) and the advertisement service (ads/).

#include "server/api/uNotesApi.h"

namespace zsrv {

class TAccounts;
class THttpServer;
class TServerStore;
struct TServerConfig;

class THttpService {
public:
    THttpService(TServerStore& store, TAccounts& accounts, const TServerConfig& config);
    // Adds the routes, with the body limit of each, and the request log to a
    // server; the service must outlive the server.
    void Register(THttpServer& server);

private:
    TServerStore& FStore;
    TAccounts& FAccounts;
    const TServerConfig& FConfig;
    TNotesApi FNotes;
};

} // namespace zsrv
