#include "platform/engine/EngineSession.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <new>
#include <span>
#include <thread>

#include "Corvid/Exception.h"
#include "platform/engine/EngineError.h"
#include "platform/engine/FullTextSql.h"
#include "platform/engine/ThreadSpares.h"
#include "platform/engine/ValueConversion.h"

namespace engine {

namespace {

// Bounds of the per-session caches; a session that runs ever new statement
// texts starts its cache afresh instead of growing without end.
constexpr std::size_t kMaxTranslations = 256;
constexpr std::size_t kMaxStatements = 64;

// How long cancel() keeps repeating the store's cancel while the fetch has
// not taken notice: a cancel that reaches the store just before the statement
// starts is lost, so it is sent again.
constexpr auto kCancelRetry = std::chrono::milliseconds(10);
constexpr int kCancelAttempts = 100;

// std::u16string's == compares unit by unit; memcmp is much faster on
// statement texts.
bool sameText(const std::u16string& left, const std::u16string& right) {
  return left.size() == right.size() &&
         std::memcmp(left.data(), right.data(), left.size() * sizeof(char16_t)) == 0;
}

// Only these statements are kept prepared: they are the ones run again and
// again, and the stores prepare them without side effects.
bool worthCaching(const std::string& sql) {
  std::size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) {
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
  }
  return word == "SELECT" || word == "INSERT" || word == "UPDATE" || word == "DELETE" ||
         word == "WITH" || word == "VALUES";
}

// Tuples given back by releaseTuple are kept with their values for the next
// fetch to overwrite, and a finished result set's parameter list for the next
// statement to refill: a loop of fetches or of statements then allocates no
// tuple, no number or text value and no parameter list of its own.
using SpareTuples = ThreadSpares<std::unique_ptr<Corvid::Common::DataArrayData>, 4>;
using SpareParameterLists = ThreadSpares<std::vector<store::Value>, 4>;
struct FreeMemory {
  void operator()(void* memory) const noexcept { ::operator delete(memory); }
};
using SpareResultSetMemory = ThreadSpares<std::unique_ptr<void, FreeMemory>, 2>;
// Kept tuples and lists drop texts longer than this, so that an idle thread
// does not hold on to a large document.
constexpr std::size_t kMaxKeptTextLength = 4096;

std::unique_ptr<Corvid::Common::DataArrayData> takeTuple() {
  std::unique_ptr<Corvid::Common::DataArrayData> tuple = SpareTuples::take();
  return tuple ? std::move(tuple) : std::make_unique<Corvid::Common::DataArrayData>();
}

// The values the next fetch overwrites in place (see assignFromStoreValue);
// the rest would only hold memory.
bool worthKeeping(const Corvid::Common::Data& value) {
  switch (value.getType()) {
    case Corvid::Common::DataType::Integer:
    case Corvid::Common::DataType::Integer64:
    case Corvid::Common::DataType::Double:
      return true;
    case Corvid::Common::DataType::String:
      return static_cast<const Corvid::Common::StringData&>(value).getValue().getLength() <=
             kMaxKeptTextLength;
    default:
      return false;
  }
}

void keepTuple(Corvid::Common::DataArrayData* tuple) noexcept {
  std::unique_ptr<Corvid::Common::DataArrayData> owned(tuple);
  for (std::size_t i = 0; i < owned->getCount(); ++i) {
    Corvid::Common::ObjectPointer<Corvid::Common::Data>& element = owned->getElement(i);
    if (element && !worthKeeping(*element)) element.reset();
  }
  SpareTuples::keep(std::move(owned));
}

// The same for the parameter values assignToStoreValue overwrites in place.
bool worthKeeping(const store::Value& value) {
  switch (value.type()) {
    case store::ValueType::Integer:
    case store::ValueType::Double:
      return true;
    case store::ValueType::Text:
      return value.asText().size() <= kMaxKeptTextLength;
    default:
      return false;
  }
}

void keepParameterList(std::vector<store::Value>&& parameters) noexcept {
  for (store::Value& value : parameters) {
    if (!worthKeeping(value)) value.setNull();
  }
  SpareParameterLists::keep(std::move(parameters));
}

}  // namespace

// ----------------------------------------------------------- SessionCore ---

SessionCore::SessionCore(StoreKind storeKind, ModUnicodeString database,
                         std::unique_ptr<store::Connection> storeConnection)
    : store(storeKind), databaseName(std::move(database)), connection(std::move(storeConnection)) {}

std::shared_ptr<const Translation> SessionCore::translation(const ModUnicodeString& statement) {
  if (_lastTranslation && sameText(statement.str(), _lastStatement)) return _lastTranslation;
  std::shared_ptr<const Translation> translated;
  const auto found = _translations.find(statement.str());
  if (found != _translations.end()) {
    translated = found->second;
  } else {
    translated = translate(statement.str(), store);
    if (_translations.size() >= kMaxTranslations) _translations.clear();
    _translations.emplace(statement.str(), translated);
  }
  _lastStatement = statement.str();
  _lastTranslation = translated;
  return translated;
}

store::Statement* SessionCore::borrowStatement(const std::string& sql, CachedStatement*& cached,
                                               std::unique_ptr<store::Statement>& owned) {
  cached = nullptr;
  if (_lastBorrowed != nullptr && !_lastBorrowed->inUse && sql == _lastBorrowedSql) {
    _lastBorrowed->inUse = true;
    cached = _lastBorrowed;
    return _lastBorrowed->statement.get();
  }
  const auto found = _statements.find(sql);
  if (found != _statements.end() && !found->second.inUse) {
    found->second.inUse = true;
    cached = &found->second;
    _lastBorrowed = cached;
    _lastBorrowedSql = sql;
    return found->second.statement.get();
  }
  std::unique_ptr<store::Statement> statement = connection->prepare(sql);
  if (found != _statements.end() || !worthCaching(sql)) {
    // The cached one is busy with another result set (running it again
    // would close that result set's cursor), or the text is not worth
    // keeping: this run gets its own.
    owned = std::move(statement);
    return owned.get();
  }
  if (_statements.size() >= kMaxStatements) {
    // Entries in use stay, so the result sets holding them keep valid ones.
    _lastBorrowed = nullptr;
    for (auto it = _statements.begin(); it != _statements.end();) {
      it = it->second.inUse ? std::next(it) : _statements.erase(it);
    }
  }
  CachedStatement& entry = _statements[sql];
  entry.statement = std::move(statement);
  entry.inUse = true;
  cached = &entry;
  _lastBorrowed = cached;
  _lastBorrowedSql = sql;
  return entry.statement.get();
}

// ------------------------------------------------ EnginePrepareStatement ---

EnginePrepareStatement::EnginePrepareStatement(StoreKind store, ModUnicodeString databaseName,
                                               ModUnicodeString statement)
    : _store(store),
      _databaseName(std::move(databaseName)),
      _statement(std::move(statement)),
      _translation(translate(_statement.str(), store)) {}

// ------------------------------------------------------- EngineResultSet ---

EngineResultSet::EngineResultSet(std::shared_ptr<SessionCore> core,
                                 std::shared_ptr<const Translation> translation,
                                 std::vector<store::Value> parameters)
    : _core(std::move(core)),
      _translation(std::move(translation)),
      _parameters(std::move(parameters)) {}

void* EngineResultSet::operator new(std::size_t size) {
  // The class is final, so every allocation has this one size.
  if (void* memory = SpareResultSetMemory::take().release()) return memory;
  return ::operator new(size);
}

void EngineResultSet::operator delete(void* memory) noexcept {
  std::unique_ptr<void, FreeMemory> block(memory);
  SpareResultSetMemory::keep(std::move(block));
}

EngineResultSet::~EngineResultSet() {
  close();
  keepParameterList(std::move(_parameters));
}

EngineResultSet::StoreCall::StoreCall(EngineResultSet& resultSet) : _resultSet(resultSet) {
  _resultSet._running.store(true);
  if (_resultSet._cancelRequested.load()) {
    _resultSet._running.store(false);
    _resultSet.throwCancelled();
  }
}

EngineResultSet::StoreCall::~StoreCall() {
  // Leaving needs no full barrier (see _running).
  _resultSet._running.store(false, std::memory_order_release);
}

void EngineResultSet::throwCancelled() const {
  throw Corvid::Exception::Cancelled("57014", 0, ModUnicodeString(u"the statement was cancelled"));
}

Corvid::Client::ResultSet::Status EngineResultSet::getNextTuple(
    Corvid::Common::DataArrayData*& tuple) {
  tuple = nullptr;
  try {
    switch (_state) {
      case State::Done:
        return Success;
      case State::Ended:
        _state = State::Done;
        return Success;
      case State::Pending:
        if (start() == Success) return Success;
        return fetch(tuple);
      case State::Fetching:
        return fetch(tuple);
    }
  } catch (...) {
    abandon();
  }
  return Success;
}

void EngineResultSet::abandon() {
  finish();
  _state = State::Done;
  try {
    throw;
  } catch (const store::Error& error) {
    throwStoreError(error, _core->databaseName);
  }
}

std::vector<ModUnicodeString> EngineResultSet::getColumnNames() {
  if (_state == State::Pending) {
    try {
      start();
    } catch (...) {
      abandon();
    }
  }
  return _columnNames;
}

Corvid::Client::ResultSet::Status EngineResultSet::start() {
  if (_core->closed) {
    throwEngineError(kStateNotOpen, "the session of this result set is closed");
  }
  store::Connection& connection = *_core->connection;
  switch (_translation->kind) {
    case Translation::Kind::Begin: {
      StoreCall call(*this);
      connection.begin(_translation->level, _translation->readOnly);
      if (_translation->snapshot) {
        // Both stores take a transaction's snapshot at its first read; read
        // now so that the snapshot is the state at START TRANSACTION.
        connection.query(_core->store == StoreKind::Sqlite ? "SELECT count(*) FROM sqlite_schema"
                                                           : "SELECT 1");
      }
      _state = State::Done;
      return Success;
    }
    case Translation::Kind::Commit: {
      StoreCall call(*this);
      connection.commit();
      _state = State::Done;
      return Success;
    }
    case Translation::Kind::Rollback: {
      StoreCall call(*this);
      connection.rollback();
      _state = State::Done;
      return Success;
    }
    case Translation::Kind::CreateFullTextIndex:
      runFullTextIndex();
      _state = State::Done;
      return Success;
    case Translation::Kind::Statement:
      break;
  }

  std::vector<store::Value> builtParameters;
  std::span<const store::Value> storeParameters(_parameters);
  _sql = &_translation->staticSql;
  if (!_translation->isStatic) {
    bindTranslation(*_translation, _core->store, _parameters, _builtSql, builtParameters);
    _sql = &_builtSql;
    storeParameters = builtParameters;
  }
  {
    StoreCall call(*this);
    if (_translation->singleStatement) {
      store::Statement* statement =
          _core->borrowStatement(*_sql, _cachedStatement, _ownedStatement);
      _borrowed = true;
      if (statement->returnsNoColumns()) {
        // Nothing to fetch: run it without the cost of a cursor.
        statement->execute(storeParameters);
      } else {
        _cursor = statement->query(storeParameters);
      }
    } else {
      _cursor = connection.query(*_sql, storeParameters);
    }
  }
  if (!_cursor || _cursor->columns().empty()) {
    finish();
    _state = State::Done;
    return Success;
  }
  const std::vector<store::Column>& columns = _cursor->columns();
  _columnNames.clear();
  _columnNames.reserve(columns.size());
  for (const store::Column& column : columns) _columnNames.emplace_back(column.name);
  _sectionColumn.assign(columns.size(), false);
  for (const Translation::SectionColumn& section : _translation->sectionColumns) {
    if (section.fromEnd ? section.position == 0 || section.position > columns.size()
                        : section.position >= columns.size()) {
      continue;
    }
    _sectionColumn[section.fromEnd ? columns.size() - section.position : section.position] = true;
  }
  _state = State::Fetching;
  return Data;
}

void EngineResultSet::runFullTextIndex() {
  store::Connection& connection = *_core->connection;
  StoreCall call(*this);
  const bool ownTransaction = !connection.inTransaction();
  if (ownTransaction) connection.begin();
  try {
    for (const std::string& statement : _translation->ddl) connection.execute(statement);
    if (ownTransaction) connection.commit();
  } catch (...) {
    if (ownTransaction) {
      try {
        connection.rollback();
      } catch (const store::Error&) {
        // The first failure is the one worth reporting.
      }
    }
    throw;
  }
}

Corvid::Client::ResultSet::Status EngineResultSet::fetch(Corvid::Common::DataArrayData*& tuple) {
  bool more = false;
  {
    StoreCall call(*this);
    more = _cursor->next();
  }
  if (!more) {
    finish();
    _state = State::Ended;
    return EndOfData;
  }
  const std::vector<store::Value>& row = _cursor->row();
  std::unique_ptr<Corvid::Common::DataArrayData> result = takeTuple();
  if (result->getCount() != row.size()) {
    // A tuple of another statement's shape: start from empty slots.
    result->clear();
    result->reserve(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) result->pushBack(nullptr);
  }
  for (std::size_t i = 0; i < row.size(); ++i) {
    Corvid::Common::ObjectPointer<Corvid::Common::Data>& slot = result->getElement(i);
    if (_sectionColumn[i]) {
      slot = new Corvid::Common::UnsignedIntegerArrayData(readSectionNumbers(row[i]));
    } else {
      assignFromStoreValue(slot, row[i]);
    }
  }
  tuple = result.release();
  return Data;
}

void EngineResultSet::finish() noexcept {
  if (_cursor) {
    _cursor->close();
    _cursor.reset();
  }
  if (_borrowed) {
    if (_cachedStatement) SessionCore::giveBack(*_cachedStatement);
    _cachedStatement = nullptr;
    _ownedStatement.reset();
    _borrowed = false;
  }
}

void EngineResultSet::cancel() {
  _cancelRequested.store(true);
  for (int attempt = 0; _running.load() && attempt < kCancelAttempts; ++attempt) {
    _core->connection->cancel();
    std::this_thread::sleep_for(kCancelRetry);
  }
}

void EngineResultSet::close() {
  finish();
  _state = State::Done;
}

// --------------------------------------------------------- EngineSession ---

EngineSession::~EngineSession() {
  close();
}

Corvid::Client::ResultSet* EngineSession::executeStatement(
    const ModUnicodeString& statement, const Corvid::Common::DataArrayData& parameters) {
  if (_core->closed) throwEngineError(kStateNotOpen, "the session is closed");
  return run(_core->translation(statement), parameters);
}

Corvid::Client::ResultSet* EngineSession::executePrepareStatement(
    const Corvid::Client::PrepareStatement* statement,
    const Corvid::Common::DataArrayData& parameters) {
  if (_core->closed) throwEngineError(kStateNotOpen, "the session is closed");
  const auto* prepared = dynamic_cast<const EnginePrepareStatement*>(statement);
  if (!prepared) throwEngineError(kStateGeneral, "no prepared statement of this engine given");
  if (!(prepared->getDatabaseName() == _core->databaseName) || prepared->store() != _core->store) {
    throwEngineError(kStateGeneral, "the statement was prepared for database " +
                                        prepared->getDatabaseName().getString() + ", not " +
                                        _core->databaseName.getString());
  }
  return run(prepared->translation(), parameters);
}

Corvid::Client::ResultSet* EngineSession::run(std::shared_ptr<const Translation> translation,
                                              const Corvid::Common::DataArrayData& parameters) {
  if (parameters.getCount() != translation->parameterCount) {
    throwEngineError("07001", "the statement takes " + std::to_string(translation->parameterCount) +
                                  " parameters, " + std::to_string(parameters.getCount()) +
                                  " given");
  }
  std::vector<store::Value> values = SpareParameterLists::take();
  values.resize(parameters.getCount());
  for (std::size_t i = 0; i < parameters.getCount(); ++i) {
    assignToStoreValue(values[i], parameters.getElement(i));
  }
  return new EngineResultSet(_core, std::move(translation), std::move(values));
}

void EngineSession::close() {
  if (_core->closed) return;
  _core->closed = true;
  // Closing the connection rolls back an open transaction in both stores.
  _core->connection->close();
}

}  // namespace engine

void Corvid::Client::ResultSet::releaseTuple(Corvid::Common::DataArrayData* tuple) {
  if (tuple) engine::keepTuple(tuple);
}
