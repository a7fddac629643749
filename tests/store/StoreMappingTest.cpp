// The drivers' error mappings and the shared date-time text form, without a
// store: the codes that are hard to provoke for real (a lost connection
// without SQLSTATE, a full log) are pinned here; those the store tests
// provoke for real (duplicate key, deadlock, cancel, disk full) are not.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "platform/store/PostgresDriver.h"
#include "platform/store/SqliteDriver.h"
#include "platform/store/StoreSupport.h"

namespace {

using store::DateTime;
using store::ErrorClass;

TEST(PostgresErrorMapping, ClassifiesEachCode) {
  const struct {
    const char* sqlState;
    const char* message;
    bool connectionBad;
    bool connecting;
    ErrorClass expectedClass;
    const char* expectedState;
  } cases[] = {
      {nullptr, "could not connect", true, true, ErrorClass::ConnectFailed, "08001"},
      {nullptr, "server closed the connection unexpectedly", true, false,
       ErrorClass::ConnectionLost, "08006"},
      {"", "no sqlstate, connection fine", false, false, ErrorClass::Other, "XX000"},
      {"08P01", "protocol violation", false, false, ErrorClass::ConnectionLost, "08P01"},
      {"57P01", "terminating connection due to administrator command", false, false,
       ErrorClass::ConnectionLost, "57P01"},
      {"57P02", "crash shutdown", false, false, ErrorClass::ConnectionLost, "57P02"},
      {"57P03", "cannot connect now", false, false, ErrorClass::ConnectionLost, "57P03"},
      {"42P01", "fatal error that also closed the connection", true, false,
       ErrorClass::ConnectionLost, "42P01"},
      {"40001", "could not serialize access", false, false, ErrorClass::Deadlock, "40001"},
      {"53100", "could not extend file \"base/1/2\"", false, false, ErrorClass::DiskFull, "53100"},
      {"53100", "could not write to file \"pg_wal/xlogtemp.1\"", false, false, ErrorClass::LogFull,
       "53100"},
      {"23503", "foreign key", false, false, ErrorClass::Other, "23503"},
  };
  for (const auto& c : cases) {
    const auto error = store::pg::mapError(c.sqlState, c.message, c.connectionBad, c.connecting);
    EXPECT_EQ(error.errorClass(), c.expectedClass) << c.message;
    EXPECT_EQ(error.sqlState(), c.expectedState) << c.message;
    EXPECT_STREQ(error.what(), c.message);
    EXPECT_EQ(error.nativeCode(), 0);
  }
}

TEST(SqliteErrorMapping, ClassifiesExtendedCodes) {
  const struct {
    int code;
    bool inTransaction;
    ErrorClass expectedClass;
    const char* expectedState;
  } cases[] = {
      {SQLITE_CONSTRAINT_UNIQUE, false, ErrorClass::UniqueViolation, "23505"},
      {SQLITE_CONSTRAINT_NOTNULL, false, ErrorClass::Other, "23502"},
      {SQLITE_BUSY, true, ErrorClass::Deadlock, "40P01"},
      {SQLITE_LOCKED, true, ErrorClass::Deadlock, "40P01"},
      {SQLITE_BUSY_TIMEOUT, false, ErrorClass::Other, "55P03"},
      {SQLITE_LOCKED_SHAREDCACHE, false, ErrorClass::Other, "55P03"},
      {SQLITE_BUSY_SNAPSHOT, false, ErrorClass::Deadlock, "40001"},
      {SQLITE_INTERRUPT, false, ErrorClass::Cancelled, "57014"},
      {SQLITE_READONLY, true, ErrorClass::Other, "25006"},
      {SQLITE_IOERR_WRITE, false, ErrorClass::Other, "58030"},
      {SQLITE_ERROR, false, ErrorClass::Other, "42000"},
  };
  for (const auto& c : cases) {
    const auto error = store::sqlite::mapError(c.code, "message", c.inTransaction, false);
    EXPECT_EQ(error.errorClass(), c.expectedClass) << c.code;
    EXPECT_EQ(error.sqlState(), c.expectedState) << c.code;
    EXPECT_EQ(error.nativeCode(), c.code);
  }
  const auto opening = store::sqlite::mapError(SQLITE_CANTOPEN, "cannot open", false, true);
  EXPECT_EQ(opening.errorClass(), ErrorClass::ConnectFailed);
  EXPECT_EQ(opening.nativeCode(), SQLITE_CANTOPEN);
}

TEST(DateTimeText, FormatsReadsAndRefusesOutOfRange) {
  const DateTime value{987, 12, 31, 23, 5, 9, 7};
  EXPECT_EQ(store::detail::formatDateTime(value), "0987-12-31 23:05:09.007");
  DateTime read;
  ASSERT_TRUE(store::detail::parseDateTime("0987-12-31 23:05:09.007", read));
  EXPECT_EQ(read, value);

  // The other forms stores write.
  ASSERT_TRUE(store::detail::parseDateTime("2024-01-02", read));
  EXPECT_EQ(read, (DateTime{2024, 1, 2}));
  // Microseconds are cut to milliseconds, not rounded; the zone is dropped.
  ASSERT_TRUE(store::detail::parseDateTime("2024-01-02 03:04:05.678999+00", read));
  EXPECT_EQ(read, (DateTime{2024, 1, 2, 3, 4, 5, 678}));
  ASSERT_TRUE(store::detail::parseDateTime("2024-01-02T03:04:05.5Z", read));
  EXPECT_EQ(read.millisecond, 500);
  for (const char* bad : {"", "2024-1-02", "2023-02-29", "2024-01-02 24:00:00", "2024-01-02 x",
                          "infinity", "0044-03-15 BC", "2024-01-02 03:04:05."}) {
    EXPECT_FALSE(store::detail::parseDateTime(bad, read)) << bad;
  }
  for (const DateTime& bad : {DateTime{0, 1, 1}, DateTime{10000, 1, 1}, DateTime{2024, 4, 31},
                              DateTime{2024, 1, 1, 0, 60}, DateTime{2024, 1, 1, 0, 0, 0, 1000}}) {
    try {
      store::detail::formatDateTime(bad);
      ADD_FAILURE() << "accepted year " << bad.year;
    } catch (const store::Error& error) {
      EXPECT_EQ(error.sqlState(), "22008");
    }
  }
}

TEST(Value, TypedAccessRefusesOtherTypes) {
  const auto value = store::Value::language(u"en-US");
  EXPECT_EQ(value.asText(), u"en-US");
  EXPECT_NE(value, store::Value::text(u"en-US"));
  try {
    value.asInteger();
    ADD_FAILURE() << "no error";
  } catch (const store::Error& error) {
    EXPECT_EQ(error.sqlState(), "42804");
    EXPECT_STREQ(error.what(), "value is Language, not Integer");
  }
}

}  // namespace
