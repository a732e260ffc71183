#pragma once
// The service extras: the advertisement lines (ads/) and the feedback form
// of the web site (www/utils/).

namespace zsrv {

class THttpServer;
class TServerStore;
struct TServerConfig;

// Adds the routes; store and config must outlive the server.
void RegisterExtrasApi(THttpServer& server, TServerStore& store, const TServerConfig& config);

} // namespace zsrv
