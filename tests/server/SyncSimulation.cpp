#include "SyncSimulation.h"

#include "data/uNoteStore.h"
#include "data/uSyncStore.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <QXmlStreamReader>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace syncsim {

void TComputer::restart() {
    Notes.reset();
    Db.reset();
    Db = SyncEngine::OpenStore(StorePath);
    // A restart here is a killed process, never a power cut: commits need not
    // wait for the disk.
    Db->Exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    Notes = std::make_unique<NoteRepository>(*Db);
}

TComputer MakeComputer(const QString& folder, const std::string& root, std::int64_t userId,
                       const std::string& passMd5, const QString& pcId) {
    TComputer c;
    QDir().mkpath(folder);
    c.StorePath = folder + QStringLiteral("/brisel.mdb");
    QFile::remove(c.StorePath);
    NoteStore::CreateFromSchema(c.StorePath);
    {
        auto db = TDbConnection::Open(c.StorePath);
        UpgradeSchema(*db);
    }
    c.restart();
    const QString r = QString::fromStdString(root);
    c.Ctx.Endpoint.ApiBase = r + QStringLiteral("api/v11/");
    c.Ctx.Endpoint.SiteRoot = r;
    c.Ctx.Endpoint.ConnectTimeoutMs = 2000;
    c.Ctx.Endpoint.ReadTimeoutMs = 2000;
    const TServiceCredentials creds{QString::number(userId), QString::fromStdString(passMd5), pcId,
                                    QStringLiteral("sim")};
    c.Ctx.Credentials = [creds] { return creds; };
    c.Ctx.AudioFolder = folder + QStringLiteral("/audio/");
    c.Ctx.UploadRetryPauseMs = 0;
    c.Ctx.Send = [online = c.Online](const THttpRequest& req) {
        if (!*online) {
            THttpResponse none;
            none.Error = QStringLiteral("offline");
            return none;
        }
        return HttpPerform(req);
    };
    return c;
}

namespace {

// The fields the schedule changes, by their upload-field bit.
constexpr TUploadField kFields[] = {utNote, utBgcolor, utAlert, utTransparency};

QString fieldName(int f) {
    switch (f) {
    case utNote:
        return QStringLiteral("text");
    case utBgcolor:
        return QStringLiteral("colour");
    case utAlert:
        return QStringLiteral("reminder");
    default:
        return QStringLiteral("transparency");
    }
}

QStringList tokensIn(const QString& text) {
    static const QRegularExpression re(QStringLiteral("\\{k\\d+\\}"));
    QStringList out;
    for (auto it = re.globalMatch(text); it.hasNext();)
        out.append(it.next().captured(0));
    return out;
}

// A stretch that makes a note too long for the server; the user may take it out again.
const QRegularExpression& padding() {
    static const QRegularExpression re(QStringLiteral(" ~x+~"));
    return re;
}

struct TSentRow {
    QString Id;
    std::map<int, QString> Values; // by field, the named ones only
};

// The rows and named fields of an upload request, read back from its bytes.
std::vector<TSentRow> readUpload(const THttpRequest& req) {
    std::vector<TSentRow> rows;
    const QUrl url(req.Url);
    const QString fields = QUrlQuery(url).queryItemValue(QStringLiteral("uploadfields"));
    const auto named = [&](int f) { return fields.isEmpty() || fields.at(f) == QLatin1Char('1'); };
    QByteArray body = req.Body;
    body.replace('+', ' ');
    QXmlStreamReader x(QByteArray::fromPercentEncoding(body));
    TSentRow row;
    std::map<QString, QString> cells;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement() && x.name() == QLatin1String("NoteItem")) {
            cells.clear();
        } else if (x.isStartElement() && x.name() != QLatin1String("NoteList")) {
            cells[x.name().toString()] = x.readElementText();
        } else if (x.isEndElement() && x.name() == QLatin1String("NoteItem")) {
            TSentRow r;
            r.Id = cells[QStringLiteral("id")];
            const std::pair<int, const char*> columns[] = {{utNote, "mynote"},
                                                           {utBgcolor, "bgcolorindex"},
                                                           {utAlert, "alertvalue1"},
                                                           {utTransparency, "form_trans"}};
            for (const auto& [f, column] : columns)
                if (named(f))
                    r.Values[f] = cells[QString::fromLatin1(column)];
            rows.push_back(std::move(r));
        }
    }
    return rows;
}

class TSimulation {
public:
    TSimulation(const TSimOptions& o, const TSimServer& s) : FOpt(o), FServer(s), FRandom(o.Seed) {}

    TSimResult run() {
        for (int i = 0; i < FOpt.Computers; ++i)
            addComputer(i);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(FOpt.Seconds);
        while (FResult.Ok && FResult.Steps < FOpt.MaxSteps && std::chrono::steady_clock::now() < end) {
            ++FResult.Steps;
            step();
        }
        if (FResult.Ok)
            finish();
        return FResult;
    }

private:
    struct TState {
        // Changes this computer made that the server has not confirmed, by
        // note and field, with the value the change gave.
        std::map<std::pair<QString, int>, QString> Own;
        // Notes whose every field it may send: new here, or held since the
        // server lost what it had.
        std::set<QString> Whole;
    };

    void addComputer(int i) {
        const QString dir = FOpt.Folder + QStringLiteral("/pc%1").arg(i);
        TComputer c = MakeComputer(dir, FOpt.Root.empty() ? FServer.Root : FOpt.Root, FServer.UserId,
                                   FServer.PassMd5, QStringLiteral("PC-%1").arg(i));
        c.Ctx.MaxUploadBytes = FServer.MaxBodyBytes;
        c.Ctx.RowTooLarge = [this](const QString&) { ++FResult.TooLarge; };
        c.Ctx.Send = [this, i, inner = c.Ctx.Send](const THttpRequest& req) {
            const THttpResponse resp = inner(req);
            if (req.Url.contains(QLatin1String("update_note.php")) && resp.Ok && resp.Body == "0")
                uploaded(i, req);
            return resp;
        };
        FComputers.push_back(std::move(c));
        FStates.emplace_back();
    }

    // An upload the server stored: what it carried must be this computer's own
    // changes, and it is now the newest word on those fields.
    void uploaded(int i, const THttpRequest& req) {
        ++FResult.Uploads;
        TState& st = FStates[std::size_t(i)];
        for (const TSentRow& row : readUpload(req)) {
            const bool whole = st.Whole.count(row.Id) > 0;
            for (const auto& [f, value] : row.Values) {
                const auto own = st.Own.find({row.Id, f});
                if (own == st.Own.end() && !whole)
                    return fail("computer " + std::to_string(i) + " sent the " + fieldName(f).toStdString() +
                                " of note " + row.Id.toStdString() + ", which it did not change");
                if (own != st.Own.end() && own->second == value)
                    st.Own.erase(own);
                FArrived[{row.Id, f}] = value;
            }
            if (whole && row.Values.size() == std::size(kFields))
                st.Whole.erase(row.Id);
        }
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRandom); }

    // A note id from the run's own random numbers, so that a seed replays the
    // same schedule (the schedule picks notes in id order).
    QString newId() {
        const auto word = [this] {
            return QStringLiteral("%1").arg(quint32(FRandom()), 8, 16, QLatin1Char('0'));
        };
        const QString hex = (word() + word() + word() + word()).toUpper();
        return hex.left(8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4) +
               QLatin1Char('-') + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20, 12);
    }

    QStringList noteIds(TComputer& c) {
        const TRowSet r = c.Db->Select(QStringLiteral("select id from notes order by id"));
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

    void own(int i, const QString& id, int field, const QString& value) {
        FStates[std::size_t(i)].Own[{id, field}] = value;
        FLastEdit[id] = FResult.Steps;
    }

    void upload(TComputer& c, const QString& id) { (void)SyncEngine::RunUpload(*c.Db, c.Ctx, id); }

    void download(int i) {
        TComputer& c = FComputers[std::size_t(i)];
        const QStringList before = noteIds(c);
        const SyncEngine::TDownloadOutcome out = SyncEngine::RunFullDownload(*c.Db, c.Ctx);
        if (out.ServerChanged)
            for (const QString& id : before)
                FStates[std::size_t(i)].Whole.insert(id);
        forgetRemoved(i);
    }

    // A note gone from this computer takes its unsent changes with it.
    void forgetRemoved(int i) {
        const QStringList ids = noteIds(FComputers[std::size_t(i)]);
        const std::set<QString> present(ids.begin(), ids.end());
        auto& ownMap = FStates[std::size_t(i)].Own;
        for (auto it = ownMap.begin(); it != ownMap.end();)
            it = present.count(it->first.first) ? std::next(it) : ownMap.erase(it);
    }

    bool editText(int i, const QString& id, const std::function<QString(const QString&)>& change) {
        TComputer& c = FComputers[std::size_t(i)];
        std::optional<NoteRecord> rec = c.Notes->Find(id);
        if (!rec)
            return false;
        rec->Note.NNote = change(rec->Note.NNote);
        if (!c.Notes->SaveEdit(*rec))
            return false;
        own(i, id, utNote, rec->Note.NNote);
        return true;
    }

    void appendToken(int i, const QString& id) {
        (void)editText(i, id, [&](const QString& t) { return t + QLatin1Char(' ') + newToken(id); });
    }

    void changeAttribute(int i, const QString& id) {
        TComputer& c = FComputers[std::size_t(i)];
        switch (pick(3)) {
        case 0: {
            const int bg = pick(7);
            if (c.Notes->SetBgColorIndex(id, bg))
                own(i, id, utBgcolor, QString::number(bg));
            break;
        }
        case 1: {
            const QString when = QStringLiteral("r%1").arg(FResult.Steps);
            if (c.Notes->SetReminder(id, 1, when, QString(), QString()))
                own(i, id, utAlert, when);
            break;
        }
        default: {
            const int alpha = 60 + pick(190);
            if (c.Notes->SetTransparency(id, alpha))
                own(i, id, utTransparency, QString::number(alpha));
            break;
        }
        }
    }

    void step() {
        const int i = pick(int(FComputers.size()));
        TComputer& c = FComputers[std::size_t(i)];
        storeEvents();
        const int roll = pick(100);
        const QStringList ids = noteIds(c);
        const auto anyId = [&] { return ids[pick(int(ids.size()))]; };
        if (roll < 24 && !ids.isEmpty()) { // edit the text
            const QString id = anyId();
            appendToken(i, id);
            if (pick(10) < 7)
                upload(c, id);
        } else if (roll < 31 || ids.isEmpty()) { // a new note
            const QString id = newId();
            if (!c.Notes->InsertFromShell(id, QPoint(10, 10)))
                return fail("a new note could not be stored");
            FStates[std::size_t(i)].Whole.insert(id);
            appendToken(i, id);
            upload(c, id);
        } else if (roll < 36) { // delete
            deleteNote(i, anyId());
        } else if (roll < 44) { // an attribute
            const QString id = anyId();
            changeAttribute(i, id);
            if (pick(10) < 7)
                upload(c, id);
        } else if (roll < 46) { // the user empties a note
            const QString id = anyId();
            (void)editText(i, id, [this](const QString& t) {
                // What the user took out unsent is gone by the user's own hand.
                for (const QString& tok : tokensIn(t))
                    FExcused.insert(tok);
                return QString();
            });
            upload(c, id);
        } else if (roll < 48 && FServer.MaxBodyBytes > 0) { // a note too long to store, or shortened again
            const QString id = anyId();
            (void)editText(i, id, [&](const QString& t) {
                if (t.contains(padding()))
                    return QString(t).remove(padding());
                return t + QLatin1Char(' ') + newToken(id) + QStringLiteral(" ~") +
                       QString(int(FServer.MaxBodyBytes), QLatin1Char('x')) + QLatin1Char('~');
            });
            upload(c, id);
        } else if (roll < 50) { // offline: a look first, the text afterwards, online
            const QString id = anyId();
            *c.Online = false;
            changeAttribute(i, id);
            upload(c, id);
            *c.Online = true;
            appendToken(i, id);
            upload(c, id);
        } else if (roll < 53) { // a look set on an out-of-date computer while another edits the text
            staleLookChange(i, anyId());
        } else if (roll < 68) {
            download(i);
        } else if (roll < 75) {
            upload(c, QString());
        } else if (roll < 80 && !ids.isEmpty()) {
            SyncEngine::RunSingleNote(*c.Db, c.Ctx, anyId());
        } else if (roll < 90) {
            *c.Online = !*c.Online;
        } else { // the program is killed between two steps and starts again
            c.restart();
        }
        forgetRemoved(i);
    }

    void staleLookChange(int stale, const QString& id) {
        const int other = (stale + 1 + pick(int(FComputers.size()) - 1)) % int(FComputers.size());
        TComputer& s = FComputers[std::size_t(stale)];
        TComputer& o = FComputers[std::size_t(other)];
        const bool wasOnline = *s.Online;
        *s.Online = false;
        changeAttribute(stale, id);
        if (c_has(o, id)) {
            *o.Online = true;
            appendToken(other, id);
            upload(o, id);
        }
        *s.Online = true;
        upload(s, id);
        *s.Online = wasOnline;
    }

    static bool c_has(TComputer& c, const QString& id) {
        return c.Db->Select(QStringLiteral("select 1 from notes where id=?"), {id}).rowCount() > 0;
    }

    // The store under the computers is copied, replaced by an empty one, or put
    // back from the copy: at fixed points of a run of known length, at random
    // in a run against the clock.
    void storeEvents() {
        if (!FServer.Backup || !FOpt.Root.empty())
            return;
        const int n = FResult.Steps;
        const bool bounded = FOpt.MaxSteps < 1000000;
        const auto at = [&](int percent) { return bounded && n == FOpt.MaxSteps * percent / 100; };
        const int roll = bounded ? -1 : pick(4000);
        if (at(20) || roll == 0) {
            FServer.Backup();
            FHaveBackup = true;
        } else if ((at(55) || roll == 1) && FHaveBackup) {
            moveTo(FServer.RestoreBackup());
        } else if (at(80) || roll == 2) {
            moveTo(FServer.ReplaceWithEmpty());
        }
    }

    void moveTo(const std::string& root) {
        ++FResult.StoreEvents;
        const QString r = QString::fromStdString(root);
        for (TComputer& c : FComputers) {
            c.Ctx.Endpoint.ApiBase = r + QStringLiteral("api/v11/");
            c.Ctx.Endpoint.SiteRoot = r;
        }
        FServer.Root = root;
        // What was deleted since the copy may come back with it.
        for (const auto& [id, when] : FLastDelete)
            FMayReturn.insert(id);
        // The computers hold the newest word on the notes they have; a note
        // none has any more keeps what the new store says of it.
        std::set<QString> held;
        for (TComputer& c : FComputers)
            for (const QString& id : noteIds(c))
                held.insert(id);
        for (auto it = FArrived.begin(); it != FArrived.end();)
            it = held.count(it->first.first) ? std::next(it) : FArrived.erase(it);
    }

    void deleteNote(int i, const QString& id) {
        TComputer& c = FComputers[std::size_t(i)];
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
        const TRowSet before = c.Db->Select(QStringLiteral("select unsent from notes where id=?"), {id});
        const std::optional<NoteDeleteOutcome> done = c.Notes->Delete(id);
        if (!done)
            return fail("a note could not be deleted");
        // The last note is emptied rather than removed: a text still waiting
        // to go up goes up empty.
        const bool emptied = *done == NoteDeleteOutcome::Emptied;
        if (!c.Notes->QueueServerDeletion(id))
            return fail("a deletion could not be queued");
        (void)SyncEngine::RunDelete(*c.Db, c.Ctx, id);
        FLastDelete[id] = FResult.Steps;
        auto& ownMap = FStates[std::size_t(i)].Own;
        if (emptied) {
            if (before.asInt(0, QStringLiteral("unsent")) & (1 << utNote))
                ownMap[{id, utNote}] = QString();
            return;
        }
        for (auto it = ownMap.begin(); it != ownMap.end();)
            it = it->first.first == id ? ownMap.erase(it) : std::next(it);
    }

    void fail(const std::string& what) {
        if (!FResult.Ok)
            return;
        FResult.Ok = false;
        std::ostringstream s;
        s << what << " (seed " << FOpt.Seed << ", " << FResult.Steps << " steps)";
        FResult.Failure = s.str();
    }

    static std::string local(const QString& s) { return s.toStdString(); }

    void finish() {
        // The users shorten what was too long; then everyone comes back online
        // at the server itself and syncs: uploads (with the queued deletions)
        // first, then downloads, over and over until nothing moves.
        const QString root = QString::fromStdString(FServer.Root);
        for (std::size_t i = 0; i < FComputers.size(); ++i) {
            TComputer& c = FComputers[i];
            *c.Online = true;
            c.Ctx.Endpoint.ApiBase = root + QStringLiteral("api/v11/");
            const TRowSet r = c.Db->Select(QStringLiteral("select id, mynote from notes"));
            for (int row = 0; row < r.rowCount(); ++row)
                if (r.asText(row, QStringLiteral("mynote")).contains(padding()))
                    (void)editText(int(i), r.asText(row, QStringLiteral("id")),
                                   [](const QString& t) { return QString(t).remove(padding()); });
        }
        for (int round = 0; round < 3; ++round) {
            for (TComputer& c : FComputers)
                upload(c, QString());
            for (std::size_t i = 0; i < FComputers.size(); ++i)
                download(int(i));
        }
        if (!FResult.Ok)
            return;
        const auto shown = FServer.Shown();
        for (std::size_t i = 0; i < FComputers.size(); ++i) {
            TComputer& c = FComputers[i];
            const std::string who = "computer " + std::to_string(i);
            // A note made here and emptied before it was ever sent is this
            // computer's alone: it goes nowhere until someone writes in it.
            const TRowSet localOnly = c.Db->Select(QStringLiteral(
                "select id from notes where coalesce(mynote,'')='' and coalesce(unsent,0)>=32768"));
            std::set<QString> homeOnly;
            for (int row = 0; row < localOnly.rowCount(); ++row)
                homeOnly.insert(localOnly.asText(row, QStringLiteral("id")));
            for (auto it = FStates[i].Own.begin(); it != FStates[i].Own.end();)
                it = homeOnly.count(it->first.first) ? FStates[i].Own.erase(it) : std::next(it);
            if (!SyncStore::QueuedDeletes(*c.Db).isEmpty())
                return fail(who + " still has deletions queued");
            for (const auto& [key, value] : FStates[i].Own) {
                const TRowSet r = c.Db->Select(
                    QStringLiteral(
                        "select mynote, bgcolorindex, alertvalue1, form_trans, commited, unsent from "
                        "notes where id=?"),
                    {key.first});
                std::string row = "no row";
                if (r.rowCount())
                    row = "commited " + std::to_string(r.asInt(0, QStringLiteral("commited"))) + ", unsent " +
                          std::to_string(r.asInt(0, QStringLiteral("unsent")));
                return fail(who + "'s change of the " + fieldName(key.second).toStdString() + " of note " +
                            local(key.first) + " to \"" + local(value.left(60)) +
                            "\" never reached the server (" + row + ")");
            }
            const TRowSet r = c.Db->Select(QStringLiteral(
                "select id, mynote, bgcolorindex, alertvalue1, form_trans, commited from notes"));
            std::map<std::string, TServerNote> here;
            for (int row = 0; row < r.rowCount(); ++row) {
                if (homeOnly.count(r.asText(row, QStringLiteral("id"))))
                    continue;
                if (r.asInt(row, QStringLiteral("commited")) != 1)
                    return fail(who + " still has a pending row");
                here[local(r.asText(row, QStringLiteral("id")))] = {
                    local(r.asText(row, QStringLiteral("mynote"))),
                    r.asInt(row, QStringLiteral("bgcolorindex")),
                    local(r.asText(row, QStringLiteral("alertvalue1"))),
                    r.asInt(row, QStringLiteral("form_trans"))};
            }
            if (here != shown) {
                for (const auto& [id, n] : shown)
                    if (!here.count(id) || !(here[id] == n))
                        return fail(who + " differs from the server on note " + id);
                return fail(who + " has notes the server does not show");
            }
        }
        // Each field holds the value the server received last for it: nothing
        // it was not sent, and nothing older, took its place.
        for (const auto& [key, value] : FArrived) {
            const auto it = shown.find(local(key.first));
            if (it == shown.end())
                continue;
            const TServerNote& n = it->second;
            const std::string now = key.second == utNote      ? n.Text
                                    : key.second == utBgcolor ? std::to_string(n.Bg)
                                    : key.second == utAlert   ? n.Alert
                                                              : std::to_string(n.Trans);
            if (now != local(value))
                return fail("the " + fieldName(key.second).toStdString() + " of note " + local(key.first) +
                            " is not the value the server received last");
        }
        std::map<std::string, std::vector<std::string>> texts;
        for (const auto& [token, id] : FTokens) {
            if (FExcused.count(token))
                continue;
            auto& t = texts[local(id)];
            if (t.empty())
                t = FServer.Texts(local(id));
            const std::string tok = local(token);
            if (std::none_of(t.begin(), t.end(),
                             [&](const std::string& s) { return s.find(tok) != std::string::npos; }))
                return fail("token " + tok + " of note " + local(id) + " was lost");
        }
        for (const auto& [id, when] : FLastDelete) {
            const auto edit = FLastEdit.find(id);
            const bool editedSince = edit != FLastEdit.end() && edit->second > when;
            if (!editedSince && !FMayReturn.count(id) && shown.count(local(id)))
                return fail("deleted note " + local(id) + " came back");
        }
    }

    TSimOptions FOpt;
    TSimServer FServer;
    std::mt19937_64 FRandom;
    std::vector<TComputer> FComputers;
    std::vector<TState> FStates;
    TSimResult FResult;
    std::map<std::pair<QString, int>, QString> FArrived;
    std::map<QString, QString> FTokens; // token -> note
    std::set<QString> FExcused;
    std::set<QString> FMayReturn;
    std::map<QString, int> FLastEdit;
    std::map<QString, int> FLastDelete;
    bool FHaveBackup = false;
};

} // namespace

TSimResult Run(const TSimOptions& options, const TSimServer& server) {
    return TSimulation(options, server).run();
}

} // namespace syncsim
