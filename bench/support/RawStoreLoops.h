// The raw sqlite3 and libpq loops the benchmarks measure the library
// against, kept in one place so that every benchmark compares with exactly
// the same work. They do what a careful caller of the C APIs does: one
// prepared statement, and each value converted to the type the library
// delivers (32-bit integer, UTF-16 text, double).
//
// All of them work on the benchmarks' two tables, made by the library under
// test: fetched (id, name, score) and inserted with the same columns.
// Nothing here is thread-safe; each benchmark uses one connection from one
// thread. The C API headers stay in the .cpp file.
#pragma once

#include <cstdint>
#include <string>

namespace benchmark {
class State;
}

struct sqlite3;
struct sqlite3_stmt;
typedef struct pg_conn PGconn;

namespace tavbench {

// Makes (if need be) and returns <temp>/<name>-<pid>, the directory where a
// benchmark keeps its stores. The caller removes it at the end.
std::string scratchDirectory(const std::string& name);

// The statements the loops below expect, for sqlite3_prepare_v2.
inline constexpr const char* kFetchSql = "SELECT id, name, score FROM fetched";
inline constexpr const char* kSqliteInsertSql = "INSERT INTO inserted VALUES (?, ?, ?)";

// Steps a statement made from kFetchSql to its end, reading each row's id,
// name and score. Returns the number of rows read; the caller resets or
// finalizes the statement.
int64_t sqliteReadRows(sqlite3_stmt* stmt);

// A connection to the SQLite file at path with a write transaction open
// and kSqliteInsertSql prepared. The destructor rolls the transaction back
// and closes, so the tables stay as the library made them.
class SqliteInserter {
 public:
  explicit SqliteInserter(const std::string& path);
  ~SqliteInserter();
  SqliteInserter(const SqliteInserter&) = delete;
  SqliteInserter& operator=(const SqliteInserter&) = delete;

  // Binds (id, "inserted name", 1.25), runs the insert and resets it for
  // the next row. On failure marks the run as failed with the store's
  // message.
  void insertRow(benchmark::State& state, int id);

 private:
  sqlite3* _db = nullptr;
  sqlite3_stmt* _stmt = nullptr;
};

// Connects as postgres to the database "bench" on 127.0.0.1:port and
// prepares the statements of postgresReadRows and PostgresInserter. The
// caller owns the connection and ends it with PQfinish.
PGconn* postgresConnect(int port);

// Runs the prepared fetch of kFetchSql and reads each row's id, name and
// score as text converted to its type. Returns the number of rows read.
int64_t postgresReadRows(PGconn* conn);

// A connection from postgresConnect with a transaction open. The
// destructor rolls it back and ends the connection.
class PostgresInserter {
 public:
  explicit PostgresInserter(int port);
  ~PostgresInserter();
  PostgresInserter(const PostgresInserter&) = delete;
  PostgresInserter& operator=(const PostgresInserter&) = delete;

  // Runs the prepared insert of (id, "inserted name", 1.25). On failure
  // marks the run as failed with the connection's message.
  void insertRow(benchmark::State& state, int id);

 private:
  PGconn* _conn = nullptr;
};

}  // namespace tavbench
