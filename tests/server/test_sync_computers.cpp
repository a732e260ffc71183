// Six computers on one account against the real server: a seeded random
// schedule of edits, new notes, deletions, changes of look, emptied and
// too-long notes, lost connections, restarts, and the server's store replaced
// and restored under them; afterwards every computer holds what the server
// holds, every change reached it, and no typed word is lost.
// ZUVO_SYNC_SIM_SEED replays another schedule; ZUVO_SYNC_SIM_SECONDS runs by the clock.

#include "FaultProxy.h"
#include "ServerTestSupport.h"
#include "SyncSimulation.h"
#include "server/store/uServerStore.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace servertest;

namespace {

std::uint64_t seedFromEnv(std::uint64_t fixed) {
    if (const QByteArray s = qgetenv("ZUVO_SYNC_SIM_SEED"); !s.isEmpty())
        return s.toULongLong();
    return fixed;
}

int secondsFromEnv() {
    return qEnvironmentVariableIntValue("ZUVO_SYNC_SIM_SECONDS");
}

// The body limit of the run's server: small, so that a note too long to
// store costs little to make.
constexpr std::size_t kMaxBody = 256u << 10;

zsrv::TServerConfig simConfig() {
    zsrv::TServerConfig c = TTestServer::QuietConfig();
    c.MaxBodyBytes = kMaxBody;
    // Commits that do not wait for the disk: the run is about sync, not power cuts.
    c.SqliteFullSync = false;
    return c;
}

// A server on a fresh database of the parameter's kind with one account; its
// store can be copied, replaced by an empty one, or put back from the copy,
// each time by a server of its own on the new store (the old ones stay, so
// that every text the account ever had can still be read).
class SyncComputers : public TStoreTest {
protected:
    SyncComputers() { start(std::make_unique<TTestDatabase>(GetParam()), true); }

    void start(std::unique_ptr<TTestDatabase> db, bool withAccount) {
        FServers.push_back(std::make_unique<TTestServer>(db->location(), simConfig()));
        FDbs.push_back(std::move(db));
        if (withAccount)
            FUser = current().addUser("sim@example.com", "sim-pass");
    }
    TTestServer& current() { return *FServers.back(); }

    syncsim::TSimServer simServer() {
        syncsim::TSimServer s;
        s.Root = current().root();
        s.UserId = FUser;
        s.PassMd5 = Md5("sim-pass");
        s.MaxBodyBytes = std::int64_t(kMaxBody);
        s.Texts = [this](const std::string& id) {
            std::vector<std::string> out;
            for (const auto& server : FServers) {
                zsrv::TServerStore& store = server->app().Store();
                if (auto n = store.Note(FUser, id))
                    out.push_back(n->Values[zsrv::ncText]);
                for (const zsrv::TNoteVersion& v : store.History(FUser, id))
                    out.push_back(v.Note.Values[zsrv::ncText]);
            }
            return out;
        };
        s.Shown = [this] {
            std::map<std::string, syncsim::TServerNote> out;
            for (const zsrv::TServerNote& n : current().app().Store().Notes(FUser))
                if (n.ShowNote == 1)
                    out[n.id()] = {n.Values[zsrv::ncText], int(n.integer(zsrv::ncBgColorIndex)),
                                   n.Values[zsrv::ncAlertValue1], int(n.integer(zsrv::ncFormTrans))};
            return out;
        };
        s.Backup = [this] {
            FBackup = std::make_unique<TTestDatabase>(GetParam());
            FBackup->copyFrom(*FDbs.back());
        };
        s.RestoreBackup = [this] {
            start(std::move(FBackup), false);
            return current().root();
        };
        s.ReplaceWithEmpty = [this] {
            const std::int64_t before = FUser;
            start(std::make_unique<TTestDatabase>(GetParam()), true);
            EXPECT_EQ(FUser, before) << "the new store's account must have the old one's number";
            return current().root();
        };
        return s;
    }

    [[nodiscard]] syncsim::TSimOptions options(std::uint64_t seed, int steps, const QString& folder) const {
        syncsim::TSimOptions o;
        o.Seed = seedFromEnv(seed);
        // A soak run goes by the clock; a test run by a fixed number of steps,
        // with a generous bound on time should the machine crawl.
        if (const int soak = secondsFromEnv(); soak > 0) {
            o.Seconds = soak;
        } else {
            o.MaxSteps = steps;
            o.Seconds = 240;
        }
        o.Folder = testenv::freshDir(folder);
        return o;
    }
    syncsim::TSimResult run(const syncsim::TSimOptions& o) {
        const syncsim::TSimResult r = syncsim::Run(o, simServer());
        std::printf("seed %llu: %d steps, %d tokens, %d deletions, %d uploads, %d rows too large, %d store "
                    "events\n",
                    static_cast<unsigned long long>(o.Seed), r.Steps, r.Tokens, r.Deletions, r.Uploads,
                    r.TooLarge, r.StoreEvents);
        EXPECT_TRUE(r.Ok) << r.Failure;
        EXPECT_GT(r.Tokens, 0);
        return r;
    }

    std::vector<std::unique_ptr<TTestDatabase>> FDbs;
    std::vector<std::unique_ptr<TTestServer>> FServers;
    std::unique_ptr<TTestDatabase> FBackup;
    std::int64_t FUser = 0;
};

TEST_P(SyncComputers, ManyComputersConvergeAndLoseNothing) {
    const syncsim::TSimResult r = run(options(20261211, 700, QStringLiteral("sim")));
    if (secondsFromEnv() == 0) {
        EXPECT_EQ(r.StoreEvents, 2) << "the store is replaced and restored in every test run";
        EXPECT_GT(r.TooLarge, 0);
    }
}

TEST_P(SyncComputers, AFaultyNetworkLosesNothingEither) {
    syncsim::TSimOptions o = options(7, 350, QStringLiteral("simfault"));
    const std::string root = current().root();
    TFaultProxy proxy(std::uint16_t(std::stoi(root.substr(root.rfind(':') + 1))), o.Seed);
    o.Root = proxy.root();
    (void)run(o);
    std::printf("%d connections went wrong on purpose\n", proxy.faults());
    EXPECT_GT(proxy.faults(), 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, SyncComputers, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
