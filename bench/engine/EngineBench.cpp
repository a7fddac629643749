// Fetch and insert throughput of the engine client against the raw C APIs
// of its stores, on the same table in the same run. Each fetch iteration
// reads every row and column of a 10,000-row table; each insert iteration
// inserts one row inside an open transaction. The raw side does the work a
// real caller would: it copies each text and converts each number.
//
// SQLite runs in a temporary directory. PostgreSQL runs when
// TAVODB_BENCH_PG_PORT names the port of a server on 127.0.0.1 that user
// postgres may use without a password.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Corvid/Client.h"
#include "Corvid/Exception.h"
#include "Corvid/Server.h"

using namespace Corvid::Common;
using Corvid::Client::DataSource;
using Corvid::Client::ResultSet;
using Corvid::Client::Session;

namespace {

constexpr int kRows = 10000;

std::string directory() {
  static const std::string path = [] {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tavodb-engine-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
  }();
  return path;
}

int postgresPort() {
  const char* port = std::getenv("TAVODB_BENCH_PG_PORT");
  return port ? std::atoi(port) : 0;
}

// Runs a statement through the engine and drains it.
void run(Session& session, const char16_t* sql, const DataArrayData& values = DataArrayData()) {
  ResultSet* resultSet = session.executeStatement(ModUnicodeString(sql), values);
  DataArrayData* tuple = nullptr;
  while (resultSet->getNextTuple(tuple) == ResultSet::Data) ResultSet::releaseTuple(tuple);
  resultSet->release();
}

struct Engine {
  DataSource* dataSource = nullptr;
  Session* session = nullptr;
  Corvid::Client::PrepareStatement* select = nullptr;
  Corvid::Client::PrepareStatement* insert = nullptr;

  explicit Engine(bool postgres) {
    if (postgres) {
      Corvid::Client::Singleton::RemoteServer::initialize(ModUnicodeString(u""));
      dataSource =
          DataSource::createDataSource(ModUnicodeString(u"postgres@127.0.0.1"), postgresPort());
    } else {
      Corvid::Server::Singleton::InProcess::initialize(
          false, ModUnicodeString(ModUtf8ToUtf16(directory())));
      dataSource = DataSource::createDataSource();
    }
    dataSource->open(0);
    session = dataSource->createSession(ModUnicodeString(u"bench"));
    run(*session, u"DROP TABLE IF EXISTS fetched");
    run(*session, u"DROP TABLE IF EXISTS inserted");
    run(*session, u"CREATE TABLE fetched (id INTEGER PRIMARY KEY, name TEXT, score REAL)");
    run(*session, u"CREATE TABLE inserted (id INTEGER PRIMARY KEY, name TEXT, score REAL)");
    run(*session, u"START TRANSACTION READ WRITE");
    for (int i = 0; i < kRows; ++i) {
      DataArrayData values;
      values.pushBack(new IntegerData(i));
      values.pushBack(
          new StringData(ModUnicodeString(ModUtf8ToUtf16("name " + std::to_string(i)))));
      values.pushBack(new DoubleData(i * 0.5));
      run(*session, u"INSERT INTO fetched VALUES (?, ?, ?)", values);
    }
    run(*session, u"COMMIT");
    select = dataSource->createPrepareStatement(
        ModUnicodeString(u"bench"), ModUnicodeString(u"SELECT id, name, score FROM fetched"));
    insert = dataSource->createPrepareStatement(
        ModUnicodeString(u"bench"), ModUnicodeString(u"INSERT INTO inserted VALUES (?, ?, ?)"));
  }
  ~Engine() {
    select->release();
    insert->release();
    session->release();
    dataSource->release();
  }
};

void engineFetch(benchmark::State& state, bool postgres) {
  Engine engine(postgres);
  int64_t rows = 0;
  for (auto _ : state) {
    ResultSet* resultSet = engine.session->executePrepareStatement(engine.select, DataArrayData());
    DataArrayData* tuple = nullptr;
    while (resultSet->getNextTuple(tuple) == ResultSet::Data) {
      benchmark::DoNotOptimize(tuple->getElement(1).get());
      ResultSet::releaseTuple(tuple);
      ++rows;
    }
    resultSet->release();
  }
  state.SetItemsProcessed(rows);
}

void engineInsert(benchmark::State& state, bool postgres) {
  Engine engine(postgres);
  run(*engine.session, u"START TRANSACTION READ WRITE");
  int id = 0;
  for (auto _ : state) {
    DataArrayData values;
    values.pushBack(new IntegerData(id++));
    values.pushBack(new StringData(u"inserted name"));
    values.pushBack(new DoubleData(1.25));
    ResultSet* resultSet = engine.session->executePrepareStatement(engine.insert, values);
    DataArrayData* tuple = nullptr;
    resultSet->getNextTuple(tuple);
    resultSet->release();
  }
  run(*engine.session, u"ROLLBACK");
  state.SetItemsProcessed(id);
}

// ------------------------------------------------------------- raw SQLite ---

void rawSqliteFetch(benchmark::State& state) {
  { Engine engine(false); }  // the same table, made the same way
  sqlite3* db = nullptr;
  sqlite3_open((directory() + "/bench.db").c_str(), &db);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, name, score FROM fetched", -1, &stmt, nullptr);
  int64_t rows = 0;
  for (auto _ : state) {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const int64_t id = sqlite3_column_int64(stmt, 0);
      const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt, 1));
      std::u16string name(text, static_cast<std::size_t>(sqlite3_column_bytes16(stmt, 1)) / 2);
      const double score = sqlite3_column_double(stmt, 2);
      benchmark::DoNotOptimize(id);
      benchmark::DoNotOptimize(name.data());
      benchmark::DoNotOptimize(score);
      ++rows;
    }
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  state.SetItemsProcessed(rows);
}

void rawSqliteInsert(benchmark::State& state) {
  { Engine engine(false); }
  sqlite3* db = nullptr;
  sqlite3_open((directory() + "/bench.db").c_str(), &db);
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO inserted VALUES (?, ?, ?)", -1, &stmt, nullptr);
  const std::u16string name = u"inserted name";
  int id = 0;
  for (auto _ : state) {
    sqlite3_bind_int64(stmt, 1, id++);
    sqlite3_bind_text16(stmt, 2, name.data(), static_cast<int>(name.size() * 2), SQLITE_TRANSIENT);
    sqlite3_bind_double(stmt, 3, 1.25);
    if (sqlite3_step(stmt) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  state.SetItemsProcessed(id);
}

// ---------------------------------------------------------- raw PostgreSQL ---

PGconn* connectRaw() {
  const std::string info =
      "host=127.0.0.1 user=postgres dbname=bench port=" + std::to_string(postgresPort());
  return PQconnectdb(info.c_str());
}

void rawPostgresFetch(benchmark::State& state) {
  { Engine engine(true); }
  PGconn* conn = connectRaw();
  PQclear(PQprepare(conn, "select", "SELECT id, name, score FROM fetched", 0, nullptr));
  int64_t rows = 0;
  for (auto _ : state) {
    PGresult* result = PQexecPrepared(conn, "select", 0, nullptr, nullptr, nullptr, 0);
    const int count = PQntuples(result);
    for (int row = 0; row < count; ++row) {
      const long long id = std::strtoll(PQgetvalue(result, row, 0), nullptr, 10);
      std::u16string name = ModUtf8ToUtf16(PQgetvalue(result, row, 1));
      const double score = std::strtod(PQgetvalue(result, row, 2), nullptr);
      benchmark::DoNotOptimize(id);
      benchmark::DoNotOptimize(name.data());
      benchmark::DoNotOptimize(score);
      ++rows;
    }
    PQclear(result);
  }
  PQfinish(conn);
  state.SetItemsProcessed(rows);
}

void rawPostgresInsert(benchmark::State& state) {
  { Engine engine(true); }
  PGconn* conn = connectRaw();
  PQclear(PQexec(conn, "BEGIN"));
  PQclear(PQprepare(conn, "insert", "INSERT INTO inserted VALUES ($1, $2, $3)", 0, nullptr));
  int id = 0;
  for (auto _ : state) {
    const std::string key = std::to_string(id++);
    const char* values[] = {key.c_str(), "inserted name", "1.25"};
    PGresult* result = PQexecPrepared(conn, "insert", 3, values, nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_COMMAND_OK) state.SkipWithError(PQerrorMessage(conn));
    PQclear(result);
  }
  PQclear(PQexec(conn, "ROLLBACK"));
  PQfinish(conn);
  state.SetItemsProcessed(id);
}

void registerAll() {
  benchmark::RegisterBenchmark("sqlite/fetch/raw", rawSqliteFetch);
  benchmark::RegisterBenchmark("sqlite/fetch/engine", engineFetch, false);
  benchmark::RegisterBenchmark("sqlite/insert/raw", rawSqliteInsert);
  benchmark::RegisterBenchmark("sqlite/insert/engine", engineInsert, false);
  if (postgresPort() != 0) {
    benchmark::RegisterBenchmark("postgres/fetch/raw", rawPostgresFetch);
    benchmark::RegisterBenchmark("postgres/fetch/engine", engineFetch, true);
    benchmark::RegisterBenchmark("postgres/insert/raw", rawPostgresInsert);
    benchmark::RegisterBenchmark("postgres/insert/engine", engineInsert, true);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(directory());
  return 0;
}
