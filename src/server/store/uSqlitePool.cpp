// SQLite behind the store. Reads take a connection from a small pool; writes
// go to one writer thread that commits whatever has queued up in a single
// transaction (each request inside its own savepoint), so many uploads share one
// synchronous commit and the file stays durable at every acknowledged reply.

#include "server/store/uSqlPool.h"

#include "shared/uDbConnection.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <mutex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace zsrv {

namespace {

struct TStmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtFinalizer>;

class TSqliteConn final : public TSqlConn {
public:
    explicit TSqliteConn(const std::string& path)
        : FConn(TDbConnection::Open(QString::fromStdString(path))), FDb(FConn->handle()) {}

    TSqlRows Query(std::string_view sql, const TSqlParams& params, bool) override {
        sqlite3_stmt* s = prepared(sql, params);
        const int n = sqlite3_column_count(s);
        TSqlRows rows(n);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            for (int c = 0; c < n; ++c) {
                if (sqlite3_column_type(s, c) == SQLITE_NULL) {
                    rows.add(std::nullopt);
                    continue;
                }
                const auto* p = static_cast<const char*>(sqlite3_column_blob(s, c));
                rows.add(std::string(p ? p : "", std::size_t(sqlite3_column_bytes(s, c))));
            }
        }
        finish(s, rc, sql);
        return rows;
    }

    std::int64_t Exec(std::string_view sql, const TSqlParams& params) override {
        sqlite3_stmt* s = prepared(sql, params);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        }
        finish(s, rc, sql);
        return sqlite3_changes(FDb);
    }

    void Plain(const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(FDb, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string msg = err ? err : sqlite3_errmsg(FDb);
            sqlite3_free(err);
            throw TDbError(std::string(sql) + ": " + msg);
        }
    }

private:
    sqlite3_stmt* prepared(std::string_view sql, const TSqlParams& params) {
        auto it = FCache.find(std::string(sql));
        if (it == FCache.end()) {
            sqlite3_stmt* raw = nullptr;
            if (sqlite3_prepare_v3(FDb, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw,
                                   nullptr) != SQLITE_OK)
                throw TDbError(std::string(sql) + ": " + sqlite3_errmsg(FDb));
            it = FCache.emplace(std::string(sql), TStmt(raw)).first;
        }
        sqlite3_stmt* s = it->second.get();
        if (sqlite3_bind_parameter_count(s) != int(params.size()))
            throw TDbError("parameter count does not match: " + std::string(sql));
        for (std::size_t i = 0; i < params.size(); ++i) {
            const TSqlParam& p = params[i];
            const int at = int(i) + 1;
            int rc;
            if (!p.Value)
                rc = sqlite3_bind_null(s, at);
            else if (p.Binary)
                rc = sqlite3_bind_blob64(s, at, p.Value->data(), p.Value->size(), SQLITE_TRANSIENT);
            else
                rc = sqlite3_bind_text64(s, at, p.Value->data(), p.Value->size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8);
            if (rc != SQLITE_OK)
                throw TDbError(std::string("bind: ") + sqlite3_errmsg(FDb));
        }
        return s;
    }

    void finish(sqlite3_stmt* s, int rc, std::string_view sql) {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        if (rc != SQLITE_DONE)
            throw TDbError(std::string(sql) + ": " + sqlite3_errmsg(FDb));
    }

    std::unique_ptr<TDbConnection> FConn;
    sqlite3* FDb;
    std::unordered_map<std::string, TStmt> FCache;
};

// The store holds password hashes, every note and all feedback: the folders the
// server makes are its own (0700) and its files are 0600, whatever the umask.
// SQLite gives the journal, the WAL and its index the mode of the store file.
// Folders it did not make are left as they are (a package may have given one
// to a group); a store file that others may read is closed to them at start.
void makeFolders(const std::filesystem::path& folder) {
    if (folder.empty() || std::filesystem::exists(folder))
        return;
    makeFolders(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) != 0) {
        if (errno == EEXIST)
            return;
        throw TDbError("cannot make the folder " + folder.string() + ": " + std::strerror(errno));
    }
    (void)::chmod(folder.c_str(), 0700);
}

void closeToOthers(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07) != 0)
        (void)::fchmod(fd, st.st_mode & 07770);
    ::close(fd);
}

// Makes the file with a marker table first: the connection opens only files
// that exist, and a new file then already holds something of the server's.
void createFile(const std::string& path) {
    if (std::filesystem::exists(path)) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            closeToOthers(path + suffix);
        return;
    }
    makeFolders(std::filesystem::path(path).parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw TDbError("cannot create " + path + ": " + std::strerror(errno));
    (void)::fchmod(fd, 0600);
    ::close(fd);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> db(raw, &sqlite3_close_v2);
    if (rc != SQLITE_OK)
        throw TDbError("cannot create " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory"));
    if (sqlite3_exec(raw, "create table if not exists server_info (k text primary key, v text)", nullptr,
                     nullptr, nullptr) != SQLITE_OK)
        throw TDbError("cannot create " + path + ": " + sqlite3_errmsg(raw));
}

class TSqlitePool final : public TSqlPool {
public:
    TSqlitePool(std::string path, bool fullSync) : FPath(std::move(path)) {
        createFile(FPath);
        FWriterConn = std::make_unique<TSqliteConn>(FPath);
        // Only the writer commits, so its setting is the one that counts.
        if (!fullSync)
            FWriterConn->Plain("PRAGMA synchronous=NORMAL");
        FWriter = std::thread([this] { writerLoop(); });
    }

    ~TSqlitePool() override {
        {
            std::lock_guard l(FQueueLock);
            FStop = true;
        }
        FQueueCv.notify_all();
        FWriter.join();
    }

    void Read(const std::function<void(TSqlConn&)>& fn) override {
        std::unique_ptr<TSqliteConn> conn;
        {
            std::lock_guard l(FIdleLock);
            if (!FIdle.empty()) {
                conn = std::move(FIdle.back());
                FIdle.pop_back();
            }
        }
        if (!conn)
            conn = std::make_unique<TSqliteConn>(FPath);
        struct TGiveBack {
            TSqlitePool& Pool;
            std::unique_ptr<TSqliteConn>& Conn;
            ~TGiveBack() {
                std::lock_guard l(Pool.FIdleLock);
                if (Pool.FIdle.size() < kMaxIdle)
                    Pool.FIdle.push_back(std::move(Conn));
            }
        } giveBack{*this, conn};
        fn(*conn);
    }

    void Write(const std::function<void(TSqlConn&)>& fn) override {
        TJob job{&fn, {}};
        std::future<void> done = job.Done.get_future();
        {
            std::lock_guard l(FQueueLock);
            FQueue.push_back(&job);
        }
        FQueueCv.notify_one();
        done.get();
    }

    std::string_view LockSuffix() const override { return {}; }
    std::string_view BlobType() const override { return "blob"; }
    std::string_view SerialKey() const override { return "integer primary key autoincrement"; }

    // One process owns an SQLite file's push connections; nobody else to tell.
    bool Shared() const override { return false; }
    void Publish(const std::string&) override {}
    void Listen(std::function<void(const std::string&)>) override {}

private:
    static constexpr std::size_t kMaxIdle = 16;
    static constexpr std::size_t kMaxBatch = 256;

    struct TJob {
        const std::function<void(TSqlConn&)>* Fn;
        std::promise<void> Done;
    };

    void writerLoop() {
        std::vector<TJob*> batch;
        for (;;) {
            {
                std::unique_lock l(FQueueLock);
                FQueueCv.wait(l, [&] { return FStop || !FQueue.empty(); });
                if (FQueue.empty())
                    return;
                while (!FQueue.empty() && batch.size() < kMaxBatch) {
                    batch.push_back(FQueue.front());
                    FQueue.pop_front();
                }
            }
            runBatch(batch);
            batch.clear();
        }
    }

    void runBatch(const std::vector<TJob*>& batch) {
        std::vector<std::exception_ptr> errors(batch.size());
        try {
            FWriterConn->Plain("BEGIN IMMEDIATE");
            for (std::size_t i = 0; i < batch.size(); ++i) {
                FWriterConn->Plain("SAVEPOINT job");
                try {
                    (*batch[i]->Fn)(*FWriterConn);
                    FWriterConn->Plain("RELEASE job");
                } catch (...) {
                    errors[i] = std::current_exception();
                    FWriterConn->Plain("ROLLBACK TO job");
                    FWriterConn->Plain("RELEASE job");
                }
            }
            FWriterConn->Plain("COMMIT");
        } catch (...) {
            // The whole batch is lost: every request in it hears of the failure.
            try {
                FWriterConn->Plain("ROLLBACK");
            } catch (...) {
            }
            const std::exception_ptr e = std::current_exception();
            for (TJob* j : batch)
                j->Done.set_exception(e);
            return;
        }
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (errors[i])
                batch[i]->Done.set_exception(errors[i]);
            else
                batch[i]->Done.set_value();
        }
    }

    std::string FPath;
    std::unique_ptr<TSqliteConn> FWriterConn;
    std::mutex FIdleLock;
    std::vector<std::unique_ptr<TSqliteConn>> FIdle;
    std::mutex FQueueLock;
    std::condition_variable FQueueCv;
    std::deque<TJob*> FQueue;
    bool FStop = false;
    std::thread FWriter;
};

} // namespace

std::unique_ptr<TSqlPool> OpenSqlitePool(const std::string& path, bool fullSync) {
    try {
        return std::make_unique<TSqlitePool>(path, fullSync);
    } catch (const TSqlError& e) {
        throw TDbError("cannot open " + path + ": " + e.what());
    }
}

} // namespace zsrv
