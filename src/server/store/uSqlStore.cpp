#include "server/store/uServerStore.h"
#include "server/store/uSqlPool.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <mutex>
#include <random>

namespace zsrv {

namespace {

constexpr std::array<std::string_view, kNoteColumnCount> kElementNames = {
    "id",          "mynote",    "form_x",     "form_y",       "form_w",     "form_h",      "form_trans",
    "fontcolor",   "fontsize",  "fontname",   "fontbold",     "alerttype",  "alertvalue1", "alertvalue2",
    "alertvalue3", "istopmost", "autoheight", "bgcolorindex", "showaslist", "filemd5",     "notetype"};

// Store columns: the element names, except that the note's id is note_id.
std::string columnName(int c) {
    return c == ncId ? std::string("note_id") : std::string(kElementNames[c]);
}

std::string joinColumns(std::string_view prefix = {}) {
    std::string out;
    for (int c = 0; c < kNoteColumnCount; ++c) {
        if (c)
            out += ',';
        out += prefix;
        out += columnName(c);
    }
    return out;
}

// The field-set bit that marks a column, or -1 for the columns that only an
// upload of every attribute carries (position, size, audio).
int fieldBit(int column) {
    switch (column) {
    case ncText:
        return 0;
    case ncBgColorIndex:
        return 1;
    case ncFontName:
        return 2;
    case ncFontSize:
        return 3;
    case ncFontBold:
        return 4;
    case ncFormTrans:
        return 5;
    case ncShowAsList:
        return 6;
    case ncAlertType:
    case ncAlertValue1:
    case ncAlertValue2:
    case ncAlertValue3:
        return 7;
    case ncIsTopMost:
        return 8;
    case ncAutoHeight:
        return 9;
    case ncFontColor:
        return 10;
    default:
        return -1;
    }
}

std::string schemaSql(const TSqlPool& pool) {
    std::string cols;
    for (int c = 1; c < kNoteColumnCount; ++c)
        cols += columnName(c) + " text not null default '',";
    const std::string serial(pool.SerialKey());
    return "create table if not exists accounts (id " + serial +
           ", email text not null, email_key text not null unique, display_name text not null,"
           " verifier text not null, details text not null default '', created_at text not null,"
           " notes_version bigint not null default 0);"
           "create table if not exists notes (user_id bigint not null, note_id text not null," +
           cols +
           " shownote integer not null default 1, version bigint not null, updated_at text not null,"
           " updated_by text not null, primary key (user_id, note_id));"
           "create table if not exists note_versions (user_id bigint not null, note_id text not null,"
           " version bigint not null, stored_at text not null, device text not null, change text not null," +
           cols +
           " shownote integer not null, primary key (user_id, note_id, version));"
           "create table if not exists audio (user_id bigint not null, note_id text not null, data " +
           std::string(pool.BlobType()) +
           " not null, md5 text not null, primary key (user_id, note_id));"
           "create table if not exists store_meta (name text primary key, value text not null);"
           "create table if not exists feedback (id " +
           serial +
           ", received_at text not null, name text not null, email text not null, content text not null,"
           " product text not null, remote_addr text not null);";
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? char(ch + 32) : char(ch); });
    return out;
}

std::string hex(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size() * 2);
    for (unsigned char ch : s) {
        out += kHex[ch >> 4];
        out += kHex[ch & 15];
    }
    return out;
}

// 128 random bits as hexadecimal.
std::string NewStoreId() {
    std::random_device rd;
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t v = rd();
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    return hex(bytes);
}

std::optional<std::string> unhex(std::string_view s) {
    if (s.size() % 2)
        return std::nullopt;
    std::string out;
    out.reserve(s.size() / 2);
    for (std::size_t i = 0; i < s.size(); i += 2) {
        unsigned v = 0;
        const auto r = std::from_chars(s.data() + i, s.data() + i + 2, v, 16);
        if (r.ec != std::errc() || r.ptr != s.data() + i + 2)
            return std::nullopt;
        out += char(v);
    }
    return out;
}

class TSqlStore final : public TServerStore {
public:
    explicit TSqlStore(std::unique_ptr<TSqlPool> pool) : FPool(std::move(pool)) {
        FNoteColumns = joinColumns();
        FPool->Write([&](TSqlConn& c) {
            std::string ddl = schemaSql(*FPool);
            std::size_t start = 0;
            while (start < ddl.size()) {
                const std::size_t end = ddl.find(';', start);
                c.Exec(std::string_view(ddl).substr(start, end - start), {});
                start = end + 1;
            }
        });
        FPool->Write([&](TSqlConn& c) {
            // Processes sharing one database agree on the first id written.
            c.Exec("insert into store_meta (name,value) values ('store_id',$1) on conflict (name) do nothing",
                   {NewStoreId()});
            FStoreId = c.Query("select value from store_meta where name='store_id'", {}).text(0, 0);
        });
        std::string params;
        std::string updates;
        for (int c = 0; c < kNoteColumnCount; ++c) {
            params += ",$" + std::to_string(c + 3);
            if (c != ncId)
                updates += columnName(c) + "=excluded." + columnName(c) + ",";
        }
        const std::string n = std::to_string(kNoteColumnCount + 3);
        FUpsertNote = "insert into notes (user_id,updated_by," + FNoteColumns +
                      ",shownote,version,updated_at) values ($1,$2" + params + ",$" + n + ",$" +
                      std::to_string(kNoteColumnCount + 4) + ",$" + std::to_string(kNoteColumnCount + 5) +
                      ") on conflict (user_id,note_id) do update set " + updates +
                      "shownote=excluded.shownote,version=excluded.version,updated_at=excluded.updated_at,"
                      "updated_by=excluded.updated_by";
        FInsertVersion = "insert into note_versions (user_id,device," + FNoteColumns +
                         ",shownote,version,stored_at,change) values ($1,$2" + params + ",$" + n + ",$" +
                         std::to_string(kNoteColumnCount + 4) + ",$" + std::to_string(kNoteColumnCount + 5) +
                         ",$" + std::to_string(kNoteColumnCount + 6) + ")";
    }

    std::optional<TAccount> AccountById(std::int64_t id) override {
        return account("select id,email,display_name,verifier,notes_version from accounts where id=$1",
                       TSqlParam(id));
    }

    std::optional<TAccount> AccountByEmail(std::string_view email) override {
        return account("select id,email,display_name,verifier,notes_version from accounts where email_key=$1",
                       TSqlParam(asciiLower(email)));
    }

    std::optional<std::int64_t> CreateAccount(const TNewAccount& a) override {
        std::optional<std::int64_t> id;
        FPool->Write([&](TSqlConn& c) {
            const std::string key = asciiLower(a.Email);
            if (!c.Query("select id from accounts where email_key=$1", {key}).empty())
                return;
            const TSqlRows r =
                c.Query("insert into accounts (email,email_key,display_name,verifier,details,created_at) "
                        "values ($1,$2,$3,$4,$5,$6) returning id",
                        {a.Email, key, a.DisplayName, a.Verifier, a.Details, NowUtc()});
            id = r.integer(0, 0);
        });
        return id;
    }

    bool SetVerifier(std::int64_t id, const std::string& verifier) override {
        bool done = false;
        FPool->Write([&](TSqlConn& c) {
            done = c.Exec("update accounts set verifier=$1 where id=$2", {verifier, TSqlParam(id)}) > 0;
        });
        return done;
    }

    void StoreNotes(std::int64_t user, std::string_view device, TFieldSet fields,
                    const std::vector<TUploadNote>& notes) override {
        FPool->Write([&](TSqlConn& c) {
            std::int64_t version = lockAccount(c, user);
            const std::string now = NowUtc();
            for (const TUploadNote& up : notes) {
                std::optional<TServerNote> stored = readNote(c, user, up.Note.id());
                const bool audio = stored && !c.Query("select 1 from audio where user_id=$1 and note_id=$2",
                                                      {TSqlParam(user), up.Note.id()})
                                                  .empty();
                TServerNote merged = MergeUpload(stored ? &*stored : nullptr, up, fields, audio);
                merged.Version = ++version;
                writeNote(c, user, device, merged, now, fields.text());
            }
            c.Exec("update accounts set notes_version=$1 where id=$2", {TSqlParam(version), TSqlParam(user)});
        });
    }

    std::vector<TServerNote> Notes(std::int64_t user) override {
        std::vector<TServerNote> out;
        FPool->Read([&](TSqlConn& c) {
            const TSqlRows r = c.Query("select " + FNoteColumns +
                                           ",shownote,version from notes where user_id=$1 order by note_id",
                                       {TSqlParam(user)});
            out.reserve(r.size());
            for (std::size_t i = 0; i < r.size(); ++i)
                out.push_back(noteFromRow(r, i));
        });
        return out;
    }

    std::optional<TServerNote> Note(std::int64_t user, std::string_view id) override {
        std::optional<TServerNote> out;
        FPool->Read([&](TSqlConn& c) { out = readNote(c, user, id); });
        return out;
    }

    bool DeleteNote(std::int64_t user, std::string_view id, std::string_view device) override {
        return changeNote(user, id, device, "delete", [](TSqlConn&, TServerNote& n) { n.ShowNote = 0; });
    }

    std::vector<TNoteVersion> History(std::int64_t user, std::string_view id) override {
        std::vector<TNoteVersion> out;
        FPool->Read([&](TSqlConn& c) {
            const TSqlRows r = c.Query("select " + FNoteColumns +
                                           ",shownote,version,stored_at,device,change from note_versions "
                                           "where user_id=$1 and note_id=$2 order by version",
                                       {TSqlParam(user), id});
            for (std::size_t i = 0; i < r.size(); ++i) {
                TNoteVersion v;
                v.Note = noteFromRow(r, i);
                v.Version = v.Note.Version;
                v.StoredAt = r.text(i, kNoteColumnCount + 2);
                v.Device = r.text(i, kNoteColumnCount + 3);
                v.Change = r.text(i, kNoteColumnCount + 4);
                out.push_back(std::move(v));
            }
        });
        return out;
    }

    bool PutAudio(std::int64_t user, std::string_view id, const TAudio& audio) override {
        return changeNote(user, id, "", "audio", [&](TSqlConn& c, TServerNote& n) {
            c.Exec("delete from audio where user_id=$1 and note_id=$2", {TSqlParam(user), id});
            c.Exec("insert into audio (user_id,note_id,data,md5) values ($1,$2,$3,$4)",
                   {TSqlParam(user), id, TSqlParam::Blob(audio.Bytes), audio.Md5});
            n.Values[ncNoteType] = "1";
            n.Values[ncFileMd5] = audio.Md5;
        });
    }

    std::optional<TAudio> Audio(std::int64_t user, std::string_view id) override {
        std::optional<TAudio> out;
        FPool->Read([&](TSqlConn& c) {
            TSqlRows r = c.Query("select data,md5 from audio where user_id=$1 and note_id=$2",
                                 {TSqlParam(user), id}, true);
            if (!r.empty())
                out = TAudio{r.text(0, 0), r.text(0, 1)};
        });
        return out;
    }

    void AddFeedback(const TFeedback& f) override {
        FPool->Write([&](TSqlConn& c) {
            c.Exec("insert into feedback (received_at,name,email,content,product,remote_addr) "
                   "values ($1,$2,$3,$4,$5,$6)",
                   {NowUtc(), f.Name, f.Email, f.Content, f.Product, f.RemoteAddr});
        });
    }

    std::int64_t FeedbackCount() override {
        std::int64_t n = 0;
        FPool->Read([&](TSqlConn& c) { n = c.Query("select count(*) from feedback", {}).integer(0, 0); });
        return n;
    }

    const std::string& StoreId() const override { return FStoreId; }

    std::vector<TStoredFeedback> Feedback() override {
        std::vector<TStoredFeedback> out;
        FPool->Read([&](TSqlConn& c) {
            const TSqlRows r = c.Query(
                "select id,received_at,name,email,content,product,remote_addr from feedback order by id", {});
            out.clear();
            for (std::size_t i = 0; i < r.size(); ++i)
                out.push_back(
                    {r.integer(i, 0), r.text(i, 1),
                     TFeedback{r.text(i, 2), r.text(i, 3), r.text(i, 4), r.text(i, 5), r.text(i, 6)}});
        });
        return out;
    }

    bool HasPeers() const override { return FPool->Shared(); }

    void Publish(const TPushNotice& n) override {
        FPool->Publish(std::to_string(n.UserId) + ' ' + hex(n.DeviceId) + ' ' + hex(n.NoteId) + ' ' +
                       hex(n.Origin));
    }

    void Subscribe(std::function<void(const TPushNotice&)> onNotice) override {
        FPool->Listen([cb = std::move(onNotice)](const std::string& payload) {
            TPushNotice n;
            std::vector<std::string_view> parts;
            std::string_view rest(payload);
            while (!rest.empty()) {
                const std::size_t sp = rest.find(' ');
                parts.push_back(rest.substr(0, sp));
                rest = sp == std::string_view::npos ? std::string_view() : rest.substr(sp + 1);
            }
            if (parts.size() != 4)
                return;
            const auto r = std::from_chars(parts[0].data(), parts[0].data() + parts[0].size(), n.UserId);
            auto device = unhex(parts[1]);
            auto note = unhex(parts[2]);
            auto origin = unhex(parts[3]);
            if (r.ec != std::errc() || !device || !note || !origin)
                return;
            n.DeviceId = std::move(*device);
            n.NoteId = std::move(*note);
            n.Origin = std::move(*origin);
            cb(n);
        });
    }

private:
    std::optional<TAccount> account(const std::string& sql, const TSqlParam& key) {
        std::optional<TAccount> out;
        FPool->Read([&](TSqlConn& c) {
            const TSqlRows r = c.Query(sql, {key});
            if (!r.empty())
                out = TAccount{r.integer(0, 0), r.text(0, 1), r.text(0, 2), r.text(0, 3), r.integer(0, 4)};
        });
        return out;
    }

    // Serialises the writes of one account and returns its version counter.
    std::int64_t lockAccount(TSqlConn& c, std::int64_t user) {
        const TSqlRows r =
            c.Query("select notes_version from accounts where id=$1" + std::string(FPool->LockSuffix()),
                    {TSqlParam(user)});
        if (r.empty())
            throw TDbError("no such account");
        return r.integer(0, 0);
    }

    // Changes one stored note as a new version; false when the user has no such note.
    template <class F>
    bool changeNote(std::int64_t user, std::string_view id, std::string_view device,
                    const std::string& change, F&& mutate) {
        bool found = false;
        FPool->Write([&](TSqlConn& c) {
            std::int64_t version = lockAccount(c, user);
            std::optional<TServerNote> stored = readNote(c, user, id);
            if (!stored)
                return;
            found = true;
            mutate(c, *stored);
            stored->Version = ++version;
            writeNote(c, user, device, *stored, NowUtc(), change);
            c.Exec("update accounts set notes_version=$1 where id=$2", {TSqlParam(version), TSqlParam(user)});
        });
        return found;
    }

    std::optional<TServerNote> readNote(TSqlConn& c, std::int64_t user, std::string_view id) {
        const TSqlRows r =
            c.Query("select " + FNoteColumns + ",shownote,version from notes where user_id=$1 and note_id=$2",
                    {TSqlParam(user), id});
        if (r.empty())
            return std::nullopt;
        return noteFromRow(r, 0);
    }

    static TServerNote noteFromRow(const TSqlRows& r, std::size_t row) {
        TServerNote n;
        for (int c = 0; c < kNoteColumnCount; ++c)
            n.Values[c] = r.text(row, c);
        n.ShowNote = static_cast<std::int32_t>(r.integer(row, kNoteColumnCount));
        n.Version = r.integer(row, kNoteColumnCount + 1);
        return n;
    }

    void writeNote(TSqlConn& c, std::int64_t user, std::string_view device, const TServerNote& n,
                   const std::string& now, const std::string& change) {
        TSqlParams p;
        p.reserve(kNoteColumnCount + 6);
        p.emplace_back(user);
        p.emplace_back(device);
        for (const std::string& v : n.Values)
            p.emplace_back(v);
        p.emplace_back(n.ShowNote);
        p.emplace_back(n.Version);
        p.emplace_back(now);
        c.Exec(FUpsertNote, p);
        p.emplace_back(change);
        c.Exec(FInsertVersion, p);
    }

    std::unique_ptr<TSqlPool> FPool;
    std::string FStoreId;
    std::string FNoteColumns;
    std::string FUpsertNote;
    std::string FInsertVersion;
};

} // namespace

std::string_view UploadElementName(int column) {
    return kElementNames.at(std::size_t(column));
}

bool IsTextColumn(int column) {
    return column == ncId || column == ncText || column == ncFontName || column == ncAlertValue1 ||
           column == ncAlertValue2 || column == ncAlertValue3 || column == ncFileMd5;
}

std::int64_t TServerNote::integer(int column) const {
    std::int64_t v = 0;
    const std::string& s = Values[std::size_t(column)];
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

std::string TFieldSet::text() const {
    std::string out;
    for (int i = 0; i < 11; ++i)
        out += has(i) ? '1' : '0';
    return out + "111111111";
}

TServerNote MergeUpload(const TServerNote* stored, const TUploadNote& up, TFieldSet fields,
                        bool serverHasAudio) {
    TServerNote out;
    if (stored) {
        out = *stored;
    } else {
        // A note the server has not seen starts as a new note of the client
        // holds; the upload then changes what it names, like any other.
        out.Values = {"",  "", "0", "0", "220", "100", "160", "0", "9", "Tahoma", "0",
                      "0", "", "",  "",  "0",   "0",   "0",   "0", "",  "0"};
    }
    for (int c = 0; c < kNoteColumnCount; ++c) {
        const int bit = fieldBit(c);
        if (up.Present[std::size_t(c)] && (bit < 0 ? fields.all() : fields.has(bit)))
            out.Values[c] = up.Note.Values[c];
    }
    if (stored && serverHasAudio) {
        out.Values[ncNoteType] = stored->Values[ncNoteType];
        out.Values[ncFileMd5] = stored->Values[ncFileMd5];
    }
    out.Values[ncId] = up.Note.id();
    out.ShowNote = 1;
    return out;
}

std::string NowUtc() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, int(ms));
    return buf;
}

std::int64_t TSqlRows::integer(std::size_t row, int col) const {
    const auto& c = cell(row, col);
    std::int64_t v = 0;
    if (c)
        std::from_chars(c->data(), c->data() + c->size(), v);
    return v;
}

std::unique_ptr<TServerStore> OpenStore(const std::string& location, TStoreOptions options) {
    if (location.rfind("sqlite:", 0) == 0)
        return std::make_unique<TSqlStore>(OpenSqlitePool(location.substr(7), options.SqliteFullSync));
    if (location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0)
        return std::make_unique<TSqlStore>(OpenPgPool(location));
    throw std::runtime_error("unknown database \"" + location + "\": use sqlite:PATH or postgresql://...");
}

} // namespace zsrv
