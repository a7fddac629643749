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

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Corvid/Client.h"
#include "Corvid/Exception.h"
#include "Corvid/Server.h"
#include "RawStoreLoops.h"

using namespace Corvid::Common;
using Corvid::Client::DataSource;
using Corvid::Client::ResultSet;
using Corvid::Client::Session;

namespace {

constexpr int kRows = 10000;

std::string directory() {
  return tavbench::scratchDirectory("tavodb-engine-bench");
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
  // The parameters are made once and only the id changes, as the raw loop
  // binds the same text and number each time.
  ObjectPointer<IntegerData> idValue(new IntegerData());
  DataArrayData values;
  values.pushBack(idValue);
  values.pushBack(new StringData(u"inserted name"));
  values.pushBack(new DoubleData(1.25));
  int id = 0;
  for (auto _ : state) {
    idValue->setValue(id++);
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
  // Prepared once, as the engine side prepares its select once.
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, tavbench::kFetchSql, -1, &stmt, nullptr);
  int64_t rows = 0;
  for (auto _ : state) {
    rows += tavbench::sqliteReadRows(stmt);
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  state.SetItemsProcessed(rows);
}

void rawSqliteInsert(benchmark::State& state) {
  { Engine engine(false); }
  tavbench::SqliteInserter inserter(directory() + "/bench.db");
  int id = 0;
  for (auto _ : state) inserter.insertRow(state, id++);
  state.SetItemsProcessed(id);
}

// ---------------------------------------------------------- raw PostgreSQL ---

void rawPostgresFetch(benchmark::State& state) {
  { Engine engine(true); }
  PGconn* conn = tavbench::postgresConnect(postgresPort());
  int64_t rows = 0;
  for (auto _ : state) rows += tavbench::postgresReadRows(conn);
  PQfinish(conn);
  state.SetItemsProcessed(rows);
}

void rawPostgresInsert(benchmark::State& state) {
  { Engine engine(true); }
  tavbench::PostgresInserter inserter(postgresPort());
  int id = 0;
  for (auto _ : state) inserter.insertRow(state, id++);
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
