// The behaviour every store driver must share, as a type-parameterised
// suite. A test program instantiates it with a target type that provides:
//   static constexpr const char* kName;
//   void setUp();                       // a fresh, empty database
//   std::unique_ptr<store::Connection> connect();
// The SQL here is valid on both stores.
#ifndef TAVODB_TESTS_STORE_STORE_SUITE_H
#define TAVODB_TESTS_STORE_STORE_SUITE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Mod/ModUnicodeString.h"
#include "platform/store/Store.h"

namespace store {

// Readable values in failure messages.
inline void PrintTo(const Value& value, std::ostream* out) {
  *out << valueTypeName(value.type());
  const ValueType type = value.type();
  if (type == ValueType::Integer) *out << " " << value.asInteger();
  if (type == ValueType::Double) *out << " " << value.asDouble();
  if (type == ValueType::Text || type == ValueType::Language) {
    *out << " \"" << ModUtf16ToUtf8(value.asText()) << "\"";
  }
  if (type == ValueType::Bytes) *out << " (" << value.asBytes().size() << " bytes)";
  if (type == ValueType::DateTime) {
    const DateTime& d = value.asDateTime();
    *out << " " << d.year << "-" << d.month << "-" << d.day << " " << d.hour << ":" << d.minute
         << ":" << d.second << "." << d.millisecond;
  }
  if (type == ValueType::Array) {
    *out << " [";
    for (const Value& element : value.asArray()) {
      PrintTo(element, out);
      *out << ", ";
    }
    *out << "]";
  }
}

}  // namespace store

namespace storetest {

using store::Connection;
using store::DateTime;
using store::ErrorClass;
using store::Value;
using store::ValueType;

// Runs `action` and returns the store::Error it throws; fails the test when
// it throws nothing.
template <typename Action>
store::Error errorOf(Action action) {
  try {
    action();
  } catch (const store::Error& error) {
    return error;
  }
  ADD_FAILURE() << "no store::Error was thrown";
  return store::Error(ErrorClass::Other, "", 0, "none");
}

// The first row of a query; empty, and a failed test, when there is none.
inline std::vector<Value> firstRow(Connection& connection, const std::string& sql,
                                   const std::vector<Value>& parameters = {}) {
  auto cursor = connection.query(sql, parameters);
  if (cursor->next()) return cursor->row();
  ADD_FAILURE() << "no row from " << sql;
  return {};
}

inline int64_t countRows(Connection& connection, const char* table) {
  return firstRow(connection, std::string("SELECT count(*) FROM ") + table).at(0).asInteger();
}

// A query that runs for a long time on both stores unless cancelled. Its
// first row comes at once, so on a store that fetches lazily the long part
// runs inside a fetch.
inline constexpr const char* kLongQuery =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200000000) "
    "SELECT 1 UNION ALL SELECT count(*) FROM c";

template <typename Target>
class StoreSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    target.setUp();
    connection = target.connect();
  }

  Target target;
  std::unique_ptr<Connection> connection;
};

TYPED_TEST_SUITE_P(StoreSuite);

TYPED_TEST_P(StoreSuite, EveryValueTypeRoundTripsExactly) {
  Connection& db = *this->connection;
  db.execute(
      "CREATE TABLE v (k BIGINT PRIMARY KEY, i BIGINT, d DOUBLE PRECISION, t TEXT, b BYTEA, "
      "ts TIMESTAMP, ta TEXT ARRAY, ia BIGINT ARRAY, da DOUBLE PRECISION ARRAY, "
      "tsa TIMESTAMP ARRAY, ba BYTEA ARRAY)");
  const DateTime leapSecondBefore{2024, 2, 29, 23, 59, 58, 999};
  const DateTime early{1, 1, 1, 0, 0, 0, 1};
  const std::vector<Value> row = {
      Value::integer(1),
      Value::integer(std::numeric_limits<int64_t>::min()),
      Value::real(0.1),
      // Outside the BMP (a surrogate pair), CJK and quote characters.
      Value::text(u"\U0001F600 \u65E5\u672C 'q' \"d\" \\"),
      Value::bytes({0, 1, 0, 255, 0}),
      Value::dateTime(leapSecondBefore),
      Value::array({Value::text(u"a,b"), Value::text(u"\"quoted\" \\"), Value(),
                    Value::text(u"NULL"), Value::text(u""), Value::text(u"\U0001F600")}),
      Value::array(
          {Value::integer(std::numeric_limits<int64_t>::max()), Value(), Value::integer(-7)}),
      Value::array({Value::real(1.5), Value::real(-0.25), Value::real(1e300)}),
      Value::array({Value::dateTime(early), Value::dateTime(leapSecondBefore)}),
      Value::array({Value::bytes({0, 0}), Value::bytes({0xde, 0xad})}),
  };
  EXPECT_EQ(db.execute("INSERT INTO v VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", row), 1);
  std::vector<Value> nulls(row.size());
  nulls[0] = Value::integer(2);
  db.execute("INSERT INTO v VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", nulls);
  // Empty values stay distinct from NULL.
  std::vector<Value> empties(row.size());
  empties[0] = Value::integer(3);
  empties[3] = Value::text(u"");
  empties[4] = Value::bytes({});
  empties[6] = Value::array({});
  db.execute("INSERT INTO v VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", empties);

  auto cursor = db.query("SELECT * FROM v ORDER BY k");
  ASSERT_TRUE(cursor->next());
  ASSERT_EQ(cursor->row().size(), row.size());
  for (std::size_t i = 0; i < row.size(); ++i) {
    EXPECT_EQ(cursor->row()[i], row[i]) << "column " << i;
  }
  ASSERT_TRUE(cursor->next());
  EXPECT_EQ(cursor->row(), nulls);
  ASSERT_TRUE(cursor->next());
  EXPECT_EQ(cursor->row(), empties);
  EXPECT_FALSE(cursor->next());
  EXPECT_FALSE(cursor->next());

  const auto& columns = cursor->columns();
  EXPECT_EQ(columns[1].name, u"i");
  EXPECT_EQ(columns[1].type, ValueType::Integer);
  EXPECT_EQ(columns[5].type, ValueType::DateTime);
  EXPECT_EQ(columns[9].type, ValueType::Array);
  EXPECT_EQ(columns[9].elementType, ValueType::DateTime);
}

TYPED_TEST_P(StoreSuite, LanguageTagsAreStoredAsText) {
  Connection& db = *this->connection;
  db.execute("CREATE TABLE l (lang TEXT, langs TEXT ARRAY)");
  db.execute("INSERT INTO l VALUES (?, ?)",
             std::vector<Value>{Value::language(u"ja+en"),
                                Value::array({Value::language(u"en-US"), Value::language(u"ja")})});
  EXPECT_EQ(firstRow(db, "SELECT lang, langs FROM l WHERE lang = ?", {Value::text(u"ja+en")}),
            (std::vector<Value>{Value::text(u"ja+en"),
                                Value::array({Value::text(u"en-US"), Value::text(u"ja")})}));
}

TYPED_TEST_P(StoreSuite, ParametersAreBoundNeverSpliced) {
  Connection& db = *this->connection;
  // A marker inside a literal or comment is text; the value holds SQL syntax.
  EXPECT_EQ(firstRow(db, "SELECT '?' /* ? */, ? -- ?\n", {Value::text(u"'); DROP TABLE x; --")}),
            (std::vector<Value>{Value::text(u"?"), Value::text(u"'); DROP TABLE x; --")}));

  // Integers fit the integer arguments of functions; a large one stays exact.
  EXPECT_EQ(firstRow(db, "SELECT substr(?, ?, ?), ?",
                     {Value::text(u"abcdef"), Value::integer(2), Value::integer(3),
                      Value::integer(int64_t{1} << 40)}),
            (std::vector<Value>{Value::text(u"bcd"), Value::integer(int64_t{1} << 40)}));

  // A date the calendar does not have is refused before it is bound.
  const auto error = errorOf([&] {
    db.query("SELECT ?", std::vector<Value>{Value::dateTime(DateTime{2023, 2, 29})});
  });
  EXPECT_EQ(error.sqlState(), "22008");
}

TYPED_TEST_P(StoreSuite, BatchBindsEachStatementsShareOfParameters) {
  Connection& db = *this->connection;
  db.execute("CREATE TABLE b (k BIGINT PRIMARY KEY, t TEXT)");
  const int64_t changes = db.execute(
      "INSERT INTO b VALUES (?, ?); INSERT INTO b VALUES (?, 'x');\n"
      "UPDATE b SET t = ? WHERE k = ?;",
      std::vector<Value>{Value::integer(1), Value::text(u"one"), Value::integer(2),
                         Value::text(u"two"), Value::integer(2)});
  EXPECT_EQ(changes, 3);
  auto cursor = db.query("SELECT k, t FROM b ORDER BY k");
  ASSERT_TRUE(cursor->next());
  EXPECT_EQ(cursor->row(), (std::vector<Value>{Value::integer(1), Value::text(u"one")}));
  ASSERT_TRUE(cursor->next());
  EXPECT_EQ(cursor->row(), (std::vector<Value>{Value::integer(2), Value::text(u"two")}));

  // A query batch hands back the last statement's rows.
  cursor = db.query("INSERT INTO b VALUES (?, 'three'); SELECT t FROM b WHERE k = ?",
                    std::vector<Value>{Value::integer(3), Value::integer(3)});
  ASSERT_TRUE(cursor->next());
  EXPECT_EQ(cursor->row()[0], Value::text(u"three"));
  EXPECT_FALSE(cursor->next());
}

TYPED_TEST_P(StoreSuite, FailingBatchLeavesNoRowsBehind) {
  Connection& db = *this->connection;
  db.execute("CREATE TABLE f (k BIGINT PRIMARY KEY)");
  const auto error = errorOf([&] {
    db.execute("INSERT INTO f VALUES (?); INSERT INTO f VALUES (?); INSERT INTO f VALUES (?)",
               std::vector<Value>{Value::integer(1), Value::integer(2), Value::integer(1)});
  });
  EXPECT_EQ(error.errorClass(), ErrorClass::UniqueViolation) << error.what();
  EXPECT_EQ(error.sqlState(), "23505");
  EXPECT_EQ(countRows(db, "f"), 0);
  EXPECT_FALSE(db.inTransaction());

  // Too few or too many parameters for the batch: refused, nothing left.
  for (std::size_t count : {1u, 3u}) {
    std::vector<Value> parameters(count, Value::integer(5));
    const auto mismatch = errorOf(
        [&] { db.execute("INSERT INTO f VALUES (?); INSERT INTO f VALUES (? + 1)", parameters); });
    EXPECT_EQ(mismatch.sqlState(), "07001") << count;
    EXPECT_EQ(countRows(db, "f"), 0);
  }
}

TYPED_TEST_P(StoreSuite, PreparedStatementRunsRepeatedly) {
  Connection& db = *this->connection;
  db.execute("CREATE TABLE p (k BIGINT, t TEXT)");
  auto insert = db.prepare("INSERT INTO p VALUES (?, ?)");
  EXPECT_EQ(insert->parameterCount(), 2u);
  EXPECT_EQ(insert->execute(std::vector<Value>{Value::integer(1), Value::text(u"a")}), 1);
  // Other value types in a later run (a null where text was).
  EXPECT_EQ(insert->execute(std::vector<Value>{Value::integer(2), Value()}), 1);
  EXPECT_EQ(
      insert->execute(std::vector<Value>{Value::integer(int64_t{1} << 40), Value::text(u"b")}), 1);
  EXPECT_EQ(errorOf([&] { insert->execute(std::vector<Value>{Value::integer(3)}); }).sqlState(),
            "07001");

  auto select = db.prepare("SELECT t FROM p WHERE k >= ? ORDER BY k");
  auto first = select->query(std::vector<Value>{Value::integer(1)});
  ASSERT_TRUE(first->next());
  EXPECT_EQ(first->row()[0], Value::text(u"a"));
  // A new run ends the cursor of the previous one.
  auto second = select->query(std::vector<Value>{Value::integer(2)});
  EXPECT_FALSE(first->next());
  ASSERT_TRUE(second->next());
  EXPECT_TRUE(second->row()[0].isNull());
  ASSERT_TRUE(second->next());
  EXPECT_EQ(second->row()[0], Value::text(u"b"));
  EXPECT_FALSE(second->next());

  // Texts of every length in turn, echoed back: short ones, long ones, one
  // past any buffer, and other values in between, all in one statement.
  auto echo = db.prepare("SELECT ?, ?, ?");
  const std::u16string huge(20000, u'h');
  const std::vector<std::vector<Value>> runs = {
      {Value::text(u"a"), Value::text(u"a text of more than fifteen bytes"), Value::text(u"z")},
      {Value::text(u"\U0001F600 non-BMP and longer than before"), Value::text(u"b"),
       Value::text(huge)},
      {Value::integer(7), Value::text(u""), Value::text(u"c")},
      {Value::text(u"d"), Value(), Value::text(u"short again")},
  };
  for (const std::vector<Value>& run : runs) {
    auto cursor = echo->query(run);
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->row(), run);
  }

  EXPECT_EQ(errorOf([&] { db.prepare("SELECT 1; SELECT 2"); }).sqlState(), "42601");
}

TYPED_TEST_P(StoreSuite, CancelStopsALongQueryFromAnotherThread) {
  Connection& db = *this->connection;
  std::atomic<bool> finished{false};
  std::unique_ptr<store::Error> caught;
  std::thread worker([&] {
    try {
      auto cursor = db.query(kLongQuery);
      while (cursor->next()) {
      }
    } catch (const store::Error& error) {
      caught = std::make_unique<store::Error>(error);
    }
    finished = true;
  });
  const auto started = std::chrono::steady_clock::now();
  // The cancel may land before the query runs, when it does nothing; repeat.
  while (!finished) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    db.cancel();
  }
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  ASSERT_TRUE(caught) << "the query ran to its end";
  EXPECT_EQ(caught->errorClass(), ErrorClass::Cancelled) << caught->what();
  EXPECT_EQ(caught->sqlState(), "57014");

  // The connection stays usable, and a cancel with nothing running is harmless.
  db.cancel();
  EXPECT_EQ(firstRow(db, "SELECT 1"), std::vector<Value>{Value::integer(1)});
}

TYPED_TEST_P(StoreSuite, TransactionsCommitAndRollBack) {
  Connection& db = *this->connection;
  db.execute("CREATE TABLE x (k BIGINT)");
  EXPECT_FALSE(db.inTransaction());
  db.commit();  // nothing open: nothing happens
  db.rollback();

  db.begin();
  EXPECT_TRUE(db.inTransaction());
  EXPECT_EQ(errorOf([&] { db.begin(); }).sqlState(), "25001");
  db.execute("INSERT INTO x VALUES (1)");
  db.rollback();
  EXPECT_FALSE(db.inTransaction());
  EXPECT_EQ(countRows(db, "x"), 0);

  db.begin(store::IsolationLevel::Serializable);
  // A batch inside the transaction joins it rather than committing itself.
  db.execute("INSERT INTO x VALUES (?); INSERT INTO x VALUES (?)",
             std::vector<Value>{Value::integer(1), Value::integer(2)});
  EXPECT_TRUE(db.inTransaction());
  db.commit();
  EXPECT_EQ(countRows(db, "x"), 2);
}

TYPED_TEST_P(StoreSuite, ReadOnlySnapshotSeesNoLaterCommitsAndRefusesWrites) {
  Connection& db = *this->connection;
  db.execute("CREATE TABLE s (k BIGINT)");
  db.execute("INSERT INTO s VALUES (1)");
  auto other = this->target.connect();
  db.begin(store::IsolationLevel::RepeatableRead, true);
  EXPECT_EQ(countRows(db, "s"), 1);
  other->execute("INSERT INTO s VALUES (2)");
  EXPECT_EQ(countRows(db, "s"), 1);
  const auto error = errorOf([&] { db.execute("INSERT INTO s VALUES (3)"); });
  EXPECT_EQ(error.errorClass(), ErrorClass::Other);
  EXPECT_EQ(error.sqlState(), "25006") << error.what();
  db.rollback();
  // Read-only ended with its transaction.
  db.execute("INSERT INTO s VALUES (3)");
  EXPECT_EQ(countRows(db, "s"), 3);
}

TYPED_TEST_P(StoreSuite, UseAfterCloseReportsConnectionLost) {
  auto cursor = this->connection->query("SELECT 1 UNION ALL SELECT 2");
  auto statement = this->connection->prepare("SELECT ?");
  this->connection->close();
  this->connection->close();
  EXPECT_FALSE(this->connection->isAlive());
  EXPECT_FALSE(this->connection->inTransaction());
  this->connection->cancel();
  const auto onCursor = errorOf([&] { cursor->next(); });
  EXPECT_EQ(onCursor.errorClass(), ErrorClass::ConnectionLost);
  EXPECT_EQ(onCursor.sqlState(), "08003");
  EXPECT_EQ(errorOf([&] { statement->query(std::vector<Value>{Value::integer(1)}); }).sqlState(),
            "08003");
  EXPECT_EQ(errorOf([&] { this->connection->execute("SELECT 1"); }).sqlState(), "08003");
  // Cursors and statements may still be destroyed after their connection.
  cursor.reset();
  statement.reset();
}

REGISTER_TYPED_TEST_SUITE_P(StoreSuite, EveryValueTypeRoundTripsExactly,
                            LanguageTagsAreStoredAsText, ParametersAreBoundNeverSpliced,
                            BatchBindsEachStatementsShareOfParameters,
                            FailingBatchLeavesNoRowsBehind, PreparedStatementRunsRepeatedly,
                            CancelStopsALongQueryFromAnotherThread, TransactionsCommitAndRollBack,
                            ReadOnlySnapshotSeesNoLaterCommitsAndRefusesWrites,
                            UseAfterCloseReportsConnectionLost);

}  // namespace storetest

#endif  // TAVODB_TESTS_STORE_STORE_SUITE_H
