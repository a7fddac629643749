// The engine client against a real store. Built twice: into the SQLite
// program (in process) and, with ENGINE_TEST_POSTGRES, into the PostgreSQL
// program (remote, against the test server).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "Corvid/Client.h"
#include "Corvid/Exception.h"
#include "Corvid/Server.h"
#include "TestSupport.h"

using namespace Corvid::Common;
using Corvid::Client::DataSource;
using Corvid::Client::ResultSet;
using Corvid::Client::Session;
namespace E = Corvid::Exception;

namespace {

#ifdef ENGINE_TEST_POSTGRES
constexpr bool kPostgres = true;

int serverPort() {
  const char* directory = std::getenv("TAVODB_TEST_PG_DIR");
  std::ifstream file(std::string(directory ? directory : ".") + "/port");
  int port = 0;
  file >> port;
  return port;
}
#else
constexpr bool kPostgres = false;
#endif

using Row = std::vector<ObjectPointer<Data>>;

DataArrayData parameters(std::initializer_list<ObjectPointer<Data>> values) {
  DataArrayData array;
  for (const auto& value : values) array.pushBack(value);
  return array;
}

ObjectPointer<Data> text(const char16_t* value) {
  return new StringData(value);
}
ObjectPointer<Data> integer(int32_t value) {
  return new IntegerData(value);
}

ObjectPointer<Data> textArray(std::initializer_list<const char16_t*> values) {
  DataArrayData* array = new DataArrayData();
  ObjectPointer<Data> result(array);
  for (const char16_t* value : values) array->pushBack(new StringData(value));
  return result;
}

ObjectPointer<Data> languageArray(std::initializer_list<const char*> tags) {
  DataArrayData* array = new DataArrayData();
  ObjectPointer<Data> result(array);
  for (const char* tag : tags) array->pushBack(new LanguageData(ModLanguageSet(tag)));
  return result;
}

struct ResultSetDeleter {
  void operator()(ResultSet* resultSet) const { resultSet->release(); }
};
using ResultSetPointer = std::unique_ptr<ResultSet, ResultSetDeleter>;

struct SessionDeleter {
  void operator()(Session* session) const { session->release(); }
};
using SessionPointer = std::unique_ptr<Session, SessionDeleter>;

class EngineClient : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kPostgres) {
#ifdef ENGINE_TEST_POSTGRES
      Corvid::Client::Singleton::RemoteServer::initialize(ModUnicodeString(u""));
      _dataSource =
          DataSource::createDataSource(ModUnicodeString(u"postgres@127.0.0.1"), serverPort());
#endif
    } else {
      Corvid::Server::Singleton::InProcess::initialize(
          false, ModUnicodeString(ModUtf8ToUtf16(_directory.path() + "/engine")));
      _dataSource = DataSource::createDataSource();
    }
    _dataSource->open(DataSource::CurrentProtocol);
    _session.reset(newSession());
    // Test programs run in parallel against one PostgreSQL database: each
    // test works on tables named after it.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    _table = std::string("t_") + info->name();
    for (char& c : _table) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    run("DROP TABLE IF EXISTS " + _table);
    run("DROP TABLE IF EXISTS " + _table + "_b");
  }

  void TearDown() override {
    _session.reset();
    _dataSource->close();
    _dataSource->release();
    if (kPostgres) {
      Corvid::Client::Singleton::RemoteServer::terminate();
    } else {
      Corvid::Server::Singleton::InProcess::terminate();
    }
  }

  Session* newSession() {
    return _dataSource->createSession(ModUnicodeString(u"engine"));
  }

  // Runs a statement and collects its rows, checking the status sequence:
  // tuples, then (for a query) EndOfData, then Success from then on.
  static std::vector<Row> run(Session& session, const std::string& sql,
                              const DataArrayData& values = DataArrayData()) {
    ResultSetPointer resultSet(
        session.executeStatement(ModUnicodeString(ModUtf8ToUtf16(sql)), values));
    return drain(*resultSet);
  }
  std::vector<Row> run(const std::string& sql, const DataArrayData& values = DataArrayData()) {
    return run(*_session, sql, values);
  }

  // The result column names of a statement, asked before the first fetch;
  // the rows must still all come afterwards (`rows` receives them).
  std::vector<std::string> columnNames(const std::string& sql,
                                       const DataArrayData& values = DataArrayData(),
                                       std::vector<Row>* rows = nullptr) {
    ResultSetPointer resultSet(
        _session->executeStatement(ModUnicodeString(ModUtf8ToUtf16(sql)), values));
    std::vector<std::string> names;
    for (const ModUnicodeString& name : resultSet->getColumnNames()) {
      names.push_back(name.getString());
    }
    std::vector<Row> fetched = drain(*resultSet);
    // Asking again, after the statement has completed, gives the same names.
    std::vector<std::string> again;
    for (const ModUnicodeString& name : resultSet->getColumnNames()) {
      again.push_back(name.getString());
    }
    EXPECT_EQ(again, names);
    if (rows) *rows = std::move(fetched);
    return names;
  }

  static std::vector<Row> drain(ResultSet& resultSet) {
    std::vector<Row> rows;
    DataArrayData* tuple = nullptr;
    ResultSet::Status status;
    while ((status = resultSet.getNextTuple(tuple)) == ResultSet::Data) {
      EXPECT_NE(tuple, nullptr);
      Row row;
      for (std::size_t i = 0; i < tuple->getCount(); ++i) row.push_back(tuple->getElement(i));
      rows.push_back(std::move(row));
      ResultSet::releaseTuple(tuple);
    }
    EXPECT_EQ(tuple, nullptr);
    if (status == ResultSet::EndOfData) {
      EXPECT_EQ(resultSet.getNextTuple(tuple), ResultSet::Success);
      EXPECT_EQ(tuple, nullptr);
    } else {
      EXPECT_EQ(status, ResultSet::Success);
    }
    EXPECT_EQ(resultSet.getNextTuple(tuple), ResultSet::Success);
    return rows;
  }

  // Column types that read back as the engine values on either store.
  static std::string type(const char* sqlite, const char* postgres) {
    return kPostgres ? postgres : sqlite;
  }

  tavtest::TempDirectory _directory;
  DataSource* _dataSource = nullptr;
  SessionPointer _session;
  std::string _table;
};

int32_t intOf(const ObjectPointer<Data>& value) {
  return static_cast<IntegerData&>(*value->cast(DataType::Integer, true)).getValue();
}
std::string stringOf(const ObjectPointer<Data>& value) {
  return value->toString().getString();
}

TEST_F(EngineClient, ValuesRoundTrip) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, i " + type("INTEGER", "bigint") +
      ", r " + type("REAL", "double precision") + ", t TEXT, b " + type("BLOB", "bytea") +
      ", d TIMESTAMP, a " + type("TEXT ARRAY", "text[]") + ")");
  const char16_t nonBmp[] = u"\U0001F600 \u6771\u4eac";
  const uint8_t bytes[] = {0, 1, 0, 255, 0};
  run("INSERT INTO " + _table + " VALUES (?, ?, ?, ?, ?, ?, ?)",
      parameters({integer(1), new Integer64Data(int64_t{1} << 40), new DoubleData(2.5),
                  text(nonBmp), new BinaryData(bytes, sizeof bytes),
                  new DateTimeData(2024, 2, 29, 23, 59, 58, 123), textArray({u"x", u"", u"z"})}));
  run("INSERT INTO " + _table + " VALUES (?, ?, ?, ?, ?, ?, ?)",
      parameters({integer(2), NullData::getInstance(), nullptr, NullData::getInstance(),
                  NullData::getInstance(), NullData::getInstance(), NullData::getInstance()}));

  const auto rows = run("SELECT i, r, t, b, d, a FROM " + _table + " ORDER BY id");
  ASSERT_EQ(rows.size(), 2u);
  const Row& row = rows[0];
  ASSERT_EQ(row.size(), 6u);
  ASSERT_EQ(row[0]->getType(), DataType::Integer64);
  EXPECT_EQ(static_cast<Integer64Data&>(*row[0]).getValue(), int64_t{1} << 40);
  ASSERT_EQ(row[1]->getType(), DataType::Double);
  EXPECT_EQ(static_cast<DoubleData&>(*row[1]).getValue(), 2.5);
  ASSERT_EQ(row[2]->getType(), DataType::String);
  EXPECT_EQ(static_cast<StringData&>(*row[2]).getValue().str(), std::u16string(nonBmp));
  ASSERT_EQ(row[3]->getType(), DataType::Binary);
  const auto& binary = static_cast<BinaryData&>(*row[3]);
  ASSERT_EQ(binary.getSize(), sizeof bytes);
  EXPECT_EQ(std::memcmp(binary.getValue(), bytes, sizeof bytes), 0);
  ASSERT_EQ(row[4]->getType(), DataType::DateTime);
  EXPECT_EQ(stringOf(row[4]), "2024-02-29 23:59:58.123");
  ASSERT_EQ(row[5]->getType(), DataType::Array);
  EXPECT_EQ(stringOf(row[5]), "{x,,z}");
  for (const auto& value : rows[1]) EXPECT_TRUE(value->isNull());
}

TEST_F(EngineClient, StatusesOfQueriesAndOtherStatements) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY)");
  DataArrayData* tuple = reinterpret_cast<DataArrayData*>(this);
  ResultSetPointer insert(_session->executeStatement(
      ModUnicodeString(ModUtf8ToUtf16("INSERT INTO " + _table + " VALUES (1)")), DataArrayData()));
  EXPECT_EQ(insert->getNextTuple(tuple), ResultSet::Success);
  EXPECT_EQ(tuple, nullptr);

  ResultSetPointer empty(_session->executeStatement(
      ModUnicodeString(ModUtf8ToUtf16("SELECT id FROM " + _table + " WHERE id > 5")),
      DataArrayData()));
  EXPECT_EQ(empty->getNextTuple(tuple), ResultSet::EndOfData);
  EXPECT_EQ(empty->getNextTuple(tuple), ResultSet::Success);

  // Closing a result set part-way through leaves nothing pending.
  ResultSetPointer partial(_session->executeStatement(
      ModUnicodeString(ModUtf8ToUtf16("SELECT id FROM " + _table)), DataArrayData()));
  ASSERT_EQ(partial->getNextTuple(tuple), ResultSet::Data);
  ResultSet::releaseTuple(tuple);
  partial->close();
  EXPECT_EQ(partial->getNextTuple(tuple), ResultSet::Success);
  EXPECT_EQ(run("SELECT count(*) FROM " + _table).at(0).at(0)->toString().getString(), "1");

  // A batch returns the rows of its last statement.
  const auto rows =
      run("INSERT INTO " + _table + " VALUES (?); SELECT id FROM " + _table + " WHERE id = ?",
          parameters({integer(2), integer(2)}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(intOf(rows[0][0]), 2);

  EXPECT_THROW(run("SELECT id FROM " + _table + " WHERE id = ?"), E::Object);  // no parameter
  EXPECT_THROW(run("SELEKT 1"), E::Object);
}

TEST_F(EngineClient, ColumnNamesComeBeforeTheRowsAndLeaveThemAll) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(columnNames("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, name TEXT)"),
            Names{});
  std::vector<Row> rows;
  EXPECT_EQ(columnNames("INSERT INTO " + _table + " VALUES (?, 'a'), (?, 'b'), (?, 'c')",
                        parameters({integer(1), integer(2), integer(3)}), &rows),
            Names{});
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(columnNames("SELECT id, name AS label FROM " + _table + " ORDER BY id", DataArrayData(),
                        &rows),
            (Names{"id", "label"}));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(intOf(rows[0][0]), 1);
  EXPECT_EQ(stringOf(rows[2][1]), "c");
  EXPECT_EQ(columnNames("SELECT id FROM " + _table + " WHERE id > 5", DataArrayData(), &rows),
            Names{"id"});
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(columnNames("START TRANSACTION READ WRITE"), Names{});
  EXPECT_EQ(columnNames("ROLLBACK"), Names{});

  // The statement's failure comes from the first call that runs it.
  ResultSetPointer failing(_session->executeStatement(
      ModUnicodeString(ModUtf8ToUtf16("SELECT nosuchcolumn FROM " + _table)), DataArrayData()));
  EXPECT_THROW(failing->getColumnNames(), E::Object);
  DataArrayData* tuple = nullptr;
  EXPECT_EQ(failing->getNextTuple(tuple), ResultSet::Success);
}

// Released tuples lend their values to later fetches; a value the caller
// still holds must keep what it had.
TEST_F(EngineClient, ValuesKeptByTheCallerOutliveTheirTuple) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, name TEXT, score " +
      type("REAL", "double precision") + ")");
  for (int i = 1; i <= 3; ++i) {
    run("INSERT INTO " + _table + " VALUES (?, ?, ?)",
        parameters({integer(i), text(i == 1 ? u"first" : u"later"), new DoubleData(i * 1.5)}));
  }
  ResultSetPointer resultSet(_session->executeStatement(
      ModUnicodeString(ModUtf8ToUtf16("SELECT id, name, score FROM " + _table + " ORDER BY id")),
      DataArrayData()));
  DataArrayData* tuple = nullptr;
  ASSERT_EQ(resultSet->getNextTuple(tuple), ResultSet::Data);
  const Row kept = {tuple->getElement(0), tuple->getElement(1), tuple->getElement(2)};
  ResultSet::releaseTuple(tuple);
  int fetched = 1;
  while (resultSet->getNextTuple(tuple) == ResultSet::Data) {
    EXPECT_EQ(intOf(tuple->getElement(0)), ++fetched);
    for (std::size_t i = 0; i < kept.size(); ++i) {
      EXPECT_NE(tuple->getElement(i).get(), kept[i].get());
    }
    ResultSet::releaseTuple(tuple);
  }
  EXPECT_EQ(fetched, 3);
  EXPECT_EQ(intOf(kept[0]), 1);
  EXPECT_EQ(stringOf(kept[1]), "first");
  EXPECT_EQ(static_cast<DoubleData&>(*kept[2]).getValue(), 1.5);

  // Tuples given back are refilled by later statements of other shapes.
  ResultSetPointer swapped(_session->executeStatement(
      ModUnicodeString(ModUtf8ToUtf16("SELECT name, id FROM " + _table + " ORDER BY id")),
      DataArrayData()));
  ASSERT_EQ(swapped->getNextTuple(tuple), ResultSet::Data);
  ASSERT_EQ(tuple->getCount(), 2u);
  EXPECT_EQ(stringOf(tuple->getElement(0)), "first");
  EXPECT_EQ(intOf(tuple->getElement(1)), 1);
  ResultSet::releaseTuple(tuple);
}

TEST_F(EngineClient, PreparedStatementsRunRepeatedly) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, name TEXT)");
  Corvid::Client::PrepareStatement* insert = _dataSource->createPrepareStatement(
      ModUnicodeString(u"engine"),
      ModUnicodeString(ModUtf8ToUtf16("INSERT INTO " + _table + " VALUES (?, ?)")));
  Corvid::Client::PrepareStatement* select = _dataSource->createPrepareStatement(
      ModUnicodeString(u"engine"),
      ModUnicodeString(ModUtf8ToUtf16("SELECT name FROM " + _table + " WHERE id = ?")));
  for (int i = 0; i < 20; ++i) {
    ResultSetPointer resultSet(_session->executePrepareStatement(
        insert, parameters({integer(i), text(i % 2 ? u"odd" : u"even")})));
    drain(*resultSet);
  }
  // Two result sets of one statement open at once each keep their rows.
  ResultSetPointer first(_session->executePrepareStatement(select, parameters({integer(3)})));
  ResultSetPointer second(_session->executePrepareStatement(select, parameters({integer(4)})));
  DataArrayData* tuple = nullptr;
  ASSERT_EQ(first->getNextTuple(tuple), ResultSet::Data);
  EXPECT_EQ(stringOf(tuple->getElement(0)), "odd");
  ResultSet::releaseTuple(tuple);
  ASSERT_EQ(second->getNextTuple(tuple), ResultSet::Data);
  EXPECT_EQ(stringOf(tuple->getElement(0)), "even");
  ResultSet::releaseTuple(tuple);
  EXPECT_EQ(first->getNextTuple(tuple), ResultSet::EndOfData);

  Corvid::Client::PrepareStatement* elsewhere = _dataSource->createPrepareStatement(
      ModUnicodeString(u"other"), ModUnicodeString(u"SELECT 1"));
  EXPECT_THROW(_session->executePrepareStatement(elsewhere, DataArrayData()), E::Object);
  elsewhere->release();
  insert->release();
  select->release();
}

TEST_F(EngineClient, TransactionStatementsCommitAndRollBack) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY)");
  SessionPointer other(newSession());
  run("START TRANSACTION READ WRITE , ISOLATION LEVEL READ COMMITTED");
  run("INSERT INTO " + _table + " VALUES (1)");
  run("ROLLBACK");
  EXPECT_TRUE(run(*other, "SELECT id FROM " + _table).empty());

  run("START TRANSACTION READ WRITE , ISOLATION LEVEL SERIALIZABLE");
  run("INSERT INTO " + _table + " VALUES (2)");
  run("COMMIT");
  EXPECT_EQ(run(*other, "SELECT id FROM " + _table).size(), 1u);

  run("START TRANSACTION READ ONLY , ISOLATION LEVEL READ COMMITTED");
  EXPECT_THROW(run("INSERT INTO " + _table + " VALUES (3)"), E::Object);
  run("ROLLBACK");

  // A snapshot taken at START TRANSACTION does not see later commits.
  run("START TRANSACTION READ ONLY , USING SNAPSHOT");
  run(*other, "INSERT INTO " + _table + " VALUES (4)");
  EXPECT_EQ(run("SELECT id FROM " + _table).size(), 1u);
  run("COMMIT");
  EXPECT_EQ(run("SELECT id FROM " + _table).size(), 2u);
}

TEST_F(EngineClient, UniquenessViolationIsClassified) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY)");
  run("INSERT INTO " + _table + " VALUES (1)");
  try {
    run("INSERT INTO " + _table + " VALUES (?)", parameters({integer(1)}));
    FAIL() << "the duplicate key was accepted";
  } catch (const E::UniquenessViolation& error) {
    EXPECT_EQ(error.getSqlState(), "23505");
  }
}

TEST_F(EngineClient, DeadlockIsClassified) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, v INTEGER)");
  run("INSERT INTO " + _table + " VALUES (1, 0), (2, 0)");
  SessionPointer other(newSession());
  const std::string update = "UPDATE " + _table + " SET v = v + 1 WHERE id = ?";
  run("START TRANSACTION READ WRITE");
  if (!kPostgres) {
    // SQLite has one writer per database: the second writer waits for the
    // busy timeout and is then told to retry its transaction.
    EXPECT_THROW(run(*other, "START TRANSACTION READ WRITE"), E::Deadlock);
    run("ROLLBACK");
    return;
  }
  run(*other, "START TRANSACTION READ WRITE");
  run(update, parameters({integer(1)}));
  run(*other, update, parameters({integer(2)}));
  // Each now waits for the other's row; the server picks one loser.
  std::atomic<int> deadlocks{0};
  auto attempt = [&](Session& session, int id) {
    try {
      run(session, update, parameters({integer(id)}));
    } catch (const E::Deadlock&) {
      ++deadlocks;
      run(session, "ROLLBACK");
    }
  };
  std::thread first([&] { attempt(*_session, 2); });
  attempt(*other, 1);
  first.join();
  EXPECT_EQ(deadlocks.load(), 1);
  run("ROLLBACK");
  run(*other, "ROLLBACK");
}

// A statement that runs for a long time on either store.
std::string longQuery() {
  return kPostgres ? "SELECT pg_sleep(60)"
                   : "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                     "WHERE x < 2000000000) SELECT count(*) FROM c";
}

TEST_F(EngineClient, CancelFromAnotherThreadStopsTheFetch) {
  ResultSetPointer resultSet(
      _session->executeStatement(ModUnicodeString(ModUtf8ToUtf16(longQuery())), DataArrayData()));
  const auto started = std::chrono::steady_clock::now();
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    resultSet->cancel();
  });
  DataArrayData* tuple = nullptr;
  EXPECT_THROW(resultSet->getNextTuple(tuple), E::Cancelled);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_EQ(resultSet->getNextTuple(tuple), ResultSet::Success);
  // The session goes on.
  EXPECT_EQ(intOf(run("SELECT 7").at(0).at(0)), 7);

  // A cancel that arrives before the first fetch is not lost.
  ResultSetPointer early(
      _session->executeStatement(ModUnicodeString(ModUtf8ToUtf16(longQuery())), DataArrayData()));
  early->cancel();
  EXPECT_THROW(early->getNextTuple(tuple), E::Cancelled);
}

TEST_F(EngineClient, FullTextSectionsOfMultiValuedColumns) {
  run("CREATE TABLE " + _table + " (id INTEGER PRIMARY KEY, Content " +
      type("TEXT ARRAY", "text[]") + ", ContentTextLanguage " + type("TEXT ARRAY", "text[]") + ")");
  run("INSERT INTO " + _table + " (id, Content, ContentTextLanguage) VALUES (?, ?, ?)",
      parameters({integer(1), textArray({u"old text"}), languageArray({"en"})}));
  run("CREATE FULLTEXT INDEX ON " + _table + " (Content)");
  run("INSERT INTO " + _table + " (id) VALUES (2), (3)");

  // The library's full-text update: values and languages as two arrays.
  const std::string update =
      "update " + _table + " set Content = ? , ContentTextLanguage = ? where id = ?";
  run(update, parameters({textArray({u"The quick brown fox", u"jumps over the lazy dog",
                                     u"\u6771\u4eac\u90fd\u306b\u4f4f\u3080 quick"}),
                          languageArray({"en", "en-US", "ja"}), integer(1)}));
  run(update, parameters({textArray({u"a lazy afternoon", u"brown fox again"}),
                          languageArray({"en", "ja+en"}), integer(2)}));
  run(update, parameters({textArray({u"nothing here"}), languageArray({"en"}), integer(3)}));

  // The column qualified by an alias, by the table's own name, or not at
  // all: each must read the sections of the statement's row.
  const std::vector<std::string> queries = {
      "SELECT SECTIONS(d.Content), d.id FROM " + _table +
          " d WHERE CONTAINS(d.Content, ?) ORDER BY d.id",
      "SELECT SECTIONS(" + _table + ".Content), id FROM " + _table + " WHERE CONTAINS(" + _table +
          ".Content, ?) ORDER BY id",
      "SELECT SECTIONS(Content), id FROM " + _table + " WHERE CONTAINS(Content, ?) ORDER BY id",
      "SELECT SECTIONS(Content), id FROM " + _table +
          " AS d WHERE CONTAINS(Content, ?) ORDER BY id",
  };
  using Found = std::vector<std::pair<int, std::string>>;
  auto searchWith = [&](const std::string& query, const char16_t* terms) {
    Found found;
    for (const Row& row : run(query, parameters({text(terms)}))) {
      EXPECT_EQ(row[0]->getType(), DataType::Array);
      EXPECT_EQ(row[0]->getElementType(), DataType::UnsignedInteger);
      found.emplace_back(intOf(row[1]), stringOf(row[0]));
    }
    return found;
  };
  auto search = [&](const char16_t* terms) {
    const Found found = searchWith(queries[0], terms);
    for (std::size_t i = 1; i < queries.size(); ++i) {
      EXPECT_EQ(searchWith(queries[i], terms), found) << queries[i];
    }
    return found;
  };
  // SECTIONS and CONTAINS items are named as written, unless named in the
  // statement.
  using Names = std::vector<std::string>;
  EXPECT_EQ(columnNames(queries[2], parameters({text(u"quick")})),
            (Names{"SECTIONS(Content)", "id"}));
  EXPECT_EQ(columnNames(
                "SELECT SECTIONS( Content ) AS hits FROM " + _table + " WHERE CONTAINS(Content, ?)",
                parameters({text(u"quick")})),
            Names{"hits"});
  std::vector<Row> rows;
  EXPECT_EQ(columnNames("SELECT id, CONTAINS(Content, ?) FROM " + _table + " ORDER BY id",
                        parameters({text(u"lazy")}), &rows),
            (Names{"id", "CONTAINS(Content, ?)"}));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(intOf(rows[0][1]) != 0, true);
  EXPECT_EQ(intOf(rows[1][1]) != 0, true);
  EXPECT_EQ(intOf(rows[2][1]) != 0, false);

  // After a * the section numbers are still found in their own column.
  const std::vector<Row> starRows =
      run("SELECT *, SECTIONS(Content) FROM " + _table + " WHERE CONTAINS(Content, ?)",
          parameters({text(u"brown")}));
  ASSERT_FALSE(starRows.empty());
  EXPECT_EQ(starRows[0].back()->getElementType(), DataType::UnsignedInteger);
  EXPECT_EQ(starRows[0][1]->getElementType(), DataType::Data);

  run("DELETE FROM " + _table + " WHERE id = 1");
  EXPECT_EQ(search(u"lazy"), (Found{{2, "{1}"}}));
}

TEST_F(EngineClient, FailuresOfTheClientItself) {
  EXPECT_THROW(_dataSource->createSession(ModUnicodeString(u"../escape")), E::Object);
  EXPECT_THROW(_dataSource->createSession(ModUnicodeString(u"")), E::Object);
  SessionPointer closed(newSession());
  closed->close();
  EXPECT_THROW(run(*closed, "SELECT 1"), E::Object);

  // A result set outliving its session fails on its first fetch.
  Session* session = newSession();
  ResultSetPointer orphan(
      session->executeStatement(ModUnicodeString(u"SELECT 1"), DataArrayData()));
  session->release();
  DataArrayData* tuple = nullptr;
  EXPECT_THROW(orphan->getNextTuple(tuple), E::Object);

  EXPECT_THROW(_dataSource->open(1), E::Object);
  _dataSource->close();
  EXPECT_THROW(newSession(), E::Object);
}

#ifdef ENGINE_TEST_POSTGRES
TEST_F(EngineClient, ConnectFailureToAClosedPort) {
  DataSource* nowhere = DataSource::createDataSource(ModUnicodeString(u"postgres@127.0.0.1"), 1);
  nowhere->open(0);
  EXPECT_THROW(nowhere->createSession(ModUnicodeString(u"engine")), E::Object);
  nowhere->release();
}
#endif

}  // namespace
