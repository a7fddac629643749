// The PostgreSQL driver against the throwaway server of the test run: the
// shared suite, plus deadlocks, lost connections and the server's own types.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "StoreSuite.h"

namespace storetest {
namespace {

store::PostgresParameters serverParameters() {
  const char* directory = std::getenv("TAVODB_TEST_PG_DIR");
  std::ifstream file(std::string(directory ? directory : "") + "/port");
  store::PostgresParameters parameters;
  parameters.host = "127.0.0.1";
  if (!(file >> parameters.port)) throw std::runtime_error("no PostgreSQL test server is running");
  parameters.database = "postgres";
  parameters.user = "postgres";
  return parameters;
}

}  // namespace

// Each test works in a schema of its own, so tests may run side by side.
struct PostgresTarget {
  void setUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    schema = "store_" + std::to_string(std::hash<std::string>()(
                            std::string(info->test_suite_name()) + "." + info->name()));
    auto admin = store::openPostgres(serverParameters());
    admin->execute("DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema);
  }
  std::unique_ptr<Connection> connect() {
    auto connection = store::openPostgres(serverParameters());
    connection->execute("SET search_path TO " + schema);
    return connection;
  }
  std::string schema;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Postgres, StoreSuite, PostgresTarget);

namespace {

class PostgresStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target.setUp();
    db = target.connect();
  }
  PostgresTarget target;
  std::unique_ptr<Connection> db;
};

TEST_F(PostgresStoreTest, ServerTypesReadAsStoreValues) {
  auto cursor = db->query(
      "SELECT true, 7::int2, 2::int4, 1.25::numeric, 2.5::real, DATE '2024-01-02', "
      "TIMESTAMPTZ '2024-01-02 03:04:05.678+02', ARRAY[1, 2]::int4[], '[0:1]={3,4}'::int4[], "
      "ARRAY['a b', NULL, '{}']::varchar[], '{{1,2},{3,4}}'::int8[], 'x'::char(2), "
      "'{\"k\": 1}'::jsonb");
  const std::vector<Value> expected = {
      Value::integer(1),
      Value::integer(7),
      Value::integer(2),
      Value::real(1.25),
      Value::real(2.5),
      Value::dateTime(DateTime{2024, 1, 2}),
      Value::dateTime(DateTime{2024, 1, 2, 1, 4, 5, 678}),  // in UTC
      Value::array({Value::integer(1), Value::integer(2)}),
      Value::array({Value::integer(3), Value::integer(4)}),
      Value::array({Value::text(u"a b"), Value(), Value::text(u"{}")}),
      Value::array({Value::array({Value::integer(1), Value::integer(2)}),
                    Value::array({Value::integer(3), Value::integer(4)})}),
      Value::text(u"x "),
      Value::text(u"{\"k\": 1}")};
  ASSERT_TRUE(cursor->next());
  ASSERT_EQ(cursor->row().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(cursor->row()[i], expected[i]) << i;
  EXPECT_EQ(cursor->columns()[9].type, ValueType::Array);
  EXPECT_EQ(cursor->columns()[9].elementType, ValueType::Text);
  EXPECT_EQ(cursor->columns()[3].type, ValueType::Double);
}

TEST_F(PostgresStoreTest, QuotingFormsSurviveAgainstTheServer) {
  db->execute(
      "CREATE FUNCTION plus_one(x int8) RETURNS int8 AS $$ SELECT x + 1; $$ LANGUAGE sql;"
      "CREATE TABLE q (k int8)");
  EXPECT_EQ(firstRow(*db, "SELECT plus_one(?), E'it\\'s ?;', $x$?$x$", {Value::integer(41)}),
            (std::vector<Value>{Value::integer(42), Value::text(u"it's ?;"), Value::text(u"?")}));

  // With standard strings off, a backslash escapes the quote in any literal.
  db->execute("SET standard_conforming_strings = off; SET escape_string_warning = off");
  EXPECT_EQ(firstRow(*db, "SELECT 'a\\'?', ?", {Value::integer(1)}),
            (std::vector<Value>{Value::text(u"a'?"), Value::integer(1)}));
}

TEST_F(PostgresStoreTest, RealDeadlockPicksOneVictim) {
  db->execute("CREATE TABLE d (k int8 PRIMARY KEY, v int8); INSERT INTO d VALUES (1, 0), (2, 0)");
  auto other = target.connect();
  for (Connection* connection : {db.get(), other.get()}) {
    connection->execute("SET deadlock_timeout = '50ms'");
    connection->begin();
  }
  db->execute("UPDATE d SET v = 1 WHERE k = 1");
  other->execute("UPDATE d SET v = 2 WHERE k = 2");
  std::unique_ptr<store::Error> firstError;
  std::thread first([&] {
    try {
      db->execute("UPDATE d SET v = 1 WHERE k = 2");  // waits for `other`
    } catch (const store::Error& error) {
      firstError = std::make_unique<store::Error>(error);
      db->rollback();  // releases the lock the other side waits for
    }
  });
  std::unique_ptr<store::Error> secondError;
  // Give the first update time to block, so the cycle closes here.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  try {
    other->execute("UPDATE d SET v = 2 WHERE k = 1");
  } catch (const store::Error& error) {
    secondError = std::make_unique<store::Error>(error);
  }
  // The victim's rollback lets the survivor's update finish.
  if (secondError) other->rollback();
  first.join();
  ASSERT_NE(firstError == nullptr, secondError == nullptr) << "exactly one victim";
  const store::Error& victim = firstError ? *firstError : *secondError;
  EXPECT_EQ(victim.errorClass(), ErrorClass::Deadlock) << victim.what();
  EXPECT_EQ(victim.sqlState(), "40P01");
  (firstError ? other : db)->commit();
}

TEST_F(PostgresStoreTest, CommitAfterAFailedStatementReportsTheRollback) {
  db->execute("CREATE TABLE c (k int8)");
  db->begin();
  db->execute("INSERT INTO c VALUES (1)");
  EXPECT_EQ(errorOf([&] { db->execute("SELECT 1 / 0"); }).sqlState(), "22012");
  EXPECT_TRUE(db->inTransaction());
  EXPECT_EQ(errorOf([&] { db->commit(); }).sqlState(), "40000");
  EXPECT_FALSE(db->inTransaction());
  EXPECT_EQ(countRows(*db, "c"), 0);
}

TEST_F(PostgresStoreTest, ConnectParameters) {
  // A port that was free a moment ago and has no listener.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);

  auto parameters = serverParameters();
  parameters.port = ntohs(address.sin_port);
  const auto error = errorOf([&] { store::openPostgres(parameters); });
  EXPECT_EQ(error.errorClass(), ErrorClass::ConnectFailed) << error.what();
  EXPECT_EQ(error.sqlState(), "08001");

  parameters = serverParameters();
  parameters.database = "no_such_database";
  EXPECT_EQ(errorOf([&] { store::openPostgres(parameters); }).errorClass(),
            ErrorClass::ConnectFailed);

  // Without a user the environment's is taken.
  parameters = serverParameters();
  parameters.user.clear();
  setenv("PGUSER", "postgres", 1);
  auto connection = store::openPostgres(parameters);
  unsetenv("PGUSER");
  EXPECT_EQ(firstRow(*connection, "SELECT current_user"),
            std::vector<Value>{Value::text(u"postgres")});
}

TEST_F(PostgresStoreTest, BackendKilledMidBatchLosesTheConnectionAndTheRows) {
  db->execute("CREATE TABLE k (v int8)");
  const int64_t pid = firstRow(*db, "SELECT pg_backend_pid()").at(0).asInteger();
  auto killer = target.connect();
  std::unique_ptr<store::Error> caught;
  std::thread batch([&] {
    try {
      db->execute(
          "INSERT INTO k VALUES (?); INSERT INTO k VALUES (?); SELECT pg_sleep(?); "
          "INSERT INTO k VALUES (?)",
          std::vector<Value>{Value::integer(1), Value::integer(2), Value::real(30),
                             Value::integer(3)});
    } catch (const store::Error& error) {
      caught = std::make_unique<store::Error>(error);
    }
  });
  // Wait until the batch sleeps, with its first rows written.
  const std::vector<Value> pidParameter{Value::integer(pid)};
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (firstRow(*killer,
                 "SELECT count(*) FROM pg_stat_activity WHERE pid = ? AND wait_event = 'PgSleep'",
                 pidParameter) == std::vector<Value>{Value::integer(1)}) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  killer->execute("SELECT pg_terminate_backend(?::int4)", pidParameter);
  batch.join();
  ASSERT_TRUE(caught);
  EXPECT_EQ(caught->errorClass(), ErrorClass::ConnectionLost) << caught->what();
  EXPECT_FALSE(db->isAlive());
  EXPECT_EQ(countRows(*killer, "k"), 0);
  EXPECT_EQ(errorOf([&] { db->execute("SELECT 1"); }).errorClass(), ErrorClass::ConnectionLost);
}

}  // namespace
}  // namespace storetest
