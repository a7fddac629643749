// The store layer: one Connection / Statement / Cursor interface over two
// drivers, SQLite (in process, one database file per name) and PostgreSQL
// (libpq). Private to the library; the engine client and the SQL provider
// build on it. This one header is the whole interface: values, errors,
// connections and the two factories.
//
// SQL text is UTF-8; text values are UTF-16. `?` is the only placeholder
// syntax callers write, on both drivers; parameters are always bound, never
// spliced into the text. Outside literals, identifiers and comments every `?`
// is a marker, so PostgreSQL's jsonb operators ?, ?| and ?& must be written
// as their functions (jsonb_exists, ...).
//
// Threads: a Connection, and the Statements and Cursors made from it, are used
// by one thread at a time. Connection::cancel() is the exception: any thread
// may call it at any time, also while another thread runs a statement or a
// fetch on the connection, or closes it.
//
// Failures: every operation reports failure by throwing store::Error (below);
// nothing else is thrown except std::bad_alloc.
#ifndef TAVODB_PLATFORM_STORE_STORE_H
#define TAVODB_PLATFORM_STORE_STORE_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace store {

// ---------------------------------------------------------------- values ---

enum class ValueType : int {
  Null,
  Integer,  // 64-bit signed
  Double,
  Text,      // UTF-16
  Bytes,     // any bytes, zero bytes included
  DateTime,  // calendar date and wall-clock time to the millisecond, no zone
  Array,     // a sequence of values (PostgreSQL arrays; SQLite JSON arrays)
  Language,  // a language tag ("ja", "en-US", "ja+en") kept as UTF-16 text
};

// A date and time without time zone. Fields are plain numbers; the drivers
// reject values outside year 1..9999 or with out-of-range fields when they
// bind them.
struct DateTime {
  int year = 1;
  int month = 1;        // 1..12
  int day = 1;          // 1..31
  int hour = 0;         // 0..23
  int minute = 0;       // 0..59
  int second = 0;       // 0..59
  int millisecond = 0;  // 0..999
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// One typed value. Default-constructed values are null.
//
// Storage per driver (what a value becomes in the store, and what reads back):
// - Integer: SQLite INTEGER; PostgreSQL int4 when the value fits, else int8,
//   as the server types an integer literal (so it fits int4 arguments such
//   as substr's). Any integer column reads back as Integer, so do boolean
//   columns as 0/1.
// - Double: SQLite REAL; PostgreSQL float8 (float4 and numeric read as Double).
// - Text: UTF-8 text in both; read back as Text. PostgreSQL receives it
//   untyped, so the server fits it to the column or operator as it would a
//   quoted literal; other values are sent typed.
// - Bytes: SQLite BLOB; PostgreSQL bytea.
// - DateTime: SQLite text "YYYY-MM-DD HH:MM:SS.mmm" (it sorts and compares
//   correctly, and SQLite's date functions read it); it reads back as DateTime
//   from a column whose declared type contains "DATE" or "TIME". PostgreSQL
//   timestamp (timestamptz is read in UTC; date reads as midnight; digits
//   past the millisecond are dropped on reading).
// - Array: PostgreSQL arrays (element type from the first non-null element;
//   an empty or all-null array is sent untyped and takes the column's type).
//   SQLite: a JSON array, read back as Array from a column whose declared type
//   contains "ARRAY"; the rest of the declared type names the element type
//   ("TEXT ARRAY", "BIGINT ARRAY", "TIMESTAMP ARRAY", "BYTEA ARRAY"), which
//   decides how JSON strings read back (text, date-time, or bytes written as
//   lower-case hex). Nested arrays nest. The standard "<type> ARRAY" syntax
//   is valid on both stores, so one CREATE TABLE serves both.
// - Declared types SQLite reads by: DATE or TIME -> DateTime, INT -> Integer,
//   CHAR/CLOB/TEXT -> Text, BLOB or BYTEA -> Bytes, REAL/FLOA/DOUB -> Double.
// - Language: bound as text; the stores keep it as text, so it reads back as
//   Text (a language column is an ordinary text column in both stores).
class Value {
 public:
  Value() = default;
  static Value integer(int64_t value) { return Value(Storage(value)); }
  static Value real(double value) { return Value(Storage(value)); }
  static Value text(std::u16string value) { return Value(Storage(std::move(value))); }
  static Value bytes(std::vector<uint8_t> value) { return Value(Storage(std::move(value))); }
  static Value dateTime(const DateTime& value) { return Value(Storage(value)); }
  static Value array(std::vector<Value> elements) { return Value(Storage(std::move(elements))); }
  static Value language(std::u16string tag) { return Value(Storage(LanguageTag{std::move(tag)})); }

  // In-place assignments: a value that already holds the same type keeps its
  // storage (a cursor refills one row's values from row to row without
  // allocating for texts that fit the previous ones).
  void setNull() { _storage.emplace<std::monostate>(); }
  void setInteger(int64_t value) { assignPlain(value); }
  void setReal(double value) { assignPlain(value); }
  void setText(std::u16string_view value) {
    if (auto* text = std::get_if<std::u16string>(&_storage)) {
      text->assign(value);
    } else {
      _storage.emplace<std::u16string>(value);
    }
  }

  // Makes this an empty Text value, keeping its storage when it already is
  // one, and returns the text to fill.
  std::u16string& resetText() {
    if (auto* text = std::get_if<std::u16string>(&_storage)) {
      text->clear();
      return *text;
    }
    return _storage.emplace<std::u16string>();
  }

  ValueType type() const { return static_cast<ValueType>(_storage.index()); }
  bool isNull() const { return _storage.index() == 0; }

  // Typed access. Each throws store::Error (class Other, SQLSTATE 42804) when
  // the value is of another type; asText() serves Text and Language values.
  int64_t asInteger() const;
  double asDouble() const;
  const std::u16string& asText() const;
  const std::vector<uint8_t>& asBytes() const;
  const DateTime& asDateTime() const;
  const std::vector<Value>& asArray() const;

  friend bool operator==(const Value&, const Value&) = default;

 private:
  struct LanguageTag {
    std::u16string tag;
    friend bool operator==(const LanguageTag&, const LanguageTag&) = default;
  };
  // Alternative order follows ValueType.
  using Storage = std::variant<std::monostate, int64_t, double, std::u16string,
                               std::vector<uint8_t>, DateTime, std::vector<Value>, LanguageTag>;
  explicit Value(Storage storage) : _storage(std::move(storage)) {}
  // A number over a number of the same type needs no variant reset.
  template <class T>
  void assignPlain(T value) {
    if (T* current = std::get_if<T>(&_storage)) {
      *current = value;
    } else {
      _storage.emplace<T>(value);
    }
  }
  Storage _storage;
};

// "Integer", "Text", ... for log lines and test output.
const char* valueTypeName(ValueType type);

// ---------------------------------------------------------------- errors ---

enum class ErrorClass : int {
  UniqueViolation,  // a unique or primary key constraint refused the row
  Deadlock,         // the store chose this transaction as the loser of a
                    // conflict and rolled it back; retry the whole transaction
  DiskFull,
  LogFull,         // the transaction log could not grow
  ConnectFailed,   // no connection could be made (open / connect only)
  ConnectionLost,  // an open connection broke, or was used after close()
  Cancelled,       // cancel() stopped the statement
  Other,
};

// "UniqueViolation", "Deadlock", ... for log lines and test output.
const char* errorClassName(ErrorClass errorClass);

// The one exception of the store layer. what() is the store's message
// (UTF-8). sqlState() is a five-character SQLSTATE normalised to PostgreSQL's
// codes on both drivers (23505 unique, 40P01 deadlock, 40001 serialization
// conflict, 53100 disk full, 08001 cannot connect, 08006 connection lost,
// 57014 cancelled, ...). nativeCode() is the driver's own number: the SQLite
// extended result code; 0 for PostgreSQL, which has none beyond the SQLSTATE.
class Error : public std::runtime_error {
 public:
  Error(ErrorClass errorClass, std::string sqlState, int64_t nativeCode, const std::string& message)
      : std::runtime_error(message),
        _class(errorClass),
        _sqlState(std::move(sqlState)),
        _nativeCode(nativeCode) {}

  ErrorClass errorClass() const { return _class; }
  const std::string& sqlState() const { return _sqlState; }
  int64_t nativeCode() const { return _nativeCode; }

 private:
  ErrorClass _class;
  std::string _sqlState;
  int64_t _nativeCode;
};

// ------------------------------------------------------ cursors, statements ---

struct Column {
  std::u16string name;
  // The type values of this column are read as. Null when the store does not
  // declare one (an SQLite expression column): each value then carries its
  // own type. For arrays, elementType is the element type (else Null).
  ValueType type = ValueType::Null;
  ValueType elementType = ValueType::Null;
};

// The rows of one statement. Obtained from Connection::query or
// Statement::query; the caller owns it. Errors of the statement surface from
// the call that made the cursor where the store reports them then (always on
// PostgreSQL, which fetches the whole result at once; SQLite reads its first
// row before returning the cursor), else from next().
// Destroying or closing the cursor frees its resources; a cursor outlives its
// connection safely, but next() then throws ConnectionLost (SQLSTATE 08003).
class Cursor {
 public:
  virtual ~Cursor() = default;
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  // Advances to the next row; false at the end (and on every later call).
  // Throws store::Error; a cancel() during the fetch gives class Cancelled.
  virtual bool next() = 0;
  // The values of the current row, one per column; valid until the next call
  // of next() or close(). Only after next() returned true.
  virtual const std::vector<Value>& row() const = 0;
  virtual const std::vector<Column>& columns() const = 0;
  // Rows changed by the statement (INSERT/UPDATE/DELETE), else 0.
  virtual int64_t changes() const = 0;
  // Ends the fetch; later next() calls return false. Never throws.
  virtual void close() noexcept = 0;

 protected:
  Cursor() = default;
};

// One prepared statement (exactly one SQL statement), run repeatedly with
// different parameters. Owned by the caller; it may outlive its connection
// (runs then throw ConnectionLost, SQLSTATE 08003). Running it again closes
// the cursor of its previous run.
class Statement {
 public:
  virtual ~Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  virtual std::unique_ptr<Cursor> query(std::span<const Value> parameters) = 0;
  // Runs to completion; returns the rows changed.
  virtual int64_t execute(std::span<const Value> parameters) = 0;
  virtual std::size_t parameterCount() const = 0;
  // True when the statement is known to return no result columns (an INSERT,
  // UPDATE, DDL ... without RETURNING), so execute() serves it as well as
  // query() without making a cursor. False when it returns rows or the
  // driver cannot tell before running it (PostgreSQL).
  virtual bool returnsNoColumns() const { return false; }

 protected:
  Statement() = default;
};

// ----------------------------------------------------------- connections ---

enum class IsolationLevel : int { ReadUncommitted, ReadCommitted, RepeatableRead, Serializable };

// One open connection to one database. Obtained from openSqlite or
// openPostgres; the caller owns it. Destroying it closes it.
class Connection {
 public:
  virtual ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs a batch of one or more statements separated by ';'. Each statement
  // takes as many parameters as it has `?` markers, in order; the counts must
  // add up to parameters.size() (else class Other, SQLSTATE 07001). A batch
  // of several statements runs as one unit: inside the open transaction if
  // there is one (a failure then leaves the transaction for the caller to roll
  // back), else in a transaction of its own, so a failure anywhere leaves none
  // of its changes. Returns the rows changed (inserted, updated, deleted).
  virtual int64_t execute(std::string_view sql, std::span<const Value> parameters = {}) = 0;

  // Like execute, but the last statement's rows come back as a cursor. A
  // single statement is fetched lazily where the store allows it (SQLite); a
  // batch of several runs as one unit and its last statement's rows are
  // collected before the call returns.
  virtual std::unique_ptr<Cursor> query(std::string_view sql,
                                        std::span<const Value> parameters = {}) = 0;

  // Prepares exactly one statement (more: class Other, SQLSTATE 42601).
  virtual std::unique_ptr<Statement> prepare(std::string_view sql) = 0;

  // Opens a transaction. SQLite runs every transaction serializable, which
  // satisfies any level asked for; a read-write transaction takes the write
  // lock at once (BEGIN IMMEDIATE), so two writers queue on the busy timeout
  // instead of failing later; a read-only one takes its snapshot at its first
  // read and refuses writes (SQLSTATE 25006, as PostgreSQL does). begin()
  // while a transaction is open: class Other, SQLSTATE 25001.
  virtual void begin(IsolationLevel level = IsolationLevel::ReadCommitted,
                     bool readOnly = false) = 0;
  // Commits the open transaction; without one, does nothing. When the store
  // already rolled the transaction back (after a deadlock, a lost lock, an
  // error that aborts it), throws class Other, SQLSTATE 40000, and the
  // connection is out of the transaction.
  virtual void commit() = 0;
  // Rolls the open transaction back; without one, does nothing.
  virtual void rollback() = 0;
  // True between begin() (or a BEGIN statement run through execute) and the
  // commit() or rollback() that ends it; a transaction begin() opened and the
  // store aborted on an error counts as open until then.
  virtual bool inTransaction() const = 0;

  // Asks the store to stop the statement or fetch running on this connection
  // now (sqlite3_interrupt, PQcancel); that call then throws class Cancelled.
  // Does nothing when nothing runs. Any thread, any time; never throws. An
  // SQLite statement waiting for another connection's lock is not running
  // yet: it keeps waiting up to the busy timeout.
  virtual void cancel() noexcept = 0;

  // Whether the connection still works. For PostgreSQL one round trip to the
  // server. Never throws.
  virtual bool isAlive() noexcept = 0;

  // Closes the connection; later calls throw ConnectionLost (SQLSTATE 08003).
  // Closing twice is harmless. Never throws.
  virtual void close() noexcept = 0;

 protected:
  Connection() = default;
};

// ------------------------------------------------------------- factories ---

// Opens `<directory>/<name>.db`, creating the file on first use (the
// directory must exist). WAL journal, foreign keys on, FTS5 and JSON
// available. A statement that finds the database locked waits up to
// busyTimeout. Failure: class ConnectFailed (SQLSTATE 08001).
std::unique_ptr<Connection> openSqlite(
    const std::string& directory, const std::string& name,
    std::chrono::milliseconds busyTimeout = std::chrono::milliseconds(5000));

struct PostgresParameters {
  std::string host;      // host name or address; empty: libpq's default
  int port = 0;          // 0: libpq's default (PGPORT, else 5432)
  std::string database;  // empty: libpq's default (PGDATABASE, else the user)
  std::string user;      // empty: libpq's default (PGUSER, else the OS user)
  std::string password;  // empty: libpq's default (PGPASSWORD, ~/.pgpass)
  int connectTimeoutSeconds = 10;
};

// Connects to a PostgreSQL server. The session runs with UTF-8 client
// encoding, ISO dates and time zone UTC. Failure (server unreachable, bad
// credentials, no such database): class ConnectFailed, SQLSTATE 08001, with
// libpq's message.
std::unique_ptr<Connection> openPostgres(const PostgresParameters& parameters);

}  // namespace store

#endif  // TAVODB_PLATFORM_STORE_STORE_H
