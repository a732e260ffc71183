#pragma once
// The little SQL the store needs, spoken the same way to SQLite and PostgreSQL:
// parameters are "$1", "$2"... in order of first appearance (SQLite reads them as
// named parameters numbered by that order), values travel as text or as bytes,
// and results come back as text cells.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zsrv {

class TDbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TSqlParam {
    std::optional<std::string> Value; // nullopt is NULL
    bool Binary = false;

    TSqlParam() = default;
    TSqlParam(std::string v) : Value(std::move(v)) {}
    TSqlParam(std::string_view v) : Value(std::string(v)) {}
    TSqlParam(const char* v) : Value(std::string(v)) {}
    TSqlParam(std::int64_t v) : Value(std::to_string(v)) {}
    TSqlParam(int v) : Value(std::to_string(v)) {}
    [[nodiscard]] static TSqlParam Blob(std::string bytes) {
        TSqlParam p(std::move(bytes));
        p.Binary = true;
        return p;
    }
};
using TSqlParams = std::vector<TSqlParam>;

class TSqlRows {
public:
    TSqlRows() = default;
    explicit TSqlRows(int columns) : FColumns(columns) {}
    void add(std::optional<std::string> cell) { FCells.push_back(std::move(cell)); }
    [[nodiscard]] std::size_t size() const { return FColumns ? FCells.size() / std::size_t(FColumns) : 0; }
    [[nodiscard]] bool empty() const { return size() == 0; }
    [[nodiscard]] int columns() const { return FColumns; }
    [[nodiscard]] bool isNull(std::size_t row, int col) const { return !cell(row, col).has_value(); }
    [[nodiscard]] std::string text(std::size_t row, int col) const {
        return cell(row, col).value_or(std::string());
    }
    [[nodiscard]] std::int64_t integer(std::size_t row, int col) const;

private:
    [[nodiscard]] const std::optional<std::string>& cell(std::size_t row, int col) const {
        return FCells[row * std::size_t(FColumns) + std::size_t(col)];
    }
    int FColumns = 0;
    std::vector<std::optional<std::string>> FCells;
};

class TSqlConn {
public:
    virtual ~TSqlConn() = default;
    // Runs one statement and returns its rows. binaryResult asks for the raw
    // bytes of blob columns (PostgreSQL otherwise returns bytea as hex text).
    virtual TSqlRows Query(std::string_view sql, const TSqlParams& params, bool binaryResult = false) = 0;
    // Runs one statement and returns how many rows it changed.
    virtual std::int64_t Exec(std::string_view sql, const TSqlParams& params) = 0;
};

class TSqlPool {
public:
    virtual ~TSqlPool() = default;
    // Runs fn with a connection of its own for the time of the call.
    virtual void Read(const std::function<void(TSqlConn&)>& fn) = 0;
    // Runs fn inside a write transaction; returns once the transaction is durable.
    // An exception from fn rolls back fn's changes only and is rethrown here.
    virtual void Write(const std::function<void(TSqlConn&)>& fn) = 0;
    // " for update" where the database locks selected rows, else empty.
    [[nodiscard]] virtual std::string_view LockSuffix() const = 0;
    [[nodiscard]] virtual std::string_view BlobType() const = 0;
    [[nodiscard]] virtual std::string_view SerialKey() const = 0;
    // Messages to and from other server processes on the same database.
    [[nodiscard]] virtual bool Shared() const = 0; // other server processes may use the database
    virtual void Publish(const std::string& payload) = 0;
    virtual void Listen(std::function<void(const std::string&)> onPayload) = 0;
};

// "sqlite:PATH": creates the file and its folder when missing.
[[nodiscard]] std::unique_ptr<TSqlPool> OpenSqlitePool(const std::string& path, bool fullSync = true);
// A libpq connection URI.
[[nodiscard]] std::unique_ptr<TSqlPool> OpenPgPool(const std::string& uri);

} // namespace zsrv
