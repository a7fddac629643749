// Rows per second through OdbRowsetCorvid and statements per second through
// OdbSessionCorvid::PutCommand/FlushCommand, against raw sqlite3 and libpq
// loops over the same table in the same run. A fetch iteration reads every
// row of a 10,000-row table (id, name, score) into typed values; an insert
// iteration runs one INSERT of three parameters (or a batch of them),
// inside a transaction that is rolled back at the end. The raw loops do
// what a careful caller does: one prepared statement, values converted to
// the types the library delivers (UTF-16 text, 32-bit integer, double).
//
// SQLite runs in process under a temporary directory. For PostgreSQL the
// benchmark starts a throwaway server with scripts/pg-test-server.sh and
// removes it at the end; when that fails the PostgreSQL part is skipped
// with a message. On a busy machine run it with --benchmark_repetitions=5
// --benchmark_report_aggregates_only=true: the summary then also compares
// the medians. Rates are per wall-clock second, since the PostgreSQL
// server's work happens in other processes. After the runs a summary prints
// each library/raw ratio.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Mod/ModUnicodeString.h"
#include "RawStoreLoops.h"
#include "TavCommon.h"
#include "TavOdb/OdbDataSourceCorvid.h"
#include "TavOdb/OdbRowsetCorvid.h"
#include "TavOdb/OdbSessionCorvid.h"
#include "TavRecords.h"

namespace {

constexpr int kRows = 10000;

std::string scratch() {
  return tavbench::scratchDirectory("tavodb-session-bench");
}

int g_postgresPort = 0;  // 0: no server, the PostgreSQL part is skipped

// The engine backend of the library on one store, with the benchmark's
// tables made and filled through it.
class Library {
 public:
  explicit Library(bool postgres) {
    setenv("TavOdbLogLevel", "off", 1);
    setenv("TavOdbCorvidConnection", postgres ? "2" : "0", 1);
    if (postgres) {
      setenv("TavOdbCorvidHostName", "postgres@127.0.0.1", 1);
      setenv("TavOdbCorvidPortNumber", std::to_string(g_postgresPort).c_str(), 1);
    }
    _ok = OdbDataSource::InitializeCorvid(ModUtf8ToUtf16(scratch()).c_str()) == S_OK;
    _dataSource = std::make_unique<OdbDataSourceCorvid>();
    _dataSource->Initialize(u"bench", u"bench", u"", u"");
    OdbSession* session = nullptr;
    _dataSource->CreateSession(&session);
    _session = static_cast<OdbSessionCorvid*>(session);
    _ok = _ok && _session->Initialize(_dataSource.get(), ODB_POOL_CACHED) == S_OK;
    _ok = _ok && exec(u"DROP TABLE IF EXISTS fetched") && exec(u"DROP TABLE IF EXISTS inserted");
    const std::u16string real = postgres ? u"double precision" : u"REAL";
    _ok = _ok &&
          exec(u"CREATE TABLE fetched (id INTEGER PRIMARY KEY, name TEXT, score " + real + u")") &&
          exec(u"CREATE TABLE inserted (id INTEGER PRIMARY KEY, name TEXT, score " + real + u")");
    _ok = _ok && _session->BeginTransaction(ODB_TRANSACT_READ_WRITE, ODB_ISOLATION_DEFAULT) == S_OK;
    for (int i = 0; _ok && i < kRows; i += 500) {
      for (int j = i; j < i + 500; ++j) {
        const std::u16string name = ModUtf8ToUtf16("name " + std::to_string(j));
        const TavVariant row[3] = {tavrecords::integer(j), tavrecords::text(name),
                                   tavrecords::real(j * 0.5)};
        _ok = _ok && _session->PutCommand(u"INSERT INTO fetched VALUES (?, ?, ?)", 3, row) == S_OK;
      }
      _ok = _ok && _session->FlushCommand() == S_OK;
    }
    _ok = _ok && _session->CommitTransaction() == S_OK;
  }
  ~Library() {
    OdbSession* session = _session;
    _dataSource->ReleaseSession(&session);
    _dataSource.reset();
    OdbDataSource::TerminateCorvid();
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool ok() const { return _ok; }
  OdbSessionCorvid& session() { return *_session; }

 private:
  bool exec(const std::u16string& sql) {
    return _session->PutCommand(sql.c_str(), 0, nullptr) == S_OK &&
           _session->FlushCommand() == S_OK;
  }

  std::unique_ptr<OdbDataSourceCorvid> _dataSource;
  OdbSessionCorvid* _session = nullptr;
  bool _ok = false;
};

// ------------------------------------------------------------- library ---

void libraryFetch(benchmark::State& state, bool postgres) {
  Library library(postgres);
  if (!library.ok()) return state.SkipWithError("setting up the library failed");
  OdbSessionCorvid& session = library.session();
  int64_t rows = 0;
  for (auto _ : state) {
    TavVariant columns[3] = {};
    columns[0].type = TAV_VT_INT;
    columns[1].type = TAV_VT_STRING;
    columns[2].type = TAV_VT_DOUBLE;
    OdbRowset* rowset = nullptr;
    session.CreateRowset(&rowset);
    if (rowset->Initialize(&session, u"SELECT id, name, score FROM fetched", 100, 0, nullptr, 3,
                           columns) != S_OK) {
      state.SkipWithError("Initialize failed");
    }
    TavResult rc = S_OK;
    while ((rc = rowset->GetNextRow(OdbRowsetCorvid::kAllColumns)) == S_OK) {
      benchmark::DoNotOptimize(columns[0].value.intValue);
      benchmark::DoNotOptimize(columns[1].value.string.chars);
      benchmark::DoNotOptimize(columns[2].value.doubleValue);
      ++rows;
    }
    if (rc != TAV_E_NOTFOUND) state.SkipWithError("GetNextRow failed");
    session.ReleaseRowset(&rowset);
  }
  state.SetItemsProcessed(rows);
}

// state.range(0) statements staged per flush.
void libraryInsert(benchmark::State& state, bool postgres) {
  Library library(postgres);
  if (!library.ok()) return state.SkipWithError("setting up the library failed");
  OdbSessionCorvid& session = library.session();
  session.BeginTransaction(ODB_TRANSACT_READ_WRITE, ODB_ISOLATION_DEFAULT);
  const std::u16string name = u"inserted name";
  int id = 0;
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) {
      const TavVariant row[3] = {tavrecords::integer(id++), tavrecords::text(name),
                                 tavrecords::real(1.25)};
      session.PutCommand(u"INSERT INTO inserted VALUES (?, ?, ?)", 3, row);
    }
    if (session.FlushCommand() != S_OK) state.SkipWithError("FlushCommand failed");
  }
  session.AbortTransaction();
  state.SetItemsProcessed(id);
}

// ------------------------------------------------------------- raw SQLite ---

void rawSqliteFetch(benchmark::State& state) {
  { Library library(false); }  // the same table, made the same way
  sqlite3* db = nullptr;
  sqlite3_open((scratch() + "/bench.db").c_str(), &db);
  int64_t rows = 0;
  for (auto _ : state) {
    // Prepared in each iteration, as the rowset prepares its statement.
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, tavbench::kFetchSql, -1, &stmt, nullptr);
    rows += tavbench::sqliteReadRows(stmt);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(rows);
}

void rawSqliteInsert(benchmark::State& state) {
  { Library library(false); }
  tavbench::SqliteInserter inserter(scratch() + "/bench.db");
  int id = 0;
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) inserter.insertRow(state, id++);
  }
  state.SetItemsProcessed(id);
}

// ---------------------------------------------------------- raw PostgreSQL ---

void rawPostgresFetch(benchmark::State& state) {
  { Library library(true); }
  PGconn* conn = tavbench::postgresConnect(g_postgresPort);
  int64_t rows = 0;
  for (auto _ : state) rows += tavbench::postgresReadRows(conn);
  PQfinish(conn);
  state.SetItemsProcessed(rows);
}

void rawPostgresInsert(benchmark::State& state) {
  { Library library(true); }
  tavbench::PostgresInserter inserter(g_postgresPort);
  int id = 0;
  for (auto _ : state) {
    for (int64_t i = 0; i < state.range(0); ++i) inserter.insertRow(state, id++);
  }
  state.SetItemsProcessed(id);
}

// ------------------------------------------------------------- summary ---

// Prints the runs as usual and remembers each one's items per second.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that saved output stays plain text.
  RatioReporter() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // Of the aggregates of repeated runs only the median is compared.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const auto counter = run.counters.find("items_per_second");
      if (!run.error_occurred && counter != run.counters.end())
        _rates[run.benchmark_name()] = counter->second.value;
    }
  }

  // "<store>/<what>/library..." against "<store>/<what>/raw...".
  void printRatios() const {
    std::printf("\nlibrary / raw (items per second; 1.00 = as fast as the raw loop)\n");
    for (const auto& [name, rate] : _rates) {
      const size_t at = name.find("/library");
      if (at == std::string::npos) continue;
      const std::string raw = name.substr(0, at) + "/raw" + name.substr(at + 8);
      const auto other = _rates.find(raw);
      if (other == _rates.end() || other->second <= 0) continue;
      std::printf("  %-44s %9.0f / %9.0f = %.2f\n", name.c_str(), rate, other->second,
                  rate / other->second);
    }
  }

 private:
  std::map<std::string, double> _rates;
};

// The throwaway server of the tests' own script, in the scratch directory.
bool startPostgres() {
  const std::string script = std::string(TAVODB_SOURCE_DIR) + "/scripts/pg-test-server.sh";
  const std::string command = script + " start " + scratch() + "/pg >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  std::ifstream portFile(scratch() + "/pg/port");
  portFile >> g_postgresPort;
  return g_postgresPort != 0;
}

void stopPostgres() {
  const std::string script = std::string(TAVODB_SOURCE_DIR) + "/scripts/pg-test-server.sh";
  const std::string command = script + " stop " + scratch() + "/pg >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "stopping PostgreSQL failed\n");
}

void registerAll(bool postgres) {
  benchmark::RegisterBenchmark("sqlite/fetch/raw", rawSqliteFetch)->UseRealTime();
  benchmark::RegisterBenchmark("sqlite/fetch/library", libraryFetch, false)->UseRealTime();
  benchmark::RegisterBenchmark("sqlite/insert/raw", rawSqliteInsert)
      ->Arg(1)
      ->Arg(100)
      ->UseRealTime();
  benchmark::RegisterBenchmark("sqlite/insert/library", libraryInsert, false)
      ->Arg(1)
      ->Arg(100)
      ->UseRealTime();
  if (!postgres) return;
  benchmark::RegisterBenchmark("postgres/fetch/raw", rawPostgresFetch)->UseRealTime();
  benchmark::RegisterBenchmark("postgres/fetch/library", libraryFetch, true)->UseRealTime();
  benchmark::RegisterBenchmark("postgres/insert/raw", rawPostgresInsert)
      ->Arg(1)
      ->Arg(100)
      ->UseRealTime();
  benchmark::RegisterBenchmark("postgres/insert/library", libraryInsert, true)
      ->Arg(1)
      ->Arg(100)
      ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const bool postgres = startPostgres();
  if (!postgres) {
    std::fprintf(stderr,
                 "PostgreSQL part skipped: scripts/pg-test-server.sh could not start a server "
                 "(it needs the postgresql package and root or the postgres user)\n");
  }
  registerAll(postgres);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  if (postgres) stopPostgres();
  std::filesystem::remove_all(scratch());
  return 0;
}
