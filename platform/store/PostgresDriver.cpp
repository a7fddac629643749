#include "platform/store/PostgresDriver.h"

#include <libpq-fe.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Mod/ModMessage.h"
#include "Mod/ModUnicodeString.h"
#include "platform/store/PostgresSql.h"
#include "platform/store/StoreSupport.h"

namespace store::pg {

Error mapError(const char* sqlState, const std::string& message, bool connectionBad,
               bool connecting) {
  const std::string code = sqlState ? sqlState : "";
  auto make = [&](ErrorClass errorClass, const std::string& state) {
    return Error(errorClass, state, 0, message);
  };
  if (connecting) return make(ErrorClass::ConnectFailed, "08001");
  if (connectionBad || code.starts_with("08") || code == "57P01" || code == "57P02" ||
      code == "57P03") {
    return make(ErrorClass::ConnectionLost, code.empty() ? "08006" : code);
  }
  if (code == "23505") return make(ErrorClass::UniqueViolation, code);
  if (code == "40P01" || code == "40001") return make(ErrorClass::Deadlock, code);
  if (code == "53100") {
    return make(
        message.find("pg_wal") != std::string::npos ? ErrorClass::LogFull : ErrorClass::DiskFull,
        code);
  }
  if (code == "57014") return make(ErrorClass::Cancelled, code);
  return make(ErrorClass::Other, code.empty() ? "XX000" : code);
}

namespace {

using detail::CancelGate;

// Type OIDs of the built-in types the driver reads and writes.
enum : Oid {
  kUnknown = 0,
  kBool = 16,
  kBytea = 17,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kOid = 26,
  kFloat4 = 700,
  kFloat8 = 701,
  kDate = 1082,
  kTimestamp = 1114,
  kTimestampTz = 1184,
  kNumeric = 1700,
  kBoolArray = 1000,
  kByteaArray = 1001,
  kInt2Array = 1005,
  kInt4Array = 1007,
  kTextArray = 1009,
  kBpcharArray = 1014,
  kVarcharArray = 1015,
  kInt8Array = 1016,
  kFloat4Array = 1021,
  kFloat8Array = 1022,
  kOidArray = 1028,
  kTimestampArray = 1115,
  kDateArray = 1182,
  kTimestampTzArray = 1185,
  kNumericArray = 1231,
  kText = 25,
};

ValueType scalarKind(Oid type) {
  switch (type) {
    case kBool:
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
      return ValueType::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
      return ValueType::Double;
    case kBytea:
      return ValueType::Bytes;
    case kDate:
    case kTimestamp:
    case kTimestampTz:
      return ValueType::DateTime;
    default:
      return ValueType::Text;
  }
}

// The element type of an array type, or kUnknown for a type that is not one
// of the arrays the driver reads as arrays.
Oid elementOf(Oid type) {
  switch (type) {
    case kBoolArray:
      return kBool;
    case kByteaArray:
      return kBytea;
    case kInt2Array:
      return kInt2;
    case kInt4Array:
      return kInt4;
    case kInt8Array:
      return kInt8;
    case kOidArray:
      return kOid;
    case kFloat4Array:
      return kFloat4;
    case kFloat8Array:
      return kFloat8;
    case kNumericArray:
      return kNumeric;
    case kTextArray:
    case kBpcharArray:
    case kVarcharArray:
      return kText;
    case kTimestampArray:
      return kTimestamp;
    case kTimestampTzArray:
      return kTimestampTz;
    case kDateArray:
      return kDate;
    default:
      return kUnknown;
  }
}

// ---- reading the text form ---------------------------------------------------

int64_t parseInteger(Oid type, std::string_view text) {
  if (type == kBool) return text == "t" ? 1 : 0;
  int64_t number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  return number;
}

double parseDouble(std::string_view text) {
  double number = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
  // A numeric beyond double's range reads as infinity, as strtod gives.
  if (result.ec == std::errc::result_out_of_range) {
    number = std::strtod(std::string(text).c_str(), nullptr);
  }
  return number;
}

Value decodeScalar(Oid type, std::string_view text) {
  switch (scalarKind(type)) {
    case ValueType::Integer:
      return Value::integer(parseInteger(type, text));
    case ValueType::Double:
      return Value::real(parseDouble(text));
    case ValueType::Bytes: {
      std::vector<uint8_t> bytes;
      if (text.starts_with("\\x") && detail::fromHex(text.substr(2), bytes)) {
        return Value::bytes(std::move(bytes));
      }
      break;
    }
    case ValueType::DateTime: {
      DateTime dateTime;
      if (detail::parseDateTime(text, dateTime)) return Value::dateTime(dateTime);
      break;  // infinity or a BC date: kept as text
    }
    default:
      break;
  }
  return Value::text(ModUtf8ToUtf16(text));
}

// Reads one array literal ("{1,2}", "{{a,\"b c\"},{NULL,d}}", optionally
// prefixed by bounds "[0:1]=") starting at `position`.
std::vector<Value> parseArray(std::string_view text, std::size_t& position, Oid element) {
  std::vector<Value> elements;
  if (position < text.size() && text[position] == '[') {
    const std::size_t equals = text.find('=', position);
    position = equals == std::string_view::npos ? text.size() : equals + 1;
  }
  if (position >= text.size() || text[position] != '{') return elements;
  ++position;
  if (position < text.size() && text[position] == '}') {
    ++position;
    return elements;
  }
  while (position < text.size()) {
    const char c = text[position];
    if (c == '{') {
      elements.push_back(Value::array(parseArray(text, position, element)));
    } else if (c == '"') {
      std::string unescaped;
      ++position;
      while (position < text.size() && text[position] != '"') {
        if (text[position] == '\\' && position + 1 < text.size()) ++position;
        unescaped += text[position++];
      }
      ++position;  // the closing quote
      elements.push_back(decodeScalar(element, unescaped));
    } else {
      const std::size_t end = text.find_first_of(",}", position);
      const std::string_view item =
          text.substr(position, (end == std::string_view::npos ? text.size() : end) - position);
      position += item.size();
      elements.push_back(item == "NULL" ? Value() : decodeScalar(element, item));
    }
    if (position < text.size() && text[position] == ',') {
      ++position;
    } else {
      ++position;  // the closing brace
      break;
    }
  }
  return elements;
}

Value decodeValue(Oid type, std::string_view text) {
  const Oid element = elementOf(type);
  if (element == kUnknown) return decodeScalar(type, text);
  std::size_t position = 0;
  return Value::array(parseArray(text, position, element));
}

// decodeValue into `out`, of a column read as `kind`. Numbers and texts are
// written in place, so that a row's texts reuse their buffers from row to
// row.
void decodeValueInto(Oid type, ValueType kind, std::string_view text, Value& out) {
  switch (kind) {
    case ValueType::Integer:
      out.setInteger(parseInteger(type, text));
      return;
    case ValueType::Double:
      out.setReal(parseDouble(text));
      return;
    case ValueType::Text:
      ModUtf8ToUtf16(text, out.resetText());
      return;
    default:
      out = decodeValue(type, text);
      return;
  }
}

// ---- writing parameters ------------------------------------------------------

std::string formatDouble(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The first non-null scalar's type decides an array's type.
ValueType arrayKind(const std::vector<Value>& elements) {
  for (const Value& element : elements) {
    if (element.type() == ValueType::Array) {
      const ValueType inner = arrayKind(element.asArray());
      if (inner != ValueType::Null) return inner;
    } else if (!element.isNull()) {
      return element.type();
    }
  }
  return ValueType::Null;
}

Oid arrayType(ValueType kind) {
  switch (kind) {
    case ValueType::Integer:
      return kInt8Array;
    case ValueType::Double:
      return kFloat8Array;
    case ValueType::Text:
    case ValueType::Language:
      return kTextArray;
    case ValueType::Bytes:
      return kByteaArray;
    case ValueType::DateTime:
      return kTimestampArray;
    default:
      return kUnknown;  // empty or all null: the server infers it
  }
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

void appendArrayLiteral(std::string& out, const std::vector<Value>& elements) {
  out += '{';
  bool first = true;
  for (const Value& element : elements) {
    if (!first) out += ',';
    first = false;
    switch (element.type()) {
      case ValueType::Null:
        out += "NULL";
        break;
      case ValueType::Integer:
        out += std::to_string(element.asInteger());
        break;
      case ValueType::Double:
        appendQuoted(out, formatDouble(element.asDouble()));
        break;
      case ValueType::Text:
      case ValueType::Language:
        appendQuoted(out, ModUtf16ToUtf8(element.asText()));
        break;
      case ValueType::Bytes:
        appendQuoted(out, "\\x" + detail::toHex(element.asBytes()));
        break;
      case ValueType::DateTime:
        appendQuoted(out, detail::formatDateTime(element.asDateTime()));
        break;
      case ValueType::Array:
        appendArrayLiteral(out, element.asArray());
        break;
    }
  }
  out += '}';
}

// Parameters in libpq's parallel-array form. Bytes go in binary form (no
// escaping); everything else as text, typed where the value's type is sure
// and left to the server's inference for text, so a text value may fill a
// column of any type as a quoted literal would.
class Parameters {
 public:
  explicit Parameters(std::span<const Value> values) {
    _texts.reserve(values.size());
    for (const Value& value : values) add(value);
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (values[i].isNull()) {
        _values.push_back(nullptr);
      } else if (values[i].type() == ValueType::Bytes) {
        // libpq reads a null pointer as NULL; an empty value needs a real one.
        static const char empty = 0;
        const auto& bytes = values[i].asBytes();
        _values.push_back(bytes.empty() ? &empty : reinterpret_cast<const char*>(bytes.data()));
      } else {
        _values.push_back(_texts[i].c_str());
      }
    }
  }
  int count() const { return static_cast<int>(_types.size()); }
  const Oid* types() const { return _types.data(); }
  const std::vector<Oid>& typeList() const { return _types; }
  const char* const* values() const { return _values.data(); }
  const int* lengths() const { return _lengths.data(); }
  const int* formats() const { return _formats.data(); }

 private:
  void add(const Value& value) {
    std::string text;
    Oid type = kUnknown;
    int length = 0;
    int format = 0;
    switch (value.type()) {
      case ValueType::Null:
        break;
      case ValueType::Integer: {
        // Typed as the server types an integer literal of the same value, so
        // it fits int4 arguments (substr, repeat, ...) that int8 would not.
        const int64_t number = value.asInteger();
        text = std::to_string(number);
        type = number >= INT32_MIN && number <= INT32_MAX ? kInt4 : kInt8;
        break;
      }
      case ValueType::Double:
        text = formatDouble(value.asDouble());
        type = kFloat8;
        break;
      case ValueType::Text:
      case ValueType::Language:
        text = ModUtf16ToUtf8(value.asText());
        break;
      case ValueType::Bytes:
        type = kBytea;
        length = static_cast<int>(value.asBytes().size());
        format = 1;
        break;
      case ValueType::DateTime:
        text = detail::formatDateTime(value.asDateTime());
        type = kTimestamp;
        break;
      case ValueType::Array:
        appendArrayLiteral(text, value.asArray());
        type = arrayType(arrayKind(value.asArray()));
        break;
    }
    _texts.push_back(std::move(text));
    _types.push_back(type);
    _lengths.push_back(length);
    _formats.push_back(format);
  }

  std::vector<std::string> _texts;
  std::vector<Oid> _types;
  std::vector<const char*> _values;
  std::vector<int> _lengths;
  std::vector<int> _formats;
};

// ---- connection core ---------------------------------------------------------

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// What a Connection, its Statements and Cursors share.
struct Core {
  PGconn* conn = nullptr;
  PGcancel* cancelHandle = nullptr;  // guarded by gate's lock
  bool closed = false;
  bool explicitTransaction = false;  // begin() opened the transaction
  uint64_t nextStatementId = 0;
  CancelGate gate;

  void checkOpen() const {
    if (closed) detail::throwClosed();
  }
  bool standardConformingStrings() const {
    const char* value = PQparameterStatus(conn, "standard_conforming_strings");
    return value == nullptr || std::strcmp(value, "on") == 0;
  }
  PGTransactionStatusType transactionStatus() const { return PQtransactionStatus(conn); }

  [[noreturn]] void fail(const PGresult* result) const {
    const char* sqlState = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw mapError(sqlState, message, PQstatus(conn) == CONNECTION_BAD, false);
  }
  Result check(PGresult* raw) const {
    Result result(raw);
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
      fail(raw);
    }
    return result;
  }
  Result simple(const char* sql) {
    PGresult* raw;
    {
      CancelGate::Running running(gate);
      raw = PQexec(conn, sql);
    }
    return check(raw);
  }
  Result withParameters(const std::string& sql, std::span<const Value> values) {
    const Parameters parameters(values);
    PGresult* raw;
    {
      CancelGate::Running running(gate);
      raw = PQexecParams(conn, sql.c_str(), parameters.count(), parameters.types(),
                         parameters.values(), parameters.lengths(), parameters.formats(), 0);
    }
    return check(raw);
  }
};

// Rows changed by a finished command; PQcmdTuples also counts SELECT rows,
// which are not changes.
int64_t changesOf(const PGresult* result) {
  const std::string_view status = PQcmdStatus(const_cast<PGresult*>(result));
  if (!status.starts_with("INSERT") && !status.starts_with("UPDATE") &&
      !status.starts_with("DELETE") && !status.starts_with("MERGE")) {
    return 0;
  }
  return std::strtoll(PQcmdTuples(const_cast<PGresult*>(result)), nullptr, 10);
}

// The rows of one complete result.
class PostgresCursor final : public Cursor {
 public:
  PostgresCursor(std::shared_ptr<Core> core, Result result,
                 std::shared_ptr<const uint64_t> generation = nullptr)
      : _core(std::move(core)),
        _result(std::move(result)),
        _rows(PQntuples(_result.get())),
        _changes(changesOf(_result.get())),
        _generation(std::move(generation)),
        _ownGeneration(_generation ? *_generation : 0) {
    const int count = PQnfields(_result.get());
    _columns.resize(static_cast<std::size_t>(count));
    _types.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      Column& column = _columns[static_cast<std::size_t>(i)];
      column.name = ModUtf8ToUtf16(PQfname(_result.get(), i));
      const Oid type = PQftype(_result.get(), i);
      _types[static_cast<std::size_t>(i)] = type;
      const Oid element = elementOf(type);
      column.type = element == kUnknown ? scalarKind(type) : ValueType::Array;
      column.elementType = element == kUnknown ? ValueType::Null : scalarKind(element);
    }
  }

  bool next() override {
    if (_index + 1 >= _rows || (_generation && *_generation != _ownGeneration)) {
      _index = _rows;
      return false;
    }
    _core->checkOpen();
    ++_index;
    PGresult* result = _result.get();
    _row.resize(_columns.size());
    for (std::size_t i = 0; i < _columns.size(); ++i) {
      const int column = static_cast<int>(i);
      if (PQgetisnull(result, _index, column)) {
        _row[i].setNull();
      } else {
        decodeValueInto(
            _types[i], _columns[i].type,
            std::string_view(PQgetvalue(result, _index, column),
                             static_cast<std::size_t>(PQgetlength(result, _index, column))),
            _row[i]);
      }
    }
    return true;
  }
  const std::vector<Value>& row() const override { return _row; }
  const std::vector<Column>& columns() const override { return _columns; }
  int64_t changes() const override { return _changes; }
  void close() noexcept override { _index = _rows; }

 private:
  std::shared_ptr<Core> _core;
  Result _result;
  int _rows;
  int _index = -1;
  int64_t _changes;
  std::shared_ptr<const uint64_t> _generation;  // the statement's run counter
  uint64_t _ownGeneration;
  std::vector<Column> _columns;
  std::vector<Oid> _types;  // the store's type of each column
  std::vector<Value> _row;
};

class PostgresStatement final : public Statement {
 public:
  PostgresStatement(std::shared_ptr<Core> core, SqlStatement statement)
      : _core(std::move(core)), _statement(std::move(statement)) {}

  ~PostgresStatement() override { release(); }

  std::unique_ptr<Cursor> query(std::span<const Value> parameters) override {
    return std::make_unique<PostgresCursor>(_core, run(parameters), _generation);
  }
  int64_t execute(std::span<const Value> parameters) override {
    return changesOf(run(parameters).get());
  }
  std::size_t parameterCount() const override { return _statement.parameterCount; }

 private:
  Result run(std::span<const Value> values) {
    _core->checkOpen();
    if (values.size() != _statement.parameterCount) {
      detail::throwParameterCount(_statement.parameterCount, values.size());
    }
    ++*_generation;
    const Parameters parameters(values);
    // The server fixes parameter types at preparation; prepare again when a
    // run brings values of other types.
    if (!_prepared || parameters.typeList() != _preparedTypes) {
      release();
      _name = "tavodb_" + std::to_string(++_core->nextStatementId);
      PGresult* raw;
      {
        CancelGate::Running running(_core->gate);
        raw = PQprepare(_core->conn, _name.c_str(), _statement.text.c_str(), parameters.count(),
                        parameters.types());
      }
      _core->check(raw);
      _prepared = true;
      _preparedTypes = parameters.typeList();
    }
    PGresult* raw;
    {
      CancelGate::Running running(_core->gate);
      raw = PQexecPrepared(_core->conn, _name.c_str(), parameters.count(), parameters.values(),
                           parameters.lengths(), parameters.formats(), 0);
    }
    return _core->check(raw);
  }

  // The server keeps a prepared statement until the session ends; give it
  // back while the connection can take commands. Best effort: in an aborted
  // transaction it stays until the session ends, under a name never reused.
  void release() noexcept {
    if (_prepared && !_core->closed && PQstatus(_core->conn) == CONNECTION_OK &&
        _core->transactionStatus() != PQTRANS_INERROR) {
      PQclear(PQexec(_core->conn, ("DEALLOCATE " + _name).c_str()));
    }
    _prepared = false;
  }

  std::shared_ptr<Core> _core;
  SqlStatement _statement;
  std::string _name;  // the server-side name of the current preparation
  bool _prepared = false;
  std::vector<Oid> _preparedTypes;
  std::shared_ptr<uint64_t> _generation = std::make_shared<uint64_t>(0);
};

class PostgresConnection final : public Connection {
 public:
  explicit PostgresConnection(PGconn* conn) : _core(std::make_shared<Core>()) {
    _core->conn = conn;
    _core->cancelHandle = PQgetCancel(conn);
  }
  ~PostgresConnection() override { close(); }

  int64_t execute(std::string_view sql, std::span<const Value> parameters) override {
    return run(sql, parameters, nullptr);
  }

  std::unique_ptr<Cursor> query(std::string_view sql, std::span<const Value> parameters) override {
    Result last;
    run(sql, parameters, &last);
    if (!last) last.reset(PQmakeEmptyPGresult(_core->conn, PGRES_COMMAND_OK));
    return std::make_unique<PostgresCursor>(_core, std::move(last));
  }

  std::unique_ptr<Statement> prepare(std::string_view sql) override {
    _core->checkOpen();
    auto statements = splitStatements(sql, _core->standardConformingStrings());
    if (statements.size() != 1) detail::throwNotOneStatement();
    return std::make_unique<PostgresStatement>(_core, std::move(statements.front()));
  }

  void begin(IsolationLevel level, bool readOnly) override {
    _core->checkOpen();
    if (_core->transactionStatus() != PQTRANS_IDLE) detail::throwAlreadyInTransaction();
    static constexpr const char* levels[] = {"READ UNCOMMITTED", "READ COMMITTED",
                                             "REPEATABLE READ", "SERIALIZABLE"};
    const std::string sql = std::string("BEGIN ISOLATION LEVEL ") +
                            levels[static_cast<int>(level)] +
                            (readOnly ? ", READ ONLY" : ", READ WRITE");
    _core->simple(sql.c_str());
    _core->explicitTransaction = true;
  }

  void commit() override {
    _core->checkOpen();
    const bool ours = _core->explicitTransaction;
    _core->explicitTransaction = false;
    switch (_core->transactionStatus()) {
      case PQTRANS_IDLE:
        if (ours) detail::throwRolledBack();
        return;
      case PQTRANS_INERROR:
        // COMMIT would only roll back; say so instead of pretending success.
        _core->simple("ROLLBACK");
        detail::throwRolledBack();
      default: {
        const Result result = _core->simple("COMMIT");
        if (std::strcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0) detail::throwRolledBack();
      }
    }
  }

  void rollback() override {
    _core->checkOpen();
    _core->explicitTransaction = false;
    if (_core->transactionStatus() != PQTRANS_IDLE) _core->simple("ROLLBACK");
  }

  bool inTransaction() const override {
    return !_core->closed && _core->transactionStatus() != PQTRANS_IDLE &&
           _core->transactionStatus() != PQTRANS_UNKNOWN;
  }

  void cancel() noexcept override {
    _core->gate.whileRunning([this]() {
      if (_core->cancelHandle) {
        char message[256];
        PQcancel(_core->cancelHandle, message, sizeof message);
      }
    });
  }

  bool isAlive() noexcept override {
    if (_core->closed || PQstatus(_core->conn) != CONNECTION_OK) return false;
    const Result result(PQexec(_core->conn, ""));
    return result && PQresultStatus(result.get()) == PGRES_EMPTY_QUERY;
  }

  void close() noexcept override {
    if (_core->closed) return;
    _core->gate.locked([this]() {
      _core->closed = true;
      PQfreeCancel(_core->cancelHandle);
      _core->cancelHandle = nullptr;
      PQfinish(_core->conn);
      _core->conn = nullptr;
    });
  }

 private:
  // Runs every statement of `sql`, each with its share of the parameters;
  // `last` (when given) receives the last statement's result.
  int64_t run(std::string_view sql, std::span<const Value> parameters, Result* last) {
    _core->checkOpen();
    const auto statements = splitStatements(sql, _core->standardConformingStrings());
    std::size_t expected = 0;
    for (const auto& statement : statements) expected += statement.parameterCount;
    if (expected != parameters.size()) detail::throwParameterCount(expected, parameters.size());
    if (statements.empty()) return 0;
    if (statements.size() == 1) {
      Result result = _core->withParameters(statements.front().text, parameters);
      const int64_t changes = changesOf(result.get());
      if (last) *last = std::move(result);
      return changes;
    }
    if (expected == 0) return runSimpleBatch(sql, last);
    // A batch runs as one unit: in the caller's transaction, else in its own.
    const bool wrap = _core->transactionStatus() == PQTRANS_IDLE;
    if (wrap) _core->simple("BEGIN");
    try {
      int64_t total = 0;
      std::size_t used = 0;
      for (const auto& statement : statements) {
        Result result = _core->withParameters(statement.text,
                                              parameters.subspan(used, statement.parameterCount));
        used += statement.parameterCount;
        total += changesOf(result.get());
        if (last) *last = std::move(result);
      }
      if (wrap) _core->simple("COMMIT");
      return total;
    } catch (...) {
      if (wrap && PQstatus(_core->conn) == CONNECTION_OK &&
          _core->transactionStatus() != PQTRANS_IDLE) {
        PQclear(PQexec(_core->conn, "ROLLBACK"));
      }
      throw;
    }
  }

  // A batch without parameters goes as one simple query, which the server
  // runs as one implicit transaction; every result must be drained.
  int64_t runSimpleBatch(std::string_view sql, Result* last) {
    const std::string text(sql);
    int64_t total = 0;
    Result failure;
    {
      CancelGate::Running running(_core->gate);
      if (!PQsendQuery(_core->conn, text.c_str())) _core->fail(nullptr);
      while (PGresult* raw = PQgetResult(_core->conn)) {
        Result result(raw);
        const ExecStatusType status = PQresultStatus(raw);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK &&
            status != PGRES_EMPTY_QUERY) {
          if (!failure) failure = std::move(result);
          continue;
        }
        total += changesOf(raw);
        if (last) *last = std::move(result);
      }
    }
    if (failure || PQstatus(_core->conn) == CONNECTION_BAD) _core->fail(failure.get());
    return total;
  }

  std::shared_ptr<Core> _core;
};

}  // namespace
}  // namespace store::pg

namespace store {

std::unique_ptr<Connection> openPostgres(const PostgresParameters& parameters) {
  // The session settings the driver's text conversions rely on.
  static constexpr const char* options =
      "-c DateStyle=ISO,YMD -c TimeZone=UTC -c IntervalStyle=postgres -c bytea_output=hex "
      "-c extra_float_digits=3";
  const std::string port = parameters.port > 0 ? std::to_string(parameters.port) : "";
  const std::string timeout = std::to_string(parameters.connectTimeoutSeconds);
  std::vector<const char*> keywords;
  std::vector<const char*> values;
  auto add = [&](const char* keyword, const std::string& value) {
    if (value.empty()) return;  // libpq's own default applies
    keywords.push_back(keyword);
    values.push_back(value.c_str());
  };
  add("host", parameters.host);
  add("port", port);
  add("dbname", parameters.database);
  add("user", parameters.user);
  add("password", parameters.password);
  add("connect_timeout", timeout);
  keywords.push_back("options");
  values.push_back(options);
  keywords.push_back("client_encoding");
  values.push_back("UTF8");
  keywords.push_back("application_name");
  values.push_back("tavodb");
  keywords.push_back(nullptr);
  values.push_back(nullptr);

  PGconn* conn = PQconnectdbParams(keywords.data(), values.data(), 0);
  if (conn == nullptr) throw std::bad_alloc();
  if (PQstatus(conn) != CONNECTION_OK) {
    std::string message = PQerrorMessage(conn);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    PQfinish(conn);
    throw pg::mapError(nullptr, message, true, true);
  }
  // Server notices (NOTICE, WARNING) belong in the log, not on stderr.
  PQsetNoticeProcessor(
      conn,
      [](void*, const char* message) {
        std::string text(message);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        ModDebugMessage << "PostgreSQL: " << text << ModEndl;
      },
      nullptr);
  return std::make_unique<pg::PostgresConnection>(conn);
}

}  // namespace store
