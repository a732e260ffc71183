#pragma once
// The sign-on service (sso/v3/): sign-in and registration, and the web site's
// page for a forgotten password.

namespace zsrv {

class TAccounts;
class THttpServer;
class TServerStore;

// Adds the routes and where their requests wait; store and accounts must outlive the server.
void RegisterAccountApi(THttpServer& server, TServerStore& store, TAccounts& accounts);

} // namespace zsrv
