// The SQLite driver: the shared suite, plus what only SQLite has (its file,
// its locking, disk full through a page limit).
#include <cmath>
#include <filesystem>

#include "StoreSuite.h"
#include "TestSupport.h"

namespace storetest {

// Each test gets a directory of its own.
struct SqliteTarget {
  void setUp() {}
  std::unique_ptr<Connection> connect(
      std::chrono::milliseconds busyTimeout = std::chrono::milliseconds(5000)) {
    return store::openSqlite(directory.path(), "suite", busyTimeout);
  }
  tavtest::TempDirectory directory;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, StoreSuite, SqliteTarget);

namespace {

class SqliteStoreTest : public ::testing::Test {
 protected:
  SqliteTarget target;
};

// WAL mode is what the locking tests below rely on.
TEST_F(SqliteStoreTest, OpenCreatesTheNamedFileInWalModeOrFailsAsConnectFailed) {
  auto db = target.connect();
  EXPECT_TRUE(std::filesystem::exists(target.directory.path() + "/suite.db"));
  EXPECT_EQ(firstRow(*db, "PRAGMA journal_mode"), std::vector<Value>{Value::text(u"wal")});

  const auto missing =
      errorOf([&] { store::openSqlite(target.directory.path() + "/no/such", "x"); });
  EXPECT_EQ(missing.errorClass(), ErrorClass::ConnectFailed);
  EXPECT_EQ(missing.sqlState(), "08001");
  EXPECT_EQ(missing.nativeCode(), 14);  // SQLITE_CANTOPEN
  // A name must not lead out of the directory.
  for (const char* name : {"", "../escape", "a/b"}) {
    EXPECT_EQ(errorOf([&] { store::openSqlite(target.directory.path(), name); }).errorClass(),
              ErrorClass::ConnectFailed)
        << name;
  }
}

TEST_F(SqliteStoreTest, ArraysAreJsonOnlyWhereTheColumnSaysArray) {
  auto db = target.connect();
  db->execute("CREATE TABLE a (plain TEXT, arr TEXT ARRAY, nested BIGINT ARRAY)");
  const Value list = Value::array({Value::text(u"x"), Value()});
  db->execute("INSERT INTO a VALUES (?, ?, ?)",
              std::vector<Value>{
                  list, list, Value::array({Value::array({Value::integer(1)}), Value::array({})})});
  db->execute("INSERT INTO a VALUES ('[1]', 'not json', '{\"o\": 1}')");
  auto cursor = db->query("SELECT plain, arr, nested, typeof(arr) FROM a ORDER BY rowid");
  ASSERT_TRUE(cursor->next());
  EXPECT_EQ(cursor->row()[0], Value::text(u"[\"x\",null]"));
  EXPECT_EQ(cursor->row()[1], list);
  EXPECT_EQ(cursor->row()[2], Value::array({Value::array({Value::integer(1)}), Value::array({})}));
  EXPECT_EQ(cursor->row()[3], Value::text(u"text"));
  // Text that is no JSON array reads back as it is rather than failing.
  ASSERT_TRUE(cursor->next());
  EXPECT_EQ(cursor->row()[1], Value::text(u"not json"));
  EXPECT_EQ(cursor->row()[2], Value::text(u"{\"o\": 1}"));
  EXPECT_EQ(errorOf([&] {
              db->execute("INSERT INTO a (arr) VALUES (?)",
                          std::vector<Value>{Value::array({Value::real(NAN)})});
            }).sqlState(),
            "22023");
}

// A cursor refills one row from row to row: each value must read as its own
// row's, whatever the one before it held.
TEST_F(SqliteStoreTest, RowsAreReadInPlaceWithoutLeftovers) {
  auto db = target.connect();
  db->execute("CREATE TABLE r (n INTEGER PRIMARY KEY, v)");
  const std::vector<Value> values = {
      Value::text(u"a rather long text that needs a buffer of its own"),
      Value::text(u"short"),
      Value(),
      Value::integer(-7),
      Value::text(u"\U0001F600\u6771"),
      Value::real(0.25),
      Value::bytes({0, 1, 2}),
      Value::text(u""),
      Value::text(u"again")};
  for (std::size_t i = 0; i < values.size(); ++i) {
    db->execute("INSERT INTO r VALUES (?, ?)",
                std::vector<Value>{Value::integer(static_cast<int64_t>(i)), values[i]});
  }
  auto statement = db->prepare("SELECT v FROM r ORDER BY n");
  for (int run = 0; run < 2; ++run) {
    auto cursor = statement->query({});
    for (const Value& expected : values) {
      ASSERT_TRUE(cursor->next());
      EXPECT_EQ(cursor->row().at(0), expected) << valueTypeName(expected.type());
    }
    EXPECT_FALSE(cursor->next());
  }
}

TEST_F(SqliteStoreTest, DiskFullIsClassified) {
  auto db = target.connect();
  db->execute("CREATE TABLE big (b BLOB)");
  const int64_t pages = firstRow(*db, "PRAGMA page_count").at(0).asInteger();
  db->execute("PRAGMA max_page_count = " + std::to_string(pages + 2));
  db->begin();
  const auto error = errorOf([&] {
    for (int i = 0; i < 100; ++i) {
      db->execute("INSERT INTO big VALUES (?)",
                  std::vector<Value>{Value::bytes(std::vector<uint8_t>(4096, 7))});
    }
  });
  EXPECT_EQ(error.errorClass(), ErrorClass::DiskFull) << error.what();
  EXPECT_EQ(error.sqlState(), "53100");
  EXPECT_EQ(error.nativeCode() & 0xff, 13);  // SQLITE_FULL
  db->rollback();
  EXPECT_EQ(countRows(*db, "big"), 0);
}

TEST_F(SqliteStoreTest, CommitAfterTheStoreRolledBackIsReported) {
  auto db = target.connect();
  db->execute("CREATE TABLE c (k INTEGER)");
  db->begin();
  db->execute("INSERT INTO c VALUES (1)");
  // Ending the transaction behind begin()'s back is what SQLite does itself
  // after some errors; commit() must not report success for it.
  db->execute("ROLLBACK");
  EXPECT_EQ(errorOf([&] { db->commit(); }).sqlState(), "40000");
  EXPECT_FALSE(db->inTransaction());
  EXPECT_EQ(countRows(*db, "c"), 0);
}

// SQLite in WAL mode cannot deadlock in the classic sense: there is one write
// lock, and begin() takes it at once (BEGIN IMMEDIATE), so writers queue.
// The conflict that remains is a transaction that read a snapshot another
// connection has since changed and then tries to write; it must be rolled
// back and retried, exactly like a deadlock victim.
TEST_F(SqliteStoreTest, WriterOnAStaleSnapshotIsTheDeadlockVictim) {
  auto first = target.connect();
  auto second = target.connect();
  first->execute("CREATE TABLE d (k INTEGER)");
  first->execute("BEGIN");  // deferred: reads first, writes later
  EXPECT_EQ(countRows(*first, "d"), 0);
  second->execute("INSERT INTO d VALUES (1)");
  const auto error = errorOf([&] { first->execute("INSERT INTO d VALUES (2)"); });
  EXPECT_EQ(error.errorClass(), ErrorClass::Deadlock) << error.what();
  EXPECT_EQ(error.nativeCode(), 517);  // SQLITE_BUSY_SNAPSHOT
  // The victim's transaction is gone, as on a server; a retry succeeds.
  EXPECT_FALSE(first->inTransaction());
  first->execute("INSERT INTO d VALUES (2)");
  EXPECT_EQ(countRows(*first, "d"), 2);
}

// Writers queue on the write lock; one that waits outside a transaction
// and runs out of patience gets a lock timeout, not a deadlock.
TEST_F(SqliteStoreTest, WritersQueueOnTheWriteLock) {
  auto first = target.connect();
  auto second = target.connect();
  auto impatient = target.connect(std::chrono::milliseconds(50));
  first->execute("CREATE TABLE q (k INTEGER)");
  first->begin();
  first->execute("INSERT INTO q VALUES (1)");
  const auto error = errorOf([&] { impatient->execute("INSERT INTO q VALUES (3)"); });
  EXPECT_EQ(error.errorClass(), ErrorClass::Other) << error.what();
  EXPECT_EQ(error.sqlState(), "55P03");
  EXPECT_EQ(error.nativeCode() & 0xff, 5);  // SQLITE_BUSY

  std::atomic<bool> secondDone{false};
  std::thread writer([&] {
    second->begin();  // waits for the first writer's commit
    second->execute("INSERT INTO q VALUES (2)");
    second->commit();
    secondDone = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(secondDone);
  first->commit();
  writer.join();
  EXPECT_EQ(countRows(*first, "q"), 2);
}

}  // namespace
}  // namespace storetest
