#pragma once
// The site root: the basic-information document, the update history of a
// note, the download, portable-version and home pages.

namespace zsrv {

class TAccounts;
class THttpServer;
class TServerStore;
struct TServerConfig;

// Adds the routes and where their requests wait; the arguments must outlive the server.
void RegisterPagesApi(THttpServer& server, TServerStore& store, TAccounts& accounts,
                      const TServerConfig& config);

} // namespace zsrv
