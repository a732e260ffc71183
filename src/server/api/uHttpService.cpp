#include "server/api/uHttpService.h"

#include "server/api/uAccountApi.h"
#include "server/api/uExtrasApi.h"
#include "server/api/uPagesApi.h"
#include "server/http/uHttpServer.h"

#include <cstdio>

namespace zsrv {

THttpService::THttpService(TServerStore& store, TAccounts& accounts, const TServerConfig& config)
    : FStore(store), FAccounts(accounts), FConfig(config), FNotes(store, accounts, config) {}

void THttpService::Register(THttpServer& svr) {
    if (FConfig.LogRequests) {
        svr.SetLogger([](const THttpLogEntry& e) {
            std::fprintf(stderr, "%s %s %s %s %d %.2fms\n", NowUtc().c_str(), e.RemoteAddr.c_str(),
                         e.Method.c_str(), e.Path.c_str(), e.Status, e.Milliseconds);
        });
    }
    svr.SetErrorReporter([](const THttpRequest& req, const std::string& what) {
        std::fprintf(stderr, "%s %s failed: %s\n", LoggablePath(req.Method).c_str(),
                     LoggablePath(req.Target).c_str(), LogSafe(what).c_str());
    });
    FNotes.Register(svr);
    RegisterPagesApi(svr, FStore, FAccounts, FConfig);
    RegisterAccountApi(svr, FStore, FAccounts);
    RegisterExtrasApi(svr, FStore, FConfig);
}

} // namespace zsrv
