#include "SyncSimulation.h"

#include "data/uNoteStore.h"
#include "data/uSyncStore.h"
#include "sync/uSyncEngine.h"

#include <QDir>
#include <QRegularExpression>
#include <QUuid>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>

namespace syncsim {

namespace {

struct TComputer {
    QString StorePath;
    std::unique_ptr<TDbConnection> Db;
    std::shared_ptr<bool> Online = std::make_shared<bool>(true);
    TSyncContext Ctx;
};

QStringList tokensIn(const QString& text) {
    static const QRegularExpression re(QStringLiteral("\\{k\\d+\\}"));
    QStringList out;
    for (auto it = re.globalMatch(text); it.hasNext();)
        out.append(it.next().captured(0));
    return out;
}

class TSimulation {
public:
    TSimulation(const TSimOptions& o, const TSimServer& s) : FOpt(o), FServer(s), FRandom(o.Seed) {}

    TSimResult run() {
        for (int i = 0; i < FOpt.Computers; ++i)
            FComputers.push_back(makeComputer(i));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(FOpt.Seconds);
        while (FResult.Steps < FOpt.MaxSteps &&
               (FOpt.Seconds <= 0 || std::chrono::steady_clock::now() < end)) {
            ++FResult.Steps;
            step();
        }
        finish();
        return FResult;
    }

private:
    TComputer makeComputer(int i) {
        TComputer c;
        const QString dir = FOpt.Folder + QStringLiteral("/pc%1").arg(i);
        QDir().mkpath(dir);
        c.StorePath = dir + QStringLiteral("/brisel.mdb");
        QFile::remove(c.StorePath);
        NoteStore::CreateFromSchema(c.StorePath);
        {
            auto db = TDbConnection::Open(c.StorePath);
            UpgradeSchema(*db);
        }
        c.Db = openStore(c.StorePath);
        const QString root = QString::fromStdString(FOpt.Root.empty() ? FServer.Root : FOpt.Root);
        c.Ctx.Endpoint.ApiBase = root + QStringLiteral("api/v11/");
        c.Ctx.Endpoint.SiteRoot = root;
        c.Ctx.Endpoint.ConnectTimeoutMs = 2000;
        c.Ctx.Endpoint.ReadTimeoutMs = 2000;
        const TServiceCredentials creds{QString::number(FServer.UserId),
                                        QString::fromStdString(FServer.PassMd5),
                                        QStringLiteral("PC-%1").arg(i), QStringLiteral("sim")};
        c.Ctx.Credentials = [creds] { return creds; };
        c.Ctx.AudioFolder = dir + QStringLiteral("/audio/");
        c.Ctx.UploadRetryPauseMs = 0;
        c.Ctx.Send = [online = c.Online](const THttpRequest& r) {
            if (!*online) {
                THttpResponse none;
                none.Error = QStringLiteral("offline");
                return none;
            }
            return HttpPerform(r);
        };
        return c;
    }

    // The program's own store, except that a commit does not wait for the disk:
    // a restart here is a killed process, never a power cut.
    static std::unique_ptr<TDbConnection> openStore(const QString& path) {
        auto db = SyncEngine::OpenStore(path);
        db->Exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        return db;
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRandom); }

    QStringList shownIds(TComputer& c) {
        const TRowSet r = c.Db->Select(QStringLiteral("select id from notes where mynote<>'' order by id"));
        QStringList ids;
        for (int i = 0; i < r.rowCount(); ++i)
            ids.append(r.asText(i, QStringLiteral("id")));
        return ids;
    }

    QString newToken(const QString& noteId) {
        const QString t = QStringLiteral("{k%1}").arg(++FResult.Tokens);
        FTokens.emplace(t, noteId);
        FLastEdit[noteId] = FResult.Steps;
        return t;
    }

    void upload(TComputer& c, const QString& id, TUploadFields f) {
        (void)SyncEngine::RunUpload(*c.Db, c.Ctx, id, f);
    }

    void step() {
        TComputer& c = FComputers[std::size_t(pick(int(FComputers.size())))];
        const int roll = pick(100);
        const QStringList ids = shownIds(c);
        if (roll < 30 && !ids.isEmpty()) { // edit the text
            const QString id = ids[pick(int(ids.size()))];
            const TRowSet r = c.Db->Select(QStringLiteral("select mynote from notes where id=?"), {id});
            c.Db->Exec(QStringLiteral("update notes set mynote=?, commited=0 where id=?"),
                       {r.asText(0, QStringLiteral("mynote")) + QLatin1Char(' ') + newToken(id), id});
            if (pick(10) < 7)
                upload(c, id, {utNote});
        } else if (roll < 40 || ids.isEmpty()) { // a new note
            const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
            NoteStore::InsertFromShell(*c.Db, id, 10, 10);
            c.Db->Exec(QStringLiteral("update notes set mynote=?, commited=0 where id=?"),
                       {newToken(id), id});
            upload(c, id, {utNote});
        } else if (roll < 47) { // delete
            const QString id = ids[pick(int(ids.size()))];
            deleteNote(c, id);
        } else if (roll < 57) { // an attribute
            const QString id = ids[pick(int(ids.size()))];
            c.Db->Exec(QStringLiteral("update notes set bgcolorindex=?, commited=0 where id=?"),
                       {pick(7), id});
            FLastEdit[id] = FResult.Steps;
            if (pick(10) < 7)
                upload(c, id, {utBgcolor});
        } else if (roll < 75) {
            (void)SyncEngine::RunFullDownload(*c.Db, c.Ctx);
        } else if (roll < 82) {
            upload(c, QString(), {});
        } else if (roll < 87 && !ids.isEmpty()) {
            SyncEngine::RunSingleNote(*c.Db, c.Ctx, ids[pick(int(ids.size()))]);
        } else if (roll < 95) {
            *c.Online = !*c.Online;
        } else { // the program is killed between two steps and starts again
            c.Db.reset();
            c.Db = openStore(c.StorePath);
        }
    }

    void deleteNote(TComputer& c, const QString& id) {
        ++FResult.Deletions;
        const TRowSet r = c.Db->Select(QStringLiteral("select mynote from notes where id=?"), {id});
        // What the user deleted unsent is gone by the user's own hand.
        for (const QString& t : tokensIn(r.asText(0, QStringLiteral("mynote"))))
            FExcused.insert(t);
        // A computer still holding an unsent change brings the note back with it.
        for (TComputer& other : FComputers) {
            if (&other == &c)
                continue;
            const TRowSet p = other.Db->Select(
                QStringLiteral("select 1 from notes where id=? and (commited=0 or commited is null)"), {id});
            if (p.rowCount())
                FMayReturn.insert(id);
        }
        c.Db->Exec(QStringLiteral("delete from notes where id=?"), {id});
        SyncStore::QueueDelete(*c.Db, id);
        (void)SyncEngine::RunDelete(*c.Db, c.Ctx, id);
        FLastDelete[id] = FResult.Steps;
    }

    void fail(const std::string& what) {
        if (!FResult.Ok)
            return;
        FResult.Ok = false;
        std::ostringstream s;
        s << what << " (seed " << FOpt.Seed << ", " << FResult.Steps << " steps)";
        FResult.Failure = s.str();
    }

    void finish() {
        // Everyone comes back online at the server itself and syncs: uploads
        // (with the queued deletions) first, then downloads, twice over.
        const QString root = QString::fromStdString(FServer.Root);
        for (TComputer& c : FComputers) {
            *c.Online = true;
            c.Ctx.Endpoint.ApiBase = root + QStringLiteral("api/v11/");
        }
        for (int round = 0; round < 2; ++round) {
            for (TComputer& c : FComputers)
                upload(c, QString(), {});
            for (TComputer& c : FComputers)
                (void)SyncEngine::RunFullDownload(*c.Db, c.Ctx);
        }
        const auto shown = FServer.Shown();
        for (std::size_t i = 0; i < FComputers.size(); ++i) {
            TComputer& c = FComputers[i];
            if (!SyncStore::QueuedDeletes(*c.Db).isEmpty())
                fail("computer " + std::to_string(i) + " still has deletions queued");
            const TRowSet r =
                c.Db->Select(QStringLiteral("select id, mynote, bgcolorindex, commited from notes"));
            std::map<std::string, std::pair<std::string, int>> local;
            for (int row = 0; row < r.rowCount(); ++row) {
                if (r.asInt(row, QStringLiteral("commited")) != 1)
                    fail("computer " + std::to_string(i) + " still has a pending row");
                local[r.asText(row, QStringLiteral("id")).toStdString()] = {
                    r.asText(row, QStringLiteral("mynote")).toStdString(),
                    r.asInt(row, QStringLiteral("bgcolorindex"))};
            }
            if (local != shown)
                fail("computer " + std::to_string(i) + " differs from the server (" +
                     std::to_string(local.size()) + " notes here, " + std::to_string(shown.size()) +
                     " there)");
        }
        std::map<std::string, std::vector<std::string>> texts;
        for (const auto& [token, id] : FTokens) {
            if (FExcused.count(token))
                continue;
            auto& t = texts[id.toStdString()];
            if (t.empty())
                t = FServer.Texts(id.toStdString());
            const std::string tok = token.toStdString();
            if (std::none_of(t.begin(), t.end(),
                             [&](const std::string& s) { return s.find(tok) != std::string::npos; }))
                fail("token " + tok + " of note " + id.toStdString() + " was lost");
        }
        for (const auto& [id, when] : FLastDelete) {
            const auto edit = FLastEdit.find(id);
            const bool editedSince = edit != FLastEdit.end() && edit->second > when;
            if (!editedSince && !FMayReturn.count(id) && shown.count(id.toStdString()))
                fail("deleted note " + id.toStdString() + " came back");
        }
    }

    TSimOptions FOpt;
    TSimServer FServer;
    std::mt19937_64 FRandom;
    std::vector<TComputer> FComputers;
    TSimResult FResult;
    std::map<QString, QString> FTokens; // token -> note
    std::set<QString> FExcused;
    std::set<QString> FMayReturn;
    std::map<QString, int> FLastEdit;
    std::map<QString, int> FLastDelete;
};

} // namespace

TSimResult Run(const TSimOptions& options, const TSimServer& server) {
    return TSimulation(options, server).run();
}

} // namespace syncsim
