#include "RawStoreLoops.h"

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Mod/ModUnicodeString.h"

namespace tavbench {

namespace {

constexpr const char* kFetchName = "select";
constexpr const char* kInsertName = "insert";

}  // namespace

std::string scratchDirectory(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

int64_t sqliteReadRows(sqlite3_stmt* stmt) {
  int64_t rows = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const auto id = static_cast<int32_t>(sqlite3_column_int64(stmt, 0));
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt, 1));
    std::u16string name(text, static_cast<size_t>(sqlite3_column_bytes16(stmt, 1)) / 2);
    const double score = sqlite3_column_double(stmt, 2);
    benchmark::DoNotOptimize(id);
    benchmark::DoNotOptimize(name.data());
    benchmark::DoNotOptimize(score);
    ++rows;
  }
  return rows;
}

SqliteInserter::SqliteInserter(const std::string& path) {
  sqlite3_open(path.c_str(), &_db);
  sqlite3_exec(_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_prepare_v2(_db, kSqliteInsertSql, -1, &_stmt, nullptr);
}

SqliteInserter::~SqliteInserter() {
  sqlite3_finalize(_stmt);
  sqlite3_exec(_db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(_db);
}

void SqliteInserter::insertRow(benchmark::State& state, int id) {
  static const std::u16string name = u"inserted name";
  sqlite3_bind_int64(_stmt, 1, id);
  sqlite3_bind_text16(_stmt, 2, name.data(), static_cast<int>(name.size() * 2), SQLITE_TRANSIENT);
  sqlite3_bind_double(_stmt, 3, 1.25);
  if (sqlite3_step(_stmt) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(_db));
  sqlite3_reset(_stmt);
}

PGconn* postgresConnect(int port) {
  const std::string info = "host=127.0.0.1 user=postgres dbname=bench port=" + std::to_string(port);
  PGconn* conn = PQconnectdb(info.c_str());
  PQclear(PQprepare(conn, kFetchName, kFetchSql, 0, nullptr));
  PQclear(PQprepare(conn, kInsertName, "INSERT INTO inserted VALUES ($1, $2, $3)", 0, nullptr));
  return conn;
}

int64_t postgresReadRows(PGconn* conn) {
  PGresult* result = PQexecPrepared(conn, kFetchName, 0, nullptr, nullptr, nullptr, 0);
  const int count = PQntuples(result);
  for (int row = 0; row < count; ++row) {
    const auto id = static_cast<int32_t>(std::strtol(PQgetvalue(result, row, 0), nullptr, 10));
    std::u16string name = ModUtf8ToUtf16(PQgetvalue(result, row, 1));
    const double score = std::strtod(PQgetvalue(result, row, 2), nullptr);
    benchmark::DoNotOptimize(id);
    benchmark::DoNotOptimize(name.data());
    benchmark::DoNotOptimize(score);
  }
  PQclear(result);
  return count;
}

PostgresInserter::PostgresInserter(int port) : _conn(postgresConnect(port)) {
  PQclear(PQexec(_conn, "BEGIN"));
}

PostgresInserter::~PostgresInserter() {
  PQclear(PQexec(_conn, "ROLLBACK"));
  PQfinish(_conn);
}

void PostgresInserter::insertRow(benchmark::State& state, int id) {
  const std::string key = std::to_string(id);
  const char* values[] = {key.c_str(), "inserted name", "1.25"};
  PGresult* result = PQexecPrepared(_conn, kInsertName, 3, values, nullptr, nullptr, 0);
  if (PQresultStatus(result) != PGRES_COMMAND_OK) state.SkipWithError(PQerrorMessage(_conn));
  PQclear(result);
}

}  // namespace tavbench
