// The engine backend through the library's public classes, against the
// in-process engine and (built with ENGINE_BACKEND_POSTGRES) against the
// remote engine on the test PostgreSQL server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "TavCommon.h"
#include "TavOdb/OdbDataSourceCorvid.h"
#include "TavOdb/OdbPrepareStatement.h"
#include "TavOdb/OdbRowsetCorvid.h"
#include "TavOdb/OdbSessionCorvid.h"
#include "TavRecords.h"
#include "TestSupport.h"

namespace {

#ifdef ENGINE_BACKEND_POSTGRES
constexpr bool kRemote = true;
#else
constexpr bool kRemote = false;
#endif

std::u16string utf16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

struct SessionDeleter {
  void operator()(OdbSession* session) const { delete session; }
};
using SessionPointer = std::unique_ptr<OdbSessionCorvid, SessionDeleter>;

class EngineBackend : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef ENGINE_BACKEND_POSTGRES
    std::ifstream portFile(std::string(std::getenv("TAVODB_TEST_PG_DIR")) + "/port");
    std::string port;
    portFile >> port;
    setenv("TavOdbCorvidConnection", "2", 1);
    setenv("TavOdbCorvidHostName", "postgres@127.0.0.1", 1);
    setenv("TavOdbCorvidPortNumber", port.c_str(), 1);
#endif
    ASSERT_TAV_OK(OdbDataSource::InitializeCorvid(utf16(_directory.path()).c_str()));
    _dataSource = std::make_unique<OdbDataSourceCorvid>();
    ASSERT_TAV_OK(_dataSource->Initialize(u"engine", u"backend", u"", u""));
    _session = newSession();
    ASSERT_NE(_session, nullptr);
    // Test programs share one PostgreSQL database: each test has its own table.
    _table = "t_";
    for (const char* c = ::testing::UnitTest::GetInstance()->current_test_info()->name(); *c; ++c) {
      _table += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    exec("DROP TABLE IF EXISTS " + _table);
  }

  void TearDown() override {
    _session.reset();
    _dataSource.reset();
    OdbDataSource::TerminateCorvid();
  }

  SessionPointer newSession(OdbPoolMode mode = ODB_POOL_CACHED) {
    OdbSession* session = nullptr;
    EXPECT_EQ(_dataSource->CreateSession(&session), S_OK);
    EXPECT_EQ(session->Initialize(_dataSource.get(), mode), S_OK);
    return SessionPointer(static_cast<OdbSessionCorvid*>(session));
  }

  TavResult exec(const std::string& sql, std::vector<TavVariant> params = {},
                 OdbSessionCorvid* session = nullptr) {
    OdbSessionCorvid* target = session ? session : _session.get();
    const std::u16string text = utf16(sql);
    TavResult rc = target->PutCommand(text.c_str(), static_cast<int>(params.size()), params.data());
    return rc == S_OK ? target->FlushCommand() : rc;
  }

  // Reads every row into records of the given types; each row's values are
  // deep copies owned by the returned rows.
  struct Rows {
    std::vector<std::vector<TavVariant>> values;
    ~Rows() {
      for (auto& row : values)
        for (auto& value : row) TavFreeMemory(&value);
    }
  };

  TavResult query(const std::string& sql, std::vector<TavVariant> params,
                  std::vector<TavVariantType> types, Rows& rows,
                  OdbSessionCorvid* session = nullptr) {
    OdbSessionCorvid* target = session ? session : _session.get();
    OdbRowset* rowset = nullptr;
    EXPECT_EQ(target->CreateRowset(&rowset), S_OK);
    std::vector<TavVariant> columns;
    for (TavVariantType type : types) columns.push_back(tavrecords::null(type));
    const std::u16string text = utf16(sql);
    TavResult rc =
        rowset->Initialize(target, text.c_str(), 10, static_cast<int>(params.size()), params.data(),
                           static_cast<int>(columns.size()), columns.data());
    while (rc == S_OK && (rc = rowset->GetNextRow(OdbRowsetCorvid::kAllColumns)) == S_OK) {
      std::vector<TavVariant> copy(columns.size());
      for (size_t i = 0; i < columns.size(); ++i) TavCopyVariant(&copy[i], &columns[i]);
      rows.values.push_back(std::move(copy));
    }
    target->ReleaseRowset(&rowset);
    return rc == TAV_E_NOTFOUND ? S_OK : rc;
  }

  int countRows(const std::string& where = "") {
    Rows rows;
    EXPECT_EQ(query("SELECT COUNT(*) FROM " + _table + where, {}, {TAV_VT_INT}, rows), S_OK);
    return rows.values.empty() ? -1 : rows.values[0][0].value.intValue;
  }

  static std::string type(const char* sqlite, const char* postgres) {
    return kRemote ? postgres : sqlite;
  }

  tavtest::TempDirectory _directory;
  std::unique_ptr<OdbDataSourceCorvid> _dataSource;
  SessionPointer _session;
  std::string _table;
};

TEST_F(EngineBackend, EveryValueTypeRoundTripsThroughStagedCommandsAndRowsets) {
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, i INTEGER, r " +
                     type("REAL", "double precision") + ", t TEXT, b " + type("BLOB", "bytea") +
                     ", d " + type("DATETIME", "timestamp(3)") + ", g TEXT, a " +
                     type("TEXT ARRAY", "text[]") + ")"));
  const std::string insert = "INSERT INTO " + _table + " VALUES (?, ?, ?, ?, ?, ?, ?, ?)";

  const TavVariant real = tavrecords::real(-1234.5625);
  const unsigned char bytes[] = {0, 1, 0, 255, 7};
  const TavVariant binary = tavrecords::binary(bytes, sizeof bytes);
  const TavVariant when = tavrecords::dateTime({2026, 12, 5, 23, 59, 58, 987});
  GUID id{};
  ASSERT_TAV_OK(TavStringToGuid(&id, u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}"));
  const TavVariant guid = tavrecords::guid(id);
  TavVariantArray* texts = nullptr;
  ASSERT_TAV_OK(TavAllocateVariants(&texts, 2));
  texts->elements[0] = tavrecords::text(u"first section");
  texts->elements[1] = tavrecords::text(u"\U0001F600 second");
  const TavVariant array = tavrecords::array(texts);
  const TavVariant alt = tavrecords::integer(-7, TAV_VT_INT_ALT);

  // Two commands staged, one flush; the second row is all NULLs.
  ASSERT_TAV_OK(_session->PutCommand(
      utf16(insert).c_str(), 8,
      std::vector<TavVariant>{tavrecords::integer(1), alt, real,
                              tavrecords::text(u"caf\u00e9 \U00010348"), binary, when, guid, array}
          .data()));
  ASSERT_TAV_OK(_session->PutCommand(
      utf16(insert).c_str(), 8,
      std::vector<TavVariant>{tavrecords::integer(2), tavrecords::null(TAV_VT_INT),
                              tavrecords::null(TAV_VT_DOUBLE), tavrecords::null(TAV_VT_STRING),
                              tavrecords::null(TAV_VT_BINARY), tavrecords::null(TAV_VT_DATETIME),
                              tavrecords::null(TAV_VT_GUID), tavrecords::null(TAV_VT_ARRAY)}
          .data()));
  ASSERT_TAV_OK(_session->FlushCommand());
  // The staged copies are independent of the caller's records.
  texts->elements[0].value.string.chars = nullptr;
  texts->elements[1].value.string.chars = nullptr;
  TavFreeVariants(texts);

  Rows rows;
  ASSERT_TAV_OK(query("SELECT i, r, t, b, d, g, a FROM " + _table + " ORDER BY id", {},
                      {TAV_VT_INT_ALT, TAV_VT_DOUBLE, TAV_VT_STRING, TAV_VT_BINARY, TAV_VT_DATETIME,
                       TAV_VT_GUID, TAV_VT_STRING},
                      rows));
  ASSERT_EQ(rows.values.size(), 2u);
  const auto& full = rows.values[0];
  EXPECT_EQ(full[0].value.intValue, -7);
  EXPECT_EQ(full[1].value.doubleValue, -1234.5625);
  EXPECT_EQ(std::u16string(full[2].value.string.chars, full[2].value.string.length),
            u"caf\u00e9 \U00010348");
  ASSERT_EQ(full[3].value.binary.size, sizeof bytes);
  EXPECT_EQ(std::memcmp(full[3].value.binary.data, bytes, sizeof bytes), 0);
  const TavDateTime& dt = full[4].value.dateTime;
  EXPECT_EQ(
      std::vector<int>({dt.year, dt.month, dt.day, dt.hour, dt.minute, dt.second, dt.millisecond}),
      std::vector<int>({2026, 12, 5, 23, 59, 58, 987}));
  EXPECT_EQ(TavIsEqualGuid(full[5].value.guidValue, guid.value.guidValue), TAV_TRUE);
  ASSERT_EQ(full[6].type, TAV_VT_ARRAY);
  ASSERT_EQ(full[6].value.array->count, 2);
  EXPECT_EQ(std::u16string(full[6].value.array->elements[1].value.string.chars),
            u"\U0001F600 second");
  for (const auto& value : full) EXPECT_EQ(value.hasValue, 1);
  for (const auto& value : rows.values[1]) EXPECT_EQ(value.hasValue, 0);
  EXPECT_EQ(rows.values[1][2].value.string.chars, nullptr);
}

// Rows and staged commands refill the storage of earlier ones: texts that
// grow, shrink and turn NULL, a text the caller took out of its record,
// parameter lists of other shapes and values of other types.
TEST_F(EngineBackend, LaterRowsAndCommandsReuseStorageSafely) {
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, t TEXT, n INTEGER)"));
  const std::u16string insert = utf16("INSERT INTO " + _table + " VALUES (?, ?, ?)");
  const std::u16string insertTwo = utf16("INSERT INTO " + _table + " (id, t) VALUES (?, ?)");
  const char16_t* texts[] = {u"a rather long first text", u"short", nullptr,
                             u"a text longer than every one before it", u"mid length"};
  for (int id = 1; id <= 5; ++id) {
    const char16_t* text = texts[id - 1];
    const TavVariant params[3] = {tavrecords::integer(id),
                                  text ? tavrecords::text(text) : tavrecords::null(TAV_VT_STRING),
                                  id % 2 ? tavrecords::integer(id * 10) : tavrecords::text(u"20")};
    if (id == 4) {
      ASSERT_TAV_OK(_session->PutCommand(insertTwo.c_str(), 2, params));
    } else {
      ASSERT_TAV_OK(_session->PutCommand(insert.c_str(), 3, params));
    }
    // One flush per command, and one with two staged.
    if (id != 2) ASSERT_TAV_OK(_session->FlushCommand());
  }

  OdbRowset* rowset = nullptr;
  ASSERT_TAV_OK(_session->CreateRowset(&rowset));
  TavVariant columns[2] = {tavrecords::null(TAV_VT_STRING), tavrecords::null(TAV_VT_INT)};
  const std::u16string select = utf16("SELECT t, n FROM " + _table + " ORDER BY id");
  ASSERT_TAV_OK(rowset->Initialize(_session.get(), select.c_str(), 10, 0, nullptr, 2, columns));
  std::vector<std::u16string> read;
  std::vector<int> numbers;
  char16_t* taken = nullptr;
  TavResult rc;
  while ((rc = rowset->GetNextRow(OdbRowsetCorvid::kAllColumns)) == S_OK) {
    read.push_back(columns[0].hasValue ? std::u16string(columns[0].value.string.chars,
                                                        columns[0].value.string.length)
                                       : u"(null)");
    numbers.push_back(columns[1].hasValue ? columns[1].value.intValue : -1);
    if (read.size() == 1) {
      // The caller keeps the first text: the next row must not write into it.
      taken = columns[0].value.string.chars;
      columns[0].value.string.chars = nullptr;
      columns[0].value.string.length = 0;
    }
  }
  EXPECT_TAV_RC(TAV_E_NOTFOUND, rc);
  _session->ReleaseRowset(&rowset);
  TavFreeMemory(&columns[0]);
  EXPECT_EQ(std::u16string(taken), texts[0]);
  TavFreeMemory(taken);
  EXPECT_EQ(read, (std::vector<std::u16string>{texts[0], texts[1], u"(null)", texts[3], texts[4]}));
  EXPECT_EQ(numbers, (std::vector<int>{10, 20, 30, -1, 50}));
}

TEST_F(EngineBackend, FullTextUpdateWithLanguagesAndSectionNumbers) {
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, Content " +
                     type("TEXT ARRAY", "text[]") + ", ContentTextLanguage " +
                     type("TEXT ARRAY", "text[]") + ")"));
  ASSERT_TAV_OK(exec("CREATE FULLTEXT INDEX ON " + _table + " (Content)"));
  ASSERT_TAV_OK(exec("INSERT INTO " + _table + " (id) VALUES (1), (2)"));

  std::vector<TavVariant> sections{tavrecords::text(u"The quick brown fox"),
                                   tavrecords::text(u"jumps over the lazy dog"),
                                   tavrecords::text(u"\u6771\u4eac\u90fd quick")};
  std::vector<TavVariant> languages{tavrecords::text(u"en"), tavrecords::text(u"en-US"),
                                    tavrecords::text(u"ja")};
  const std::u16string table = utf16(_table);
  ASSERT_TAV_OK(_session->UpdateFullText(table.c_str(), u"Content", u"id = 1", 3, sections.data(),
                                         languages.data(), ODB_UPDATE_REPLACE));
  // Without languages every value is taken as "ja+en".
  std::vector<TavVariant> other{tavrecords::text(u"a lazy afternoon"),
                                tavrecords::text(u"brown fox")};
  ASSERT_TAV_OK(_session->UpdateFullText(table.c_str(), u"Content", u"id = 2", 2, other.data(),
                                         nullptr, ODB_UPDATE_REPLACE));
  std::vector<TavVariant> badLanguage{tavrecords::integer(3)};
  EXPECT_TAV_RC(E_INVALIDARG,
                _session->UpdateFullText(table.c_str(), u"Content", u"id = 2", 1, other.data(),
                                         badLanguage.data(), ODB_UPDATE_REPLACE));

  auto search = [&](const char16_t* terms) {
    std::vector<std::pair<int, std::vector<int>>> hits;
    OdbRowset* rowset = nullptr;
    EXPECT_EQ(_session->CreateRowset(&rowset), S_OK);
    TavVariant columns[2] = {tavrecords::null(TAV_VT_INT), tavrecords::null(TAV_VT_INT)};
    TavVariant parameter = tavrecords::text(terms);
    const std::u16string sql = utf16("SELECT SECTIONS(d.Content), id FROM " + _table +
                                     " d WHERE CONTAINS(d.Content, ?) ORDER BY id");
    EXPECT_EQ(rowset->Initialize(_session.get(), sql.c_str(), 1, 1, &parameter, 2, columns), S_OK);
    while (rowset->GetNextRow(OdbRowsetCorvid::kSectionMode) == S_OK) {
      const int count = columns[0].value.intValue;
      std::vector<TavVariant> numbers(static_cast<size_t>(count));
      EXPECT_EQ(rowset->GetSectionNumbers(numbers.data(), count + 1), E_INVALIDARG);
      EXPECT_EQ(rowset->GetSectionNumbers(numbers.data(), count), S_OK);
      std::vector<int> list;
      for (const auto& n : numbers) list.push_back(n.value.intValue);
      hits.emplace_back(static_cast<int>(hits.size()), list);
    }
    _session->ReleaseRowset(&rowset);
    return hits;
  };
  using Hits = std::vector<std::pair<int, std::vector<int>>>;
  EXPECT_EQ(search(u"quick"), (Hits{{0, {1, 3}}}));
  EXPECT_EQ(search(u"lazy"), (Hits{{0, {2}}, {1, {1}}}));
  EXPECT_EQ(search(u"\"fox jumps\""), Hits{}) << "a phrase never spans two sections";
  EXPECT_EQ(search(u"\u6771\u4eac"), (Hits{{0, {3}}}));

  EXPECT_EQ(OdbSessionCorvid::IsSupportedLanguage(u"ja+en"), TAV_TRUE);
  EXPECT_EQ(OdbSessionCorvid::IsSupportedLanguage(u"en-US"), TAV_TRUE);
  EXPECT_EQ(OdbSessionCorvid::IsSupportedLanguage(u"xx-nowhere"), TAV_FALSE);
}

TEST_F(EngineBackend, PreparedStatementsInsertAndFeedRowsets) {
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, t TEXT)"));
  OdbPrepareStatement* insert = nullptr;
  ASSERT_TAV_OK(_session->CreatePrepareStatement(
      &insert, utf16("INSERT INTO " + _table + " VALUES (?, ?)").c_str()));
  // The client is obtained lazily: a prepared statement needs one first.
  std::vector<TavVariant> first{tavrecords::integer(1), tavrecords::text(u"one")};
  tavtest::LogCapture capture;
  SessionPointer fresh = newSession();
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, fresh->executePrepareStatement(insert, 2, first.data()));
  EXPECT_EQ(capture.texts().back(), "Get ClientSession failed.");
  for (int id = 1; id <= 3; ++id) {
    std::vector<TavVariant> row{tavrecords::integer(id), tavrecords::text(u"row")};
    ASSERT_TAV_OK(_session->executePrepareStatement(insert, 2, row.data()));
  }
  // A duplicate through a prepared statement is a plain SQL error.
  EXPECT_TAV_RC(TAV_E_SQL_ERROR, _session->executePrepareStatement(insert, 2, first.data()));

  OdbPrepareStatement* select = nullptr;
  ASSERT_TAV_OK(_session->CreatePrepareStatement(
      &select, utf16("SELECT id, t FROM " + _table + " WHERE id >= ? ORDER BY id").c_str()));
  OdbRowsetCorvid rowset;
  TavVariant columns[2] = {tavrecords::null(TAV_VT_INT), tavrecords::null(TAV_VT_STRING)};
  TavVariant from = tavrecords::integer(2);
  ASSERT_TAV_OK(rowset.Initialize(_session.get(), select, 1, 1, &from, 2, columns));
  std::vector<int> ids;
  while (rowset.GetNextRow(0) == S_OK) ids.push_back(columns[0].value.intValue);
  EXPECT_EQ(ids, (std::vector<int>{2, 3}));

  const TavVariant unknown = tavrecords::integer(0, static_cast<TavVariantType>(7));
  OdbRowsetCorvid failing;
  TavVariant otherColumns[1] = {tavrecords::null(TAV_VT_INT)};
  capture.clear();
  EXPECT_TAV_RC(E_INVALIDARG,
                failing.Initialize(_session.get(), select, 1, 1, &unknown, 1, otherColumns));
  EXPECT_EQ(capture.texts().back(), "Can't convert to corvid parameters.");
  _session->ReleasePrepareStatement(&insert);
  _session->ReleasePrepareStatement(&select);
}

TEST_F(EngineBackend, BatchStopsAtADuplicateKeyAndIsEmptiedAfterwards) {
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY)"));
  ASSERT_TAV_OK(exec("INSERT INTO " + _table + " VALUES (1)"));
  for (int id : {2, 1, 3}) {
    TavVariant value = tavrecords::integer(id);
    ASSERT_TAV_OK(
        _session->PutCommand(utf16("INSERT INTO " + _table + " VALUES (?)").c_str(), 1, &value));
  }
  EXPECT_TAV_RC(TAV_E_DUPLICATEKEY, _session->FlushCommand());
  EXPECT_EQ(countRows(), 2) << "the first command ran, the third did not";
  EXPECT_EQ(countRows(" WHERE id = 3"), 0);
  ASSERT_TAV_OK(_session->FlushCommand());  // nothing left to run
  EXPECT_EQ(countRows(), 2);

  // A parameter that cannot be converted stages nothing.
  const TavVariant bad = tavrecords::integer(0, static_cast<TavVariantType>(9));
  EXPECT_TAV_RC(E_INVALIDARG, _session->PutCommand(
                                  utf16("INSERT INTO " + _table + " VALUES (?)").c_str(), 1, &bad));
  ASSERT_TAV_OK(_session->FlushCommand());
  EXPECT_EQ(_session->PutCommand(nullptr, 0, nullptr), E_INVALIDARG);
}

TEST_F(EngineBackend, TransactionsCommitRollBackAndEndWithTheirSession) {
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY)"));
  const std::string insert = "INSERT INTO " + _table + " VALUES (?)";

  ASSERT_TAV_OK(_session->BeginTransaction(ODB_TRANSACT_READ_WRITE, ODB_ISOLATION_SERIALIZABLE));
  ASSERT_TAV_OK(exec(insert, {tavrecords::integer(1)}));
  ASSERT_TAV_OK(_session->AbortTransaction());
  EXPECT_EQ(countRows(), 0);

  ASSERT_TAV_OK(_session->BeginTransaction(ODB_TRANSACT_DEFAULT, ODB_ISOLATION_READ_COMMITTED));
  ASSERT_TAV_OK(exec(insert, {tavrecords::integer(2)}));
  TavVariant staged = tavrecords::integer(3);
  ASSERT_TAV_OK(_session->PutCommand(utf16(insert).c_str(), 1, &staged));
  EXPECT_TAV_RC(TAV_E_ILLEGALOPERATION, _session->CommitTransaction());
  ASSERT_TAV_OK(_session->FlushCommand());
  ASSERT_TAV_OK(_session->CommitTransaction());
  EXPECT_EQ(countRows(), 2);

  // A read-only snapshot transaction refuses writes.
  ASSERT_TAV_OK(
      _session->BeginTransaction(ODB_TRANSACT_READ_ONLY_SNAPSHOT, ODB_ISOLATION_REPEATABLE_READ));
  EXPECT_NE(exec(insert, {tavrecords::integer(9)}), S_OK);
  ASSERT_TAV_OK(_session->AbortTransaction());

  // A session destroyed inside a transaction rolls it back first.
  {
    SessionPointer other = newSession(ODB_POOL_UNPOOLED);
    ASSERT_TAV_OK(other->BeginTransaction(ODB_TRANSACT_READ_WRITE, ODB_ISOLATION_DEFAULT));
    ASSERT_TAV_OK(exec(insert, {tavrecords::integer(4)}, other.get()));
    tavtest::LogCapture capture;
    other.reset();
    EXPECT_EQ(capture.texts().front(), "Implicit AbortTransaction");
  }
  EXPECT_EQ(countRows(" WHERE id = 4"), 0);
}

TEST_F(EngineBackend, ClientsAreReusedAndStoppedByKey) {
  ASSERT_TAV_OK(_session->Init_Client());
  auto* firstClient = _session->GetClient();
  ASSERT_NE(firstClient, nullptr);
  _session.reset();  // back to the cache, idle
  SessionPointer again = newSession();
  ASSERT_TAV_OK(again->Init_Client());
  EXPECT_EQ(again->GetClient(), firstClient);

  // Stopping the key while a client is busy leaves it to its session, which
  // then has no engine session any more.
  tavtest::LogCapture capture;
  OdbDataSource::StopDataSource(u"engine", u"backend");
  EXPECT_EQ(capture.texts(), std::vector<std::string>{"StopSession:Busy[engine][backend]"});
  EXPECT_EQ(again->GetClient(), nullptr);
  capture.clear();
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, exec("SELECT 1", {}, again.get()));
  EXPECT_EQ(capture.texts(),
            (std::vector<std::string>{"Get ClientSession failed.", "Fail to execute command"}));
  again.reset();

  // A new session of the key gets a new client that works.
  _session = newSession();
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER)"));
  EXPECT_EQ(countRows(), 0);
}

TEST_F(EngineBackend, CancelFromAnotherThreadStopsAnAttachedFetch) {
  OdbRowsetCorvid rowset;
  TavVariant columns[1] = {tavrecords::null(TAV_VT_INT)};
  const std::u16string endless = utf16(
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) "
      "SELECT COUNT(*) FROM n WHERE x < 0");
  ASSERT_TAV_OK(rowset.Initialize(_session.get(), endless.c_str(), 1, 0, nullptr, 1, columns));
  _session->AttachRowset(&rowset);
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    while (!done.load()) {
      EXPECT_EQ(_session->CancelCommand(), S_OK);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TAV_RC(TAV_E_SQL_ERROR, rowset.GetNextRow(0));
  done = true;
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  // The session stays usable.
  _session->DetachRowset();
  ASSERT_TAV_OK(exec("CREATE TABLE " + _table + " (id INTEGER)"));
}

TEST_F(EngineBackend, ADisabledDataSourceFailsEveryLaterCall) {
  OdbRowset* rowset = nullptr;
  ASSERT_TAV_OK(_session->CreateRowset(&rowset));
  ASSERT_TAV_OK(OdbDataSource::clearDataSourceMap());
  tavtest::LogCapture capture;
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, _session->PutCommand(u"SELECT 1", 0, nullptr));
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, _session->FlushCommand());
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, _session->Init_Client());
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED,
                _session->BeginTransaction(ODB_TRANSACT_DEFAULT, ODB_ISOLATION_DEFAULT));
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, _session->CommitTransaction());
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, _session->AbortTransaction());
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, _session->CancelCommand());
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED, _session->UpdateFullText(u"t", u"c", u"1 = 1", 0, nullptr,
                                                                   nullptr, ODB_UPDATE_REPLACE));
  TavVariant columns[1] = {tavrecords::null(TAV_VT_INT)};
  EXPECT_TAV_RC(TAV_E_DATASOURCEDISABLED,
                rowset->Initialize(_session.get(), u"SELECT 1", 1, 0, nullptr, 1, columns));
  EXPECT_EQ(capture.texts().front(), "Check OdbDataSource failed.");
  // Text operations are not the engine's, enabled or not.
  TavBuffer buffer{};
  EXPECT_TAV_RC(TAV_E_NOTSUPPORTED, _session->ReadText(u"t", u"c", u"1 = 1", 0, 1, &buffer));
  _session->ReleaseRowset(&rowset);
}

}  // namespace
