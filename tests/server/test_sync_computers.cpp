// Six computers on one account against the real server: a seeded random
// schedule of edits, new notes, deletions, colour changes, lost connections and
// restarts, after which every computer holds what the server holds and no typed
// word is lost. The schedule is fixed (seed and number of steps);
// ZUVO_SYNC_SIM_SEED replays another one, ZUVO_SYNC_SIM_SECONDS runs it by time.

#include "FaultProxy.h"
#include "ServerTestSupport.h"
#include "SyncSimulation.h"
#include "server/uServerStore.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <limits>

using namespace servertest;

namespace {

syncsim::TSimServer simServer(TTestServer& server, std::int64_t user, const std::string& password) {
    syncsim::TSimServer s;
    s.Root = server.root();
    s.UserId = user;
    s.PassMd5 = Md5(password);
    zsrv::TServerStore& store = server.app().Store();
    s.Texts = [&store, user](const std::string& id) {
        std::vector<std::string> out;
        if (auto n = store.Note(user, id))
            out.push_back(n->Values[zsrv::ncText]);
        for (const zsrv::TNoteVersion& v : store.History(user, id))
            out.push_back(v.Note.Values[zsrv::ncText]);
        return out;
    };
    s.Shown = [&store, user] {
        std::map<std::string, std::pair<std::string, int>> out;
        for (const zsrv::TServerNote& n : store.Notes(user))
            if (n.ShowNote == 1)
                out[n.id()] = {n.Values[zsrv::ncText], int(n.integer(zsrv::ncBgColorIndex))};
        return out;
    };
    return s;
}

std::uint64_t seedFromEnv() {
    if (const QByteArray s = qgetenv("ZUVO_SYNC_SIM_SEED"); !s.isEmpty())
        return s.toULongLong();
    return 20261211;
}

// A server on a fresh database of the parameter's kind with one account.
class SyncComputers : public ::testing::TestWithParam<std::string> {
protected:
    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location()};
    std::int64_t FUser = FServer.addUser("sim@example.com", "sim-pass");

    [[nodiscard]] syncsim::TSimOptions options(int steps, const QString& folder) const {
        syncsim::TSimOptions o;
        o.Seed = seedFromEnv();
        o.MaxSteps = steps;
        // A soak runs by time, with no limit on the steps.
        if (const int seconds = qEnvironmentVariableIntValue("ZUVO_SYNC_SIM_SECONDS"); seconds > 0) {
            o.Seconds = seconds;
            o.MaxSteps = std::numeric_limits<int>::max();
        }
        o.Folder = testenv::freshDir(folder);
        return o;
    }
    [[nodiscard]] syncsim::TSimResult run(const syncsim::TSimOptions& o) {
        const syncsim::TSimResult r = syncsim::Run(o, simServer(FServer, FUser, "sim-pass"));
        std::printf("seed %llu: %d steps, %d tokens, %d deletions\n", static_cast<unsigned long long>(o.Seed),
                    r.Steps, r.Tokens, r.Deletions);
        EXPECT_TRUE(r.Ok) << r.Failure;
        EXPECT_GT(r.Tokens, 0);
        return r;
    }
};

TEST_P(SyncComputers, ManyComputersConvergeAndLoseNothing) {
    (void)run(options(GetParam() == "sqlite" ? 6000 : 4000, QStringLiteral("sim")));
}

TEST_P(SyncComputers, AFaultyNetworkLosesNothingEither) {
    syncsim::TSimOptions o = options(500, QStringLiteral("simfault"));
    const std::string root = FServer.root();
    TFaultProxy proxy(std::uint16_t(std::stoi(root.substr(root.rfind(':') + 1))), o.Seed);
    o.Root = proxy.root();
    (void)run(o);
    std::printf("%d connections went wrong on purpose\n", proxy.faults());
    EXPECT_GT(proxy.faults(), 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, SyncComputers, ::testing::ValuesIn(StoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
