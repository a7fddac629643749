#include "platform/store/SqliteDriver.h"

#include <sqlite3.h>

#include <cmath>
#include <new>
#include <nlohmann/json.hpp>

#include "Mod/ModUnicodeString.h"
#include "platform/store/StoreSupport.h"

namespace store::sqlite {

Error mapError(int extendedCode, const std::string& message, bool inTransaction, bool connecting) {
  auto make = [&](ErrorClass errorClass, const char* sqlState) {
    return Error(errorClass, sqlState, extendedCode, message);
  };
  if (connecting) return make(ErrorClass::ConnectFailed, "08001");
  switch (extendedCode) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:  // 1555
    case SQLITE_CONSTRAINT_UNIQUE:      // 2067
      return make(ErrorClass::UniqueViolation, "23505");
    case SQLITE_CONSTRAINT_NOTNULL:
      return make(ErrorClass::Other, "23502");
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return make(ErrorClass::Other, "23503");
    case SQLITE_CONSTRAINT_CHECK:
      return make(ErrorClass::Other, "23514");
    case SQLITE_BUSY_SNAPSHOT:
      return make(ErrorClass::Deadlock, "40001");
    default:
      break;
  }
  switch (extendedCode & 0xff) {
    case SQLITE_FULL:
      return make(ErrorClass::DiskFull, "53100");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return inTransaction ? make(ErrorClass::Deadlock, "40P01") : make(ErrorClass::Other, "55P03");
    case SQLITE_INTERRUPT:
      return make(ErrorClass::Cancelled, "57014");
    case SQLITE_CONSTRAINT:
      return make(ErrorClass::Other, "23000");
    case SQLITE_READONLY:
      return make(ErrorClass::Other, "25006");
    case SQLITE_NOMEM:
      return make(ErrorClass::Other, "53200");
    case SQLITE_IOERR:
      return make(ErrorClass::Other, "58030");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return make(ErrorClass::Other, "XX001");
    case SQLITE_TOOBIG:
      return make(ErrorClass::Other, "54000");
    case SQLITE_MISMATCH:
      return make(ErrorClass::Other, "42804");
    case SQLITE_RANGE:
      return make(ErrorClass::Other, "07001");
    case SQLITE_ERROR:
      return make(ErrorClass::Other, "42000");
    default:
      return make(ErrorClass::Other, "XX000");
  }
}

namespace {

using detail::CancelGate;

// What a Connection, its Statements and Cursors share; it lives as long as
// the longest of them so a late cursor finds `closed` instead of a dangling
// handle.
struct Core {
  sqlite3* db = nullptr;  // nulled by close() under the gate's lock
  bool closed = false;
  bool explicitTransaction = false;  // begin() opened the transaction
  bool readOnlyTransaction = false;  // begin() set query_only for it
  CancelGate gate;

  void checkOpen() const {
    if (closed) detail::throwClosed();
  }
  bool inTransaction() const { return explicitTransaction || sqlite3_get_autocommit(db) == 0; }
  [[noreturn]] void fail() const {
    raise(mapError(sqlite3_extended_errcode(db), sqlite3_errmsg(db), inTransaction(), false));
  }
  // A deadlock victim's transaction cannot go on; it is rolled back here, as
  // PostgreSQL does with its victims, so commit() cannot keep half of it.
  [[noreturn]] void raise(const Error& error) const {
    if (error.errorClass() == ErrorClass::Deadlock && sqlite3_get_autocommit(db) == 0) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    throw error;
  }
  void exec(const char* sql) const {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail();
  }
  // Ends the bookkeeping of a transaction that is over.
  void transactionEnded() {
    explicitTransaction = false;
    if (readOnlyTransaction) {
      readOnlyTransaction = false;
      sqlite3_exec(db, "PRAGMA query_only = 0", nullptr, nullptr, nullptr);
    }
  }
};

// A prepared statement handle shared by a Statement and the cursor of its
// current run; `generation` tells a cursor whether a later run took over.
struct Handle {
  explicit Handle(sqlite3_stmt* statement) : stmt(statement) {}
  ~Handle() { sqlite3_finalize(stmt); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  sqlite3_stmt* stmt;
  uint64_t generation = 0;
  // The UTF-8 forms of the texts bound to the statement's parameters, bound
  // without a copy: each stays here unchanged until its parameter is bound
  // again, which happens only between runs.
  std::vector<std::string> boundTexts;
};

// ---- values ----------------------------------------------------------------

// The element or column type a declared type names: date and time words
// first (they are ours), then SQLite's own affinity words in its order.
ValueType declaredScalarType(std::string_view declared) {
  using detail::containsIgnoringCase;
  if (containsIgnoringCase(declared, "DATE") || containsIgnoringCase(declared, "TIME"))
    return ValueType::DateTime;
  if (containsIgnoringCase(declared, "INT")) return ValueType::Integer;
  if (containsIgnoringCase(declared, "CHAR") || containsIgnoringCase(declared, "CLOB") ||
      containsIgnoringCase(declared, "TEXT")) {
    return ValueType::Text;
  }
  if (containsIgnoringCase(declared, "BLOB") || containsIgnoringCase(declared, "BYTEA"))
    return ValueType::Bytes;
  if (containsIgnoringCase(declared, "REAL") || containsIgnoringCase(declared, "FLOA") ||
      containsIgnoringCase(declared, "DOUB")) {
    return ValueType::Double;
  }
  return ValueType::Null;
}

std::vector<Column> describeColumns(sqlite3_stmt* stmt) {
  const int count = sqlite3_column_count(stmt);
  std::vector<Column> columns(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    Column& column = columns[static_cast<std::size_t>(i)];
    const char* name = sqlite3_column_name(stmt, i);
    column.name = ModUtf8ToUtf16(name ? name : "");
    const char* declared = sqlite3_column_decltype(stmt, i);
    if (declared == nullptr) continue;
    if (detail::containsIgnoringCase(declared, "ARRAY")) {
      column.type = ValueType::Array;
      column.elementType = declaredScalarType(declared);
    } else {
      column.type = declaredScalarType(declared);
    }
  }
  return columns;
}

nlohmann::json toJson(const Value& value) {
  switch (value.type()) {
    case ValueType::Null:
      return nullptr;
    case ValueType::Integer:
      return value.asInteger();
    case ValueType::Double:
      if (!std::isfinite(value.asDouble())) {
        throw Error(ErrorClass::Other, "22023", 0, "an SQLite array cannot hold NaN or infinity");
      }
      return value.asDouble();
    case ValueType::Text:
    case ValueType::Language:
      return ModUtf16ToUtf8(value.asText());
    case ValueType::Bytes:
      return detail::toHex(value.asBytes());
    case ValueType::DateTime:
      return detail::formatDateTime(value.asDateTime());
    case ValueType::Array: {
      nlohmann::json array = nlohmann::json::array();
      for (const Value& element : value.asArray()) array.push_back(toJson(element));
      return array;
    }
  }
  return nullptr;
}

Value fromJson(const nlohmann::json& json, ValueType elementType) {
  switch (json.type()) {
    case nlohmann::json::value_t::null:
      return Value();
    case nlohmann::json::value_t::boolean:
      return Value::integer(json.get<bool>() ? 1 : 0);
    case nlohmann::json::value_t::number_integer:
      return Value::integer(json.get<int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
      const auto number = json.get<uint64_t>();
      return number <= static_cast<uint64_t>(INT64_MAX)
                 ? Value::integer(static_cast<int64_t>(number))
                 : Value::real(static_cast<double>(number));
    }
    case nlohmann::json::value_t::number_float:
      return Value::real(json.get<double>());
    case nlohmann::json::value_t::string: {
      const auto& text = json.get_ref<const std::string&>();
      if (elementType == ValueType::DateTime) {
        DateTime dateTime;
        if (detail::parseDateTime(text, dateTime)) return Value::dateTime(dateTime);
      } else if (elementType == ValueType::Bytes) {
        std::vector<uint8_t> bytes;
        if (detail::fromHex(text, bytes)) return Value::bytes(std::move(bytes));
      }
      return Value::text(ModUtf8ToUtf16(text));
    }
    case nlohmann::json::value_t::array: {
      std::vector<Value> elements;
      elements.reserve(json.size());
      for (const auto& element : json) elements.push_back(fromJson(element, elementType));
      return Value::array(std::move(elements));
    }
    default:
      return Value::text(ModUtf8ToUtf16(json.dump()));
  }
}

// Reads column `index` into `out` in place, so that a row's texts reuse
// their buffers from row to row. The column is read through its
// sqlite3_value, which costs one API call (with its error bookkeeping) per
// column instead of one per accessor; the connection is used by one thread at
// a time, which is what such an unprotected value asks for.
void readValue(sqlite3_stmt* stmt, int index, const Column& column, Value& out) {
  sqlite3_value* value = sqlite3_column_value(stmt, index);
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      out.setInteger(sqlite3_value_int64(value));
      return;
    case SQLITE_FLOAT:
      out.setReal(sqlite3_value_double(value));
      return;
    case SQLITE_BLOB: {
      const auto* data = static_cast<const uint8_t*>(sqlite3_value_blob(value));
      const int size = sqlite3_value_bytes(value);
      out = Value::bytes(data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>());
      return;
    }
    case SQLITE_TEXT: {
      if (column.type != ValueType::Array && column.type != ValueType::DateTime) {
        // SQLite converts to UTF-16 itself, which spares a UTF-8 copy.
        const auto* text = static_cast<const char16_t*>(sqlite3_value_text16(value));
        if (text == nullptr) throw std::bad_alloc();  // only the conversion can fail
        const auto bytes = static_cast<std::size_t>(sqlite3_value_bytes16(value));
        out.setText(std::u16string_view(text, bytes / sizeof(char16_t)));
        return;
      }
      const auto* utf8 = reinterpret_cast<const char*>(sqlite3_value_text(value));
      if (utf8 == nullptr) throw std::bad_alloc();
      const std::string_view text(utf8, static_cast<std::size_t>(sqlite3_value_bytes(value)));
      if (column.type == ValueType::Array) {
        nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
        if (json.is_array()) {
          out = fromJson(json, column.elementType);
          return;
        }
      } else {
        DateTime dateTime;
        if (detail::parseDateTime(text, dateTime)) {
          out = Value::dateTime(dateTime);
          return;
        }
      }
      // Text that does not read as the declared type stays text rather than
      // failing the whole row.
      out.setText(ModUtf8ToUtf16(text));
      return;
    }
    default:
      out.setNull();
      return;
  }
}

void bindText(const Core& core, sqlite3_stmt* stmt, int index, const std::string& text) {
  if (sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
      SQLITE_OK) {
    core.fail();
  }
}

// Texts up to this many units are bound from the handle's own buffers;
// longer ones are copied by SQLite, so that an idle statement does not keep
// a large document.
constexpr std::size_t kMaxBufferedText = 16384;

void bindValue(const Core& core, Handle& handle, int index, const Value& value) {
  sqlite3_stmt* stmt = handle.stmt;
  int rc = SQLITE_OK;
  switch (value.type()) {
    case ValueType::Null:
      rc = sqlite3_bind_null(stmt, index);
      break;
    case ValueType::Integer:
      rc = sqlite3_bind_int64(stmt, index, value.asInteger());
      break;
    case ValueType::Double:
      rc = sqlite3_bind_double(stmt, index, value.asDouble());
      break;
    case ValueType::Text:
    case ValueType::Language: {
      const std::u16string& text = value.asText();
      if (text.size() > kMaxBufferedText) {
        // SQLite converts to the database's UTF-8 itself.
        rc = sqlite3_bind_text64(stmt, index, reinterpret_cast<const char*>(text.data()),
                                 text.size() * sizeof(char16_t), SQLITE_TRANSIENT, SQLITE_UTF16);
        break;
      }
      // Converted into the parameter's buffer, which SQLite reads in place:
      // no allocation once the buffer has grown to the texts of the statement.
      std::string& utf8 = handle.boundTexts[static_cast<std::size_t>(index - 1)];
      ModUtf16ToUtf8(text, utf8);
      rc = sqlite3_bind_text64(stmt, index, utf8.data(), utf8.size(), SQLITE_STATIC, SQLITE_UTF8);
      break;
    }
    case ValueType::Bytes: {
      const auto& bytes = value.asBytes();
      // A null pointer would bind NULL; an empty value must stay an empty blob.
      rc = bytes.empty()
               ? sqlite3_bind_zeroblob(stmt, index, 0)
               : sqlite3_bind_blob64(stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
      break;
    }
    case ValueType::DateTime:
      bindText(core, stmt, index, detail::formatDateTime(value.asDateTime()));
      break;
    case ValueType::Array:
      bindText(core, stmt, index, toJson(value).dump());
      break;
  }
  if (rc != SQLITE_OK) core.fail();
}

void bindAll(const Core& core, Handle& handle, std::span<const Value> parameters) {
  // Sized before any binding: growing it later would move short texts that
  // live inside the string objects away from where SQLite reads them.
  if (handle.boundTexts.size() < parameters.size()) handle.boundTexts.resize(parameters.size());
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    bindValue(core, handle, static_cast<int>(i + 1), parameters[i]);
  }
}

void readRow(sqlite3_stmt* stmt, const std::vector<Column>& columns, std::vector<Value>& row) {
  row.resize(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    readValue(stmt, static_cast<int>(i), columns[i], row[i]);
  }
}

// Changes made by the statement that just finished. sqlite3_changes64 keeps
// the count of the last data change, so a statement that changed nothing
// (a SELECT, DDL) must be told apart by the running total.
int64_t changesSince(sqlite3* db, int64_t totalBefore) {
  return sqlite3_total_changes64(db) == totalBefore ? 0 : sqlite3_changes64(db);
}

// True when text after a statement holds more than blanks, ';' and comments.
bool hasMoreStatements(const char* tail) {
  std::string_view rest(tail ? tail : "");
  std::size_t i = 0;
  while (i < rest.size()) {
    const char c = rest[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == ';') {
      ++i;
    } else if (rest.substr(i, 2) == "--") {
      const std::size_t end = rest.find('\n', i);
      i = end == std::string_view::npos ? rest.size() : end + 1;
    } else if (rest.substr(i, 2) == "/*") {
      const std::size_t end = rest.find("*/", i + 2);
      i = end == std::string_view::npos ? rest.size() : end + 2;
    } else {
      return true;
    }
  }
  return false;
}

// One sqlite3_step under the cancel gate: true for a row. At the end (false)
// and on failure (thrown) the statement is reset.
bool stepStatement(Core& core, sqlite3_stmt* stmt) {
  int rc;
  {
    CancelGate::Running running(core.gate);
    rc = sqlite3_step(stmt);
  }
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt);
    return false;
  }
  // Capture the error before reset, which may replace it.
  const Error error = mapError(sqlite3_extended_errcode(core.db), sqlite3_errmsg(core.db),
                               core.inTransaction(), false);
  sqlite3_reset(stmt);
  core.raise(error);
}

// ---- cursors ---------------------------------------------------------------

// Rows read one step at a time from a live statement.
class SqliteCursor final : public Cursor {
 public:
  SqliteCursor(std::shared_ptr<Core> core, std::shared_ptr<Handle> handle)
      : _core(std::move(core)),
        _handle(std::move(handle)),
        _generation(_handle->generation),
        _columns(describeColumns(_handle->stmt)) {}
  ~SqliteCursor() override { close(); }

  // Reads the first row (or runs the statement to its end), so errors and
  // changes are known when the cursor is handed out.
  void start() {
    const int64_t totalBefore = sqlite3_total_changes64(_core->db);
    _pending = step();
    if (_done) _changes = changesSince(_core->db, totalBefore);
  }

  bool next() override {
    if (_done || _handle->generation != _generation) return false;
    _core->checkOpen();
    if (_pending) {
      _pending = false;
      return true;
    }
    return step();
  }
  const std::vector<Value>& row() const override { return _row; }
  const std::vector<Column>& columns() const override { return _columns; }
  int64_t changes() const override { return _changes; }
  void close() noexcept override {
    if (!_done && _handle->generation == _generation) sqlite3_reset(_handle->stmt);
    _done = true;
    _pending = false;
  }

 private:
  bool step() {
    if (stepStatement(*_core, _handle->stmt)) {
      readRow(_handle->stmt, _columns, _row);
      return true;
    }
    _done = true;
    return false;
  }

  std::shared_ptr<Core> _core;
  std::shared_ptr<Handle> _handle;
  uint64_t _generation;
  std::vector<Column> _columns;
  std::vector<Value> _row;
  bool _pending = false;  // start() read a row that next() has not handed out
  bool _done = false;
  int64_t _changes = 0;
};

// Rows collected before the cursor was made (the last statement of a batch).
class CollectedCursor final : public Cursor {
 public:
  CollectedCursor(std::shared_ptr<Core> core, std::vector<Column> columns,
                  std::vector<std::vector<Value>> rows, int64_t changes)
      : _core(std::move(core)),
        _columns(std::move(columns)),
        _rows(std::move(rows)),
        _changes(changes) {}

  bool next() override {
    if (_next >= _rows.size()) return false;
    _core->checkOpen();
    _current = _next++;
    return true;
  }
  const std::vector<Value>& row() const override { return _rows[_current]; }
  const std::vector<Column>& columns() const override { return _columns; }
  int64_t changes() const override { return _changes; }
  void close() noexcept override { _next = _rows.size(); }

 private:
  std::shared_ptr<Core> _core;
  std::vector<Column> _columns;
  std::vector<std::vector<Value>> _rows;
  int64_t _changes;
  std::size_t _next = 0;
  std::size_t _current = 0;
};

// ---- statements and connections ----------------------------------------------

std::shared_ptr<Handle> prepareOne(Core& core, const char* sql, std::size_t size, const char** tail,
                                   unsigned flags) {
  sqlite3_stmt* stmt = nullptr;
  int rc;
  {
    // Preparing reads the schema and can wait on locks; let cancel reach it.
    CancelGate::Running running(core.gate);
    rc = sqlite3_prepare_v3(core.db, sql, static_cast<int>(size), flags, &stmt, tail);
  }
  if (rc != SQLITE_OK) core.fail();
  return stmt ? std::make_shared<Handle>(stmt) : nullptr;
}

class SqliteStatement final : public Statement {
 public:
  SqliteStatement(std::shared_ptr<Core> core, std::shared_ptr<Handle> handle)
      : _core(std::move(core)), _handle(std::move(handle)) {}

  std::unique_ptr<Cursor> query(std::span<const Value> parameters) override {
    restart(parameters);
    auto cursor = std::make_unique<SqliteCursor>(_core, _handle);
    cursor->start();
    return cursor;
  }
  // Steps to the end without a cursor, which a run for the effect alone
  // does not need.
  int64_t execute(std::span<const Value> parameters) override {
    restart(parameters);
    const int64_t totalBefore = sqlite3_total_changes64(_core->db);
    while (stepStatement(*_core, _handle->stmt)) {
    }
    return changesSince(_core->db, totalBefore);
  }
  std::size_t parameterCount() const override {
    return static_cast<std::size_t>(sqlite3_bind_parameter_count(_handle->stmt));
  }
  bool returnsNoColumns() const override { return sqlite3_column_count(_handle->stmt) == 0; }

 private:
  void restart(std::span<const Value> parameters) {
    _core->checkOpen();
    if (parameters.size() != parameterCount()) {
      detail::throwParameterCount(parameterCount(), parameters.size());
    }
    ++_handle->generation;  // the previous run's cursor now reads as ended
    // A run that ended or failed was reset already; only one left midway
    // still needs it.
    if (sqlite3_stmt_busy(_handle->stmt)) sqlite3_reset(_handle->stmt);
    // Every parameter is bound again below (the count was checked), so the
    // previous run's bindings need no clearing first.
    bindAll(*_core, *_handle, parameters);
  }

  std::shared_ptr<Core> _core;
  std::shared_ptr<Handle> _handle;
};

class SqliteConnection final : public Connection {
 public:
  explicit SqliteConnection(sqlite3* db) : _core(std::make_shared<Core>()) { _core->db = db; }
  ~SqliteConnection() override { close(); }

  int64_t execute(std::string_view sql, std::span<const Value> parameters) override {
    return runBatch(sql, parameters, nullptr);
  }

  std::unique_ptr<Cursor> query(std::string_view sql, std::span<const Value> parameters) override {
    _core->checkOpen();
    const char* tail = nullptr;
    auto handle = prepareOne(*_core, sql.data(), sql.size(), &tail, 0);
    if (handle && !hasMoreStatements(tail)) {
      const auto count = static_cast<std::size_t>(sqlite3_bind_parameter_count(handle->stmt));
      if (count != parameters.size()) detail::throwParameterCount(count, parameters.size());
      bindAll(*_core, *handle, parameters);
      auto cursor = std::make_unique<SqliteCursor>(_core, std::move(handle));
      cursor->start();
      return cursor;
    }
    std::unique_ptr<Cursor> cursor;
    runBatch(sql, parameters, &cursor);
    return cursor;
  }

  std::unique_ptr<Statement> prepare(std::string_view sql) override {
    _core->checkOpen();
    const char* tail = nullptr;
    auto handle = prepareOne(*_core, sql.data(), sql.size(), &tail, SQLITE_PREPARE_PERSISTENT);
    if (!handle || hasMoreStatements(tail)) detail::throwNotOneStatement();
    return std::make_unique<SqliteStatement>(_core, std::move(handle));
  }

  void begin(IsolationLevel, bool readOnly) override {
    _core->checkOpen();
    if (_core->inTransaction()) detail::throwAlreadyInTransaction();
    if (readOnly) {
      _core->exec("PRAGMA query_only = 1");
      _core->readOnlyTransaction = true;
      try {
        _core->exec("BEGIN DEFERRED");
      } catch (...) {
        _core->transactionEnded();
        throw;
      }
    } else {
      _core->exec("BEGIN IMMEDIATE");
    }
    _core->explicitTransaction = true;
  }

  void commit() override {
    _core->checkOpen();
    if (sqlite3_get_autocommit(_core->db) != 0) {
      // Open by our own begin() yet gone: an error made SQLite roll it back.
      const bool rolledBack = _core->explicitTransaction;
      _core->transactionEnded();
      if (rolledBack) detail::throwRolledBack();
      return;
    }
    try {
      CancelGate::Running running(_core->gate);
      _core->exec("COMMIT");
    } catch (...) {
      if (sqlite3_get_autocommit(_core->db) != 0) _core->transactionEnded();
      throw;
    }
    _core->transactionEnded();
  }

  void rollback() override {
    _core->checkOpen();
    const bool open = sqlite3_get_autocommit(_core->db) == 0;
    _core->transactionEnded();
    if (open) _core->exec("ROLLBACK");
  }

  bool inTransaction() const override { return !_core->closed && _core->inTransaction(); }

  void cancel() noexcept override {
    _core->gate.whileRunning([this]() {
      if (_core->db) sqlite3_interrupt(_core->db);
    });
  }

  bool isAlive() noexcept override { return !_core->closed; }

  void close() noexcept override {
    if (_core->closed) return;
    _core->gate.locked([this]() {
      _core->closed = true;
      // close_v2 keeps the handle as a zombie until statements still held by
      // cursors and Statements are finalized.
      sqlite3_close_v2(_core->db);
      _core->db = nullptr;
    });
  }

 private:
  // Runs every statement of `sql`, each with its share of the parameters.
  // With `collect`, the last statement's rows are gathered into a cursor.
  int64_t runBatch(std::string_view sql, std::span<const Value> parameters,
                   std::unique_ptr<Cursor>* collect) {
    _core->checkOpen();
    sqlite3* db = _core->db;
    const char* const end = sql.data() + sql.size();
    const char* tail = nullptr;
    auto handle = prepareOne(*_core, sql.data(), sql.size(), &tail, 0);
    if (!handle) {
      if (!parameters.empty()) detail::throwParameterCount(0, parameters.size());
      if (collect)
        *collect = std::make_unique<CollectedCursor>(_core, std::vector<Column>(),
                                                     std::vector<std::vector<Value>>(), 0);
      return 0;
    }
    bool more = hasMoreStatements(tail);
    // A batch runs as one unit: in the caller's transaction, else in its own.
    const bool wrap = more && sqlite3_get_autocommit(db) != 0;
    if (wrap) _core->exec("BEGIN IMMEDIATE");
    try {
      int64_t total = 0;
      std::size_t used = 0;
      while (handle) {
        sqlite3_stmt* stmt = handle->stmt;
        const auto count = static_cast<std::size_t>(sqlite3_bind_parameter_count(stmt));
        if (used + count > parameters.size() || (!more && used + count != parameters.size())) {
          detail::throwParameterCount(used + count, parameters.size());
        }
        bindAll(*_core, *handle, parameters.subspan(used, count));
        used += count;
        const bool last = !more;
        const int64_t totalBefore = sqlite3_total_changes64(db);
        std::vector<Column> columns;
        std::vector<std::vector<Value>> rows;
        if (last && collect) columns = describeColumns(stmt);
        int rc;
        for (;;) {
          {
            CancelGate::Running running(_core->gate);
            rc = sqlite3_step(stmt);
          }
          if (rc != SQLITE_ROW) break;
          if (last && collect) {
            rows.emplace_back();
            readRow(stmt, columns, rows.back());
          }
        }
        if (rc != SQLITE_DONE) _core->fail();
        const int64_t changes = changesSince(db, totalBefore);
        total += changes;
        if (last && collect) {
          *collect = std::make_unique<CollectedCursor>(_core, std::move(columns), std::move(rows),
                                                       changes);
        }
        handle.reset();
        if (more) {
          handle = prepareOne(*_core, tail, static_cast<std::size_t>(end - tail), &tail, 0);
          more = handle && hasMoreStatements(tail);
        }
      }
      if (used != parameters.size()) detail::throwParameterCount(used, parameters.size());
      if (wrap) _core->exec("COMMIT");
      return total;
    } catch (...) {
      if (wrap && sqlite3_get_autocommit(db) == 0) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      }
      throw;
    }
  }

  std::shared_ptr<Core> _core;
};

}  // namespace
}  // namespace store::sqlite

namespace store {

std::unique_ptr<Connection> openSqlite(const std::string& directory, const std::string& name,
                                       std::chrono::milliseconds busyTimeout) {
  // The name becomes a file name in the directory and must not leave it.
  if (name.empty() || name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
    throw Error(ErrorClass::ConnectFailed, "08001", 0, "invalid database name \"" + name + "\"");
  }
  const std::string path = directory + "/" + name + ".db";
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto failure = [&](int code) {
    const std::string message =
        "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
    const int extended = db ? sqlite3_extended_errcode(db) : code;
    sqlite3_close_v2(db);
    return sqlite::mapError(extended, message, false, true);
  };
  if (rc != SQLITE_OK) throw failure(rc);
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, static_cast<int>(busyTimeout.count()));
  // WAL lets readers run beside the one writer; NORMAL sync is durable in WAL
  // mode up to the last checkpointed commit and much faster than FULL.
  for (const char* pragma :
       {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL", "PRAGMA foreign_keys = ON"}) {
    const int pragmaRc = sqlite3_exec(db, pragma, nullptr, nullptr, nullptr);
    if (pragmaRc != SQLITE_OK) throw failure(pragmaRc);
  }
  return std::make_unique<sqlite::SqliteConnection>(db);
}

}  // namespace store
