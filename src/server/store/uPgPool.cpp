// PostgreSQL behind the store, for several server processes sharing one
// database. Writes lock the account row, so one account's changes are applied
// one after another whichever process takes them; push notices cross between
// processes through LISTEN/NOTIFY on a channel named after the schema in use.

#include "server/store/uSqlPool.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <libpq-fe.h>
#include <mutex>
#include <poll.h>
#include <thread>

namespace zsrv {

namespace {

struct TPgFinish {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using TPgHandle = std::unique_ptr<PGconn, TPgFinish>;
struct TPgClear {
    void operator()(PGresult* r) const { PQclear(r); }
};
using TPgResult = std::unique_ptr<PGresult, TPgClear>;

TPgHandle connect(const std::string& uri) {
    TPgHandle c(PQconnectdb(uri.c_str()));
    if (!c || PQstatus(c.get()) != CONNECTION_OK)
        throw TDbError("cannot connect to PostgreSQL: " +
                       std::string(c ? PQerrorMessage(c.get()) : "out of memory"));
    // "relation exists, skipping" and the like are not news for the log.
    PQsetNoticeProcessor(
        c.get(), [](void*, const char*) {}, nullptr);
    return c;
}

class TPgConn final : public TSqlConn {
public:
    explicit TPgConn(const std::string& uri) : FConn(connect(uri)) {}

    TSqlRows Query(std::string_view sql, const TSqlParams& params, bool binaryResult) override {
        TPgResult r = run(sql, params, binaryResult);
        const int rows = PQntuples(r.get());
        const int cols = PQnfields(r.get());
        TSqlRows out(cols);
        for (int i = 0; i < rows; ++i)
            for (int c = 0; c < cols; ++c) {
                if (PQgetisnull(r.get(), i, c))
                    out.add(std::nullopt);
                else
                    out.add(std::string(PQgetvalue(r.get(), i, c), std::size_t(PQgetlength(r.get(), i, c))));
            }
        return out;
    }

    std::int64_t Exec(std::string_view sql, const TSqlParams& params) override {
        TPgResult r = run(sql, params, false);
        const char* n = PQcmdTuples(r.get());
        return n && *n ? std::stoll(n) : 0;
    }

    void Plain(const char* sql) { run(sql, {}, false); }
    [[nodiscard]] bool ok() const { return PQstatus(FConn.get()) == CONNECTION_OK; }
    [[nodiscard]] PGconn* handle() const { return FConn.get(); }

private:
    TPgResult run(std::string_view sql, const TSqlParams& params, bool binaryResult) {
        std::vector<const char*> values(params.size());
        std::vector<int> lengths(params.size());
        std::vector<int> formats(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            values[i] = params[i].Value ? params[i].Value->c_str() : nullptr;
            lengths[i] = params[i].Value ? int(params[i].Value->size()) : 0;
            formats[i] = params[i].Binary ? 1 : 0;
        }
        const std::string text(sql);
        TPgResult r(PQexecParams(FConn.get(), text.c_str(), int(params.size()), nullptr, values.data(),
                                 lengths.data(), formats.data(), binaryResult ? 1 : 0));
        const ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
            const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
            throw TPgError(PQerrorMessage(FConn.get()), state ? state : "");
        }
        return r;
    }

public:
    class TPgError : public TDbError {
    public:
        TPgError(const std::string& message, std::string state)
            : TDbError(message), FState(std::move(state)) {}
        // The SQLSTATE code the server gave.
        [[nodiscard]] const std::string& State() const { return FState; }

    private:
        std::string FState;
    };

private:
    TPgHandle FConn;
};

class TPgPool final : public TSqlPool {
public:
    explicit TPgPool(std::string uri) : FUri(std::move(uri)) {
        auto probe = std::make_unique<TPgConn>(FUri);
        const TSqlRows r = probe->Query("select current_schema()", {}, false);
        std::string schema = r.empty() ? std::string() : r.text(0, 0);
        FChannel = "zuvo_push";
        if (!schema.empty() && schema != "public") {
            FChannel += '_';
            for (char ch : schema)
                FChannel += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        FIdle.push_back(std::move(probe));
    }

    ~TPgPool() override {
        FStop = true;
        if (FListener.joinable())
            FListener.join();
    }

    void Read(const std::function<void(TSqlConn&)>& fn) override {
        withConn([&](TPgConn& c) { fn(c); });
    }

    void Write(const std::function<void(TSqlConn&)>& fn) override {
        // Two transactions that lock the same rows in another order may deadlock;
        // PostgreSQL then aborts one, which is safe to run again.
        for (int attempt = 0;; ++attempt) {
            try {
                withConn([&](TPgConn& c) {
                    c.Plain("begin");
                    try {
                        fn(c);
                        c.Plain("commit");
                    } catch (...) {
                        if (c.ok())
                            PQclear(PQexec(c.handle(), "rollback"));
                        throw;
                    }
                });
                return;
            } catch (const TPgConn::TPgError& e) {
                if (attempt >= 4 || (e.State() != "40001" && e.State() != "40P01" && e.State() != "23505"))
                    throw;
            }
        }
    }

    std::string_view LockSuffix() const override { return " for update"; }
    std::string_view BlobType() const override { return "bytea"; }
    std::string_view SerialKey() const override {
        return "bigint generated by default as identity primary key";
    }

    bool Shared() const override { return true; }

    void Publish(const std::string& payload) override {
        withConn([&](TPgConn& c) { c.Exec("select pg_notify($1,$2)", {FChannel, payload}); });
    }

    void Listen(std::function<void(const std::string&)> onPayload) override {
        auto conn = std::make_unique<TPgConn>(FUri);
        conn->Plain(("listen " + FChannel).c_str());
        FListener = std::thread([this, c = std::move(conn), cb = std::move(onPayload)]() mutable {
            listenLoop(std::move(c), cb);
        });
    }

private:
    static constexpr std::size_t kMaxOpen = 24;

    template <class F> void withConn(F&& fn) {
        std::unique_ptr<TPgConn> conn;
        {
            // Each process may hold only so many connections: the database
            // serves every process of a deployment from one connection limit.
            std::unique_lock l(FLock);
            FFree.wait(l, [&] { return !FIdle.empty() || FOpen < kMaxOpen; });
            if (!FIdle.empty()) {
                conn = std::move(FIdle.back());
                FIdle.pop_back();
            }
            ++FOpen;
        }
        try {
            if (!conn)
                conn = std::make_unique<TPgConn>(FUri);
            fn(*conn);
        } catch (...) {
            giveBack(std::move(conn));
            throw;
        }
        giveBack(std::move(conn));
    }

    void giveBack(std::unique_ptr<TPgConn> conn) {
        {
            std::lock_guard l(FLock);
            --FOpen;
            // A broken connection is dropped; the next request opens a fresh one.
            if (conn && conn->ok() && PQtransactionStatus(conn->handle()) == PQTRANS_IDLE &&
                FIdle.size() < kMaxOpen)
                FIdle.push_back(std::move(conn));
        }
        FFree.notify_one();
    }

    void listenLoop(std::unique_ptr<TPgConn> conn, const std::function<void(const std::string&)>& cb) {
        while (!FStop) {
            if (!conn || !conn->ok()) {
                // The database went away: listen again once it is back.
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                try {
                    conn = std::make_unique<TPgConn>(FUri);
                    conn->Plain(("listen " + FChannel).c_str());
                } catch (const TDbError&) {
                    conn.reset();
                }
                continue;
            }
            pollfd pfd{PQsocket(conn->handle()), POLLIN, 0};
            if (poll(&pfd, 1, 200) <= 0)
                continue;
            if (!PQconsumeInput(conn->handle())) {
                conn.reset();
                continue;
            }
            while (PGnotify* n = PQnotifies(conn->handle())) {
                const std::string payload = n->extra ? n->extra : "";
                PQfreemem(n);
                cb(payload);
            }
        }
    }

    std::string FUri;
    std::string FChannel;
    std::mutex FLock;
    std::condition_variable FFree;
    std::size_t FOpen = 0; // connections in use
    std::vector<std::unique_ptr<TPgConn>> FIdle;
    std::atomic<bool> FStop{false};
    std::thread FListener;
};

} // namespace

std::unique_ptr<TSqlPool> OpenPgPool(const std::string& uri) {
    return std::make_unique<TPgPool>(uri);
}

} // namespace zsrv
