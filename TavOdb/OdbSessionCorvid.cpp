#include "TavOdb/OdbSessionCorvid.h"

#include <memory>
#include <new>

#include "Corvid/Client.h"
#include "Corvid/Common.h"
#include "Corvid/Exception.h"
#include "Mod/ModCriticalSection.h"
#include "Mod/ModLanguageSet.h"
#include "Mod/ModMessage.h"
#include "Mod/ModUnicodeString.h"
#include "TavCommon.h"
#include "TavOdb/OdbDataSource.h"
#include "TavOdb/OdbPrepareStatement.h"
#include "TavOdb/OdbRowsetCorvid.h"

using Corvid::Common::Data;
using Corvid::Common::DataArrayData;
using Corvid::Common::ObjectPointer;
using Corvid::Common::StringData;
namespace DataType = Corvid::Common::DataType;
namespace EngineException = Corvid::Exception;

// A cached engine session: the client of the engine client cache that this
// backend creates.
class SessionClient_Corvid : public SessionClient {
 public:
  explicit SessionClient_Corvid(Corvid::Client::DataSource* dataSource)
      : pEngineSession(nullptr), opened(0), pEngineDataSource(dataSource) {}
  ~SessionClient_Corvid() override { close(); }

  int32_t isOpen() override { return opened; }
  void open(const char16_t* databaseName) override {
    isStopRequested = 0;
    if (pEngineSession == nullptr) {
      pEngineSession = pEngineDataSource->createSession(ModUnicodeString(databaseName));
    }
    opened = 1;
  }
  void close() override {
    if (pEngineSession != nullptr) {
      pEngineSession->close();
      pEngineSession->release();
      pEngineSession = nullptr;
      opened = 0;
    }
  }

  Corvid::Client::Session* pEngineSession;
  int32_t opened;
  Corvid::Client::DataSource* pEngineDataSource;
};

namespace {

constexpr const char16_t* kDefaultLanguage = u"ja+en";

// Runs a statement that returns no rows: one fetch, the tuple given back,
// the result set closed and released on every path.
void runToCompletion(Corvid::Client::ResultSet* resultSet) {
  struct Releaser {
    Corvid::Client::ResultSet* resultSet;
    ~Releaser() {
      resultSet->close();
      resultSet->release();
    }
  } releaser{resultSet};
  DataArrayData* tuple = nullptr;
  resultSet->getNextTuple(tuple);
  Corvid::Client::ResultSet::releaseTuple(tuple);
}

// Logs and maps the engine exception being handled for execCommand and
// executePrepareStatement. A uniqueness violation is a duplicate key only
// for the staged batch.
TavResult reportExecFailure(bool uniquenessIsDuplicateKey) {
  try {
    throw;
  } catch (const EngineException::DiskFull& exception) {
    ModErrorMessage << "execCommand[" << exception.getDatabaseName() << "]["
                    << exception.getDescription() << "][" << exception.getErrorNumber() << "]"
                    << ModEndl;
    return TAV_E_DISKFULL;
  } catch (const EngineException::Deadlock& exception) {
    ModNormalMessage << "execCommand " << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const EngineException::UniquenessViolation& exception) {
    if (uniquenessIsDuplicateKey) {
      ModNormalMessage << "execCommand " << exception << ModEndl;
      return TAV_E_DUPLICATEKEY;
    }
    ModErrorMessage << "execCommand[" << exception << "]" << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << "execCommand[" << exception << "]" << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (...) {
    ModErrorMessage << "Unexpected exception" << ModEndl;
    return E_UNEXPECTED;
  }
}

// Bounds of the flushed commands a session keeps for reuse.
constexpr size_t kKeptCommands = 128;
constexpr size_t kMaxKeptTextLength = 4096;

// True when every parameter is a number or a short text, which the next
// command overwrites in place.
bool worthKeeping(const DataArrayData& parameters) {
  for (size_t i = 0; i < parameters.getCount(); ++i) {
    const ObjectPointer<Data>& value = parameters.getElement(i);
    if (!value) continue;
    switch (value->getType()) {
      case DataType::Integer:
      case DataType::Double:
        break;
      case DataType::String:
        if (static_cast<const StringData&>(*value).getValue().getLength() > kMaxKeptTextLength) {
          return false;
        }
        break;
      default:
        return false;
    }
  }
  return true;
}

bool isStringRecord(const TavVariant& record) {
  return record.type == TAV_VT_STRING && record.hasValue == 1 &&
         record.value.string.chars != nullptr;
}

}  // namespace

OdbSessionCorvid::OdbSessionCorvid()
    : _commandCount(0),
      _clientInitialized(0),
      _pAttachedRowset(nullptr),
      _rowsetLock(new ModCriticalSection),
      _pCorvidDataSource(nullptr) {
  _poolMode = 0;
}

OdbSessionCorvid::~OdbSessionCorvid() {
  if (_inTransaction != 0) {
    ModDebugMessage << "Implicit AbortTransaction" << ModEndl;
    AbortTransaction();
  }
  clearInfo();
  for (ModUnicodeString* command : _spareCommands) delete command;
  for (DataArrayData* parameters : _spareParamArrays) delete parameters;
  delete _rowsetLock;
}

bool OdbSessionCorvid::checkDataSource() {
  if (OdbDataSource::checkEnable(_pDataSource) == TAV_TRUE) return true;
  ModErrorMessage << "Check OdbDataSource failed." << ModEndl;
  return false;
}

TavResult OdbSessionCorvid::reportEngineFailure(const char* operation) {
  try {
    throw;
  } catch (const EngineException::Deadlock& exception) {
    ModNormalMessage << operation << " " << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << operation << "[" << exception << "]" << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (...) {
    ModErrorMessage << operation << "[unexpected exception]" << ModEndl;
    return E_UNEXPECTED;
  }
}

TavResult OdbSessionCorvid::Initialize(OdbDataSource* dataSource, OdbPoolMode mode) {
  if (OdbDataSource::checkEnable(dataSource) != TAV_TRUE) {
    ModErrorMessage << "Check OdbDataSource failed." << ModEndl;
    return TAV_E_DATASOURCEDISABLED;
  }
  _pDataSource = dataSource;
  _isFTS = dataSource->IsFTS();
  _pCorvidDataSource = OdbDataSource::getCorvidDataSource();
  _poolMode = mode;
  return S_OK;
}

TavResult OdbSessionCorvid::Init_Client() {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  if (_clientInitialized == 1) return S_OK;
  try {
    const TavResult rc = GetSessionClient(_pDataSource->pszDataSource, _pDataSource->pszCatalog);
    // Only a client actually obtained counts: a failed attempt is retried by
    // the next operation instead of leaving the session without an engine.
    if (rc == S_OK) _clientInitialized = 1;
    return rc;
  } catch (...) {
    return reportEngineFailure("Initialize");
  }
}

Corvid::Client::Session* OdbSessionCorvid::GetClient() {
  if (_pSessionClient == nullptr || _pSessionClient->isStopRequested == 1) return nullptr;
  return static_cast<SessionClient_Corvid*>(_pSessionClient)->pEngineSession;
}

SessionClient* OdbSessionCorvid::CreateSessionClient() {
  // Without InitializeCorvid there is no engine to open sessions on.
  if (_pCorvidDataSource == nullptr) return nullptr;
  return new (std::nothrow) SessionClient_Corvid(_pCorvidDataSource);
}

TavResult OdbSessionCorvid::CreateRowset(OdbRowset** rowset) {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  *rowset = new (std::nothrow) OdbRowsetCorvid;
  return S_OK;
}

TavResult OdbSessionCorvid::PutCommand(const char16_t* command, int paramCount,
                                       const TavVariant* params) {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  if (command == nullptr) return E_INVALIDARG;
  try {
    std::unique_ptr<ModUnicodeString> text;
    std::unique_ptr<DataArrayData> parameters;
    if (!_spareCommands.empty()) {
      text.reset(_spareCommands.back());
      parameters.reset(_spareParamArrays.back());
      _spareCommands.pop_back();
      _spareParamArrays.pop_back();
      text->assign(command, TavStrlen(command));
    } else {
      text = std::make_unique<ModUnicodeString>(command);
      parameters = std::make_unique<DataArrayData>();
    }
    const TavResult rc = convertQueryParams(paramCount, params, *parameters);
    if (rc != S_OK) {
      // Nothing is staged, so the command texts and parameter arrays stay in
      // pairs and the rest of the batch can still be flushed.
      ModErrorMessage << "putCommand:[" << command << "][" << paramCount << "]" << ModEndl;
      return rc;
    }
    _commands.reserve(_commands.size() + 1);
    _paramArrays.reserve(_paramArrays.size() + 1);
    _commands.push_back(text.release());
    _paramArrays.push_back(parameters.release());
    ++_commandCount;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

TavResult OdbSessionCorvid::FlushCommand() {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  if (_commandCount == 0) return S_OK;
  const TavResult rc = execCommand();
  if (rc != S_OK) {
    if (rc != TAV_E_DEADLOCK) ModErrorMessage << "Fail to execute command" << ModEndl;
    if (clearInfo() != S_OK) ModErrorMessage << "Fail to clear info buffer" << ModEndl;
    return rc;
  }
  const TavResult cleared = clearInfo();
  if (cleared != S_OK) {
    ModErrorMessage << "Fail to clear info." << ModEndl;
    return cleared;
  }
  return S_OK;
}

TavResult OdbSessionCorvid::execCommand() {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  if (_commandCount == 0) return TAV_E_SQL_ERROR;
  for (int32_t i = 0; i < _commandCount; ++i) {
    if (_clientInitialized == 0) {
      const TavResult rc = Init_Client();
      if (rc != S_OK) return rc;
    }
    Corvid::Client::Session* engineSession = GetClient();
    if (engineSession == nullptr) {
      ModErrorMessage << "Get ClientSession failed." << ModEndl;
      return TAV_E_DATASOURCEDISABLED;
    }
    try {
      runToCompletion(engineSession->executeStatement(*_commands[i], *_paramArrays[i]));
    } catch (...) {
      return reportExecFailure(true);
    }
  }
  return S_OK;
}

// Flushed commands are kept for PutCommand to refill, up to a bound and
// without large texts, so that a loop of PutCommand and FlushCommand
// allocates nothing once warm and an idle session holds little.
TavResult OdbSessionCorvid::clearInfo() {
  for (size_t i = 0; i < _commands.size(); ++i) {
    std::unique_ptr<ModUnicodeString> command(_commands[i]);
    std::unique_ptr<DataArrayData> parameters(_paramArrays[i]);
    if (_spareCommands.size() >= kKeptCommands || command->getLength() > kMaxKeptTextLength ||
        !worthKeeping(*parameters)) {
      continue;
    }
    try {
      _spareCommands.reserve(kKeptCommands);
      _spareParamArrays.reserve(kKeptCommands);
    } catch (const std::bad_alloc&) {
      continue;
    }
    _spareCommands.push_back(command.release());
    _spareParamArrays.push_back(parameters.release());
  }
  _commands.clear();
  _paramArrays.clear();
  _commandCount = 0;
  return S_OK;
}

TavResult OdbSessionCorvid::CancelCommand() {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  {
    ModAutoCriticalSection guard(*_rowsetLock);
    if (_pAttachedRowset != nullptr) _pAttachedRowset->Cancel();
  }
  const TavResult rc = clearInfo();
  if (rc != S_OK) {
    ModErrorMessage << "Fail to clear info buffer" << ModEndl;
    return rc;
  }
  return S_OK;
}

void OdbSessionCorvid::AttachRowset(OdbRowsetCorvid* rowset) {
  ModAutoCriticalSection guard(*_rowsetLock);
  _pAttachedRowset = rowset;
}

// Detaching takes the lock too: a rowset on its way out must not be
// cancelled by another thread after it is gone.
void OdbSessionCorvid::DetachRowset() {
  ModAutoCriticalSection guard(*_rowsetLock);
  _pAttachedRowset = nullptr;
}

TavResult OdbSessionCorvid::BeginTransaction(OdbTransactMode mode, OdbIsolationLevel level) {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  try {
    TavResult rc = FlushCommand();
    if (rc != S_OK) return rc;
    if (_clientInitialized == 0) {
      rc = Init_Client();
      if (rc != S_OK) return rc;
    }
    TavCharStream text;
    text << "START TRANSACTION";
    switch (mode) {
      case ODB_TRANSACT_READ_WRITE:
        text << " READ WRITE";
        break;
      case ODB_TRANSACT_READ_ONLY:
        text << " READ ONLY";
        break;
      case ODB_TRANSACT_READ_ONLY_SNAPSHOT:
        text << " READ ONLY , USING SNAPSHOT";
        break;
      default:
        break;
    }
    switch (level) {
      case ODB_ISOLATION_READ_UNCOMMITTED:
        text << " , ISOLATION LEVEL READ UNCOMMITTED";
        break;
      case ODB_ISOLATION_READ_COMMITTED:
        text << " , ISOLATION LEVEL READ COMMITTED";
        break;
      case ODB_ISOLATION_REPEATABLE_READ:
        text << " , ISOLATION LEVEL REPEATABLE READ";
        break;
      case ODB_ISOLATION_SERIALIZABLE:
        text << " , ISOLATION LEVEL SERIALIZABLE";
        break;
      default:
        break;
    }
    rc = PutCommand(text.getString(), 0, nullptr);
    if (rc == S_OK) rc = FlushCommand();
    if (rc == S_OK) _inTransaction = 1;
    return rc;
  } catch (...) {
    return reportEngineFailure("BeginTransaction");
  }
}

TavResult OdbSessionCorvid::CommitTransaction() {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  if (_commandCount > 0) {
    ModErrorMessage << "Command remained." << ModEndl;
    return TAV_E_ILLEGALOPERATION;
  }
  return endTransaction(u"COMMIT", "CommitTransaction");
}

TavResult OdbSessionCorvid::AbortTransaction() {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  const TavResult cleared = clearInfo();
  if (cleared != S_OK) {
    ModErrorMessage << "Fail to clear information buffer." << ModEndl;
    return cleared;
  }
  return endTransaction(u"ROLLBACK", "AbortTransaction");
}

TavResult OdbSessionCorvid::endTransaction(const char16_t* statement, const char* operation) {
  try {
    TavResult rc = _clientInitialized == 0 ? Init_Client() : S_OK;
    if (rc == S_OK) rc = PutCommand(statement, 0, nullptr);
    if (rc == S_OK) rc = FlushCommand();
    if (rc == S_OK) _inTransaction = 0;
    return rc;
  } catch (...) {
    return reportEngineFailure(operation);
  }
}

TavResult OdbSessionCorvid::ReadText(const char16_t*, const char16_t*, const char16_t*, int, int,
                                     TavBuffer*) {
  return TAV_E_NOTSUPPORTED;
}

TavResult OdbSessionCorvid::UpdateText(const char16_t*, const char16_t*, const char16_t*, int, int,
                                       TavBuffer, OdbUpdateMode) {
  return TAV_E_NOTSUPPORTED;
}

TavResult OdbSessionCorvid::UpdateFullText(const char16_t* table, const char16_t* column,
                                           const char16_t* condition, int count,
                                           const TavVariant* values, const TavVariant* languages,
                                           OdbUpdateMode) {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  // Language records are read as strings; anything else would be read as a
  // pointer it is not, so it is refused up front.
  for (int i = 0; languages != nullptr && i < count; ++i) {
    if (!isStringRecord(languages[i])) {
      error(__FILE_NAME__, __LINE__, E_INVALIDARG);
      return E_INVALIDARG;
    }
  }
  try {
    TavCharStream statement;
    statement << "update " << table << " set " << column << " = ? , ContentTextLanguage = ? where "
              << condition;

    ObjectPointer<DataArrayData> parameters(new DataArrayData);
    ObjectPointer<DataArrayData> valueArray(new DataArrayData);
    ObjectPointer<DataArrayData> languageArray(new DataArrayData);
    for (int i = 0; i < count; ++i) {
      ObjectPointer<Data> value;
      TavVariantToData(&values[i], value);
      valueArray->setElement(i, value);
      const char16_t* language =
          languages != nullptr ? languages[i].value.string.chars : kDefaultLanguage;
      languageArray->setElement(i, ObjectPointer<Data>(new Corvid::Common::LanguageData(
                                       ModLanguageSet(ModUnicodeString(language)))));
    }
    parameters->setElement(0, valueArray);
    parameters->setElement(1, languageArray);

    if (_clientInitialized == 0) {
      const TavResult rc = Init_Client();
      if (rc != S_OK) return rc;
    }
    Corvid::Client::Session* engineSession = GetClient();
    if (engineSession == nullptr) {
      ModErrorMessage << "Get ClientSession failed." << ModEndl;
      return TAV_E_DATASOURCEDISABLED;
    }
    runToCompletion(
        engineSession->executeStatement(ModUnicodeString(statement.getString()), *parameters));
    return S_OK;
  } catch (const EngineException::Deadlock& exception) {
    ModNormalMessage << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << exception << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (...) {
    ModErrorMessage << "UpdateText:exception" << ModEndl;
    return TAV_E_SQL_ERROR;
  }
}

TavBoolean OdbSessionCorvid::IsSupportedLanguage(const char16_t* language) {
  try {
    Corvid::Common::LanguageData data{ModLanguageSet(ModUnicodeString(language))};
    return data.getType() == DataType::Language ? TAV_TRUE : TAV_FALSE;
  } catch (...) {
    return TAV_FALSE;
  }
}

TavResult OdbSessionCorvid::CreatePrepareStatement(OdbPrepareStatement** statement,
                                                   const char16_t* statementText) {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  if (_pCorvidDataSource == nullptr) {
    error(__FILE_NAME__, __LINE__, TAV_E_SQL_ERROR);
    return TAV_E_SQL_ERROR;
  }
  try {
    *statement = new (std::nothrow)
        OdbPrepareStatement(_pCorvidDataSource, _pDataSource->pszCatalog, statementText);
    return S_OK;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << "execCommand[" << exception << "]" << ModEndl;
    return TAV_E_SQL_ERROR;
  }
}

void OdbSessionCorvid::ReleasePrepareStatement(OdbPrepareStatement** statement) {
  if (statement != nullptr && *statement != nullptr) delete *statement;
}

TavResult OdbSessionCorvid::executePrepareStatement(OdbPrepareStatement* statement, int paramCount,
                                                    const TavVariant* params) {
  if (!checkDataSource()) return TAV_E_DATASOURCEDISABLED;
  if (statement == nullptr) return E_INVALIDARG;
  try {
    DataArrayData parameters;
    const TavResult rc = convertQueryParams(paramCount, params, parameters);
    if (rc != S_OK) {
      ModErrorMessage << "executePrepareStatement" << ModEndl;
      return rc;
    }
    Corvid::Client::Session* engineSession = GetClient();
    if (engineSession == nullptr) {
      ModErrorMessage << "Get ClientSession failed." << ModEndl;
      return TAV_E_DATASOURCEDISABLED;
    }
    runToCompletion(
        engineSession->executePrepareStatement(statement->GetPrepareStatement(), parameters));
    return S_OK;
  } catch (...) {
    return reportExecFailure(false);
  }
}

// ---- conversion between TavVariant records and engine values ----

TavResult OdbSessionCorvid::TavVariantToData(const TavVariant* source,
                                             ObjectPointer<Data>& target) {
  if (source == nullptr) return E_INVALIDARG;
  if (source->hasValue == 0) {
    target = Corvid::Common::NullData::getInstance();
    return S_OK;
  }
  if (source->hasValue != 1) return E_INVALIDARG;
  if (target && !target->isShared()) {
    const DataType::Type held = target->getType();
    switch (source->type) {
      case TAV_VT_INT:
      case TAV_VT_INT_ALT:
        if (held != DataType::Integer) break;
        static_cast<Corvid::Common::IntegerData&>(*target).setValue(source->value.intValue);
        return S_OK;
      case TAV_VT_DOUBLE:
        if (held != DataType::Double) break;
        static_cast<Corvid::Common::DoubleData&>(*target).setValue(source->value.doubleValue);
        return S_OK;
      case TAV_VT_STRING: {
        if (held != DataType::String) break;
        const char16_t* chars = source->value.string.chars;
        static_cast<StringData&>(*target).assignValue(chars != nullptr ? chars : u"",
                                                      TavStrlen(chars));
        return S_OK;
      }
      default:
        break;
    }
  }
  switch (source->type) {
    case TAV_VT_BINARY:
      target = new Corvid::Common::BinaryData(source->value.binary.data, source->value.binary.size,
                                              true, 0);
      return S_OK;
    case TAV_VT_INT:
    case TAV_VT_INT_ALT:
      target = new Corvid::Common::IntegerData(source->value.intValue);
      return S_OK;
    case TAV_VT_DATETIME: {
      const TavDateTime& when = source->value.dateTime;
      target = new Corvid::Common::DateTimeData(when.year, when.month, when.day, when.hour,
                                                when.minute, when.second, when.millisecond, 3);
      return S_OK;
    }
    case TAV_VT_DOUBLE:
      target = new Corvid::Common::DoubleData(source->value.doubleValue);
      return S_OK;
    case TAV_VT_GUID: {
      char16_t* text = nullptr;
      const TavResult rc = TavGuidToString(&text, source->value.guidValue);
      if (rc != S_OK) return rc;
      std::unique_ptr<char16_t, void (*)(char16_t*)> owned(
          text, [](char16_t* memory) { TavFreeMemory(memory); });
      target = new Corvid::Common::StringData(static_cast<const char16_t*>(text));
      return S_OK;
    }
    case TAV_VT_STRING:
      target =
          new Corvid::Common::StringData(static_cast<const char16_t*>(source->value.string.chars));
      return S_OK;
    case TAV_VT_ARRAY: {
      const TavVariantArray* elements = source->value.array;
      if (elements == nullptr) return S_OK;
      ObjectPointer<DataArrayData> array(new DataArrayData);
      array->reserve(elements->count > 0 ? static_cast<size_t>(elements->count) : 0);
      for (int32_t i = 0; i < elements->count; ++i) {
        ObjectPointer<Data> element;
        const TavResult rc = TavVariantToData(&elements->elements[i], element);
        if (rc != S_OK) return rc;
        array->setElement(static_cast<size_t>(i), element);
      }
      target = array;
      return S_OK;
    }
    default:
      return E_INVALIDARG;
  }
}

TavResult OdbSessionCorvid::convertQueryParams(int count, const TavVariant* params,
                                               DataArrayData& target) {
  const size_t size = count > 0 ? static_cast<size_t>(count) : 0;
  // Elements already there are refilled; a longer array starts afresh. An
  // array that starts empty holds the values converted before a failing one.
  if (target.getCount() > size) target.clear();
  target.reserve(size);
  try {
    for (size_t i = 0; i < size; ++i) {
      TavResult rc = S_OK;
      if (i < target.getCount()) {
        rc = TavVariantToData(&params[i], target.getElement(i));
      } else {
        ObjectPointer<Data> value;
        rc = TavVariantToData(&params[i], value);
        if (rc == S_OK) target.pushBack(std::move(value));
      }
      if (rc != S_OK) {
        ModErrorMessage << "putCommand: param conversion failed pvarParam_[" << i << "]."
                        << ModEndl;
        return E_INVALIDARG;
      }
    }
    return S_OK;
  } catch (const EngineException::Object&) {
    return E_INVALIDARG;
  }
}

namespace {

// Logs and maps the exception being handled by a conversion to a record.
TavResult reportConversionFailure() {
  try {
    throw;
  } catch (const EngineException::Deadlock& exception) {
    ModNormalMessage << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << exception << ModEndl;
    return E_INVALIDARG;
  } catch (...) {
    ModErrorMessage << "Unexpected exception" << ModEndl;
    return E_UNEXPECTED;
  }
}

// Casts source to `type` and lets fill write the record from the value of
// class Value; the record has a value when fill succeeds. A value without
// such a form is logged as "Couldn't cast data to <typeName>." and refused.
template <class Value, class Fill>
TavResult readAs(const ObjectPointer<Data>& source, DataType::Type type, const char* typeName,
                 TavVariant* target, Fill fill) {
  // A value already of that class is read as it is: casting would take a
  // reference to it for nothing.
  const Data* value = source.get();
  ObjectPointer<Data> cast;
  if (value->getType() != type) {
    cast = source->cast(type, false);
    if (!cast || cast->getType() != type) {
      ModErrorMessage << "DataToTavVariant: Couldn't cast data to " << typeName << "." << ModEndl;
      return E_INVALIDARG;
    }
    value = cast.get();
  }
  const TavResult rc = fill(static_cast<const Value&>(*value));
  if (rc == S_OK) target->hasValue = 1;
  return rc;
}

}  // namespace

TavResult OdbSessionCorvid::DataToTavVariant(const ObjectPointer<Data>& source,
                                             TavVariant* target) {
  if (target == nullptr) {
    ModErrorMessage << "DataToTavVariant: no dest." << ModEndl;
    return E_INVALIDARG;
  }
  try {
    if (!source || source->getType() == DataType::Null) {
      target->hasValue = 0;
      return S_OK;
    }
    if (source->getType() == DataType::Array) {
      TavVariantArray* array = nullptr;
      const TavResult rc = DataToTavVariant(source, &array, target->type);
      if (rc != S_OK) return rc;
      target->type = TAV_VT_ARRAY;
      target->hasValue = 1;
      target->value.array = array;
      return S_OK;
    }
    using namespace Corvid::Common;
    switch (target->type) {
      case TAV_VT_BINARY:
        return readAs<BinaryData>(
            source, DataType::Binary, "Binary", target, [&](const BinaryData& binary) {
              TavVariant bytes{};
              bytes.type = TAV_VT_BINARY;
              bytes.hasValue = 1;
              bytes.value.binary.size = static_cast<uint32_t>(binary.getSize());
              bytes.value.binary.data = const_cast<void*>(binary.getValue());
              TavCopyVariant(target, &bytes);
              return S_OK;
            });
      case TAV_VT_INT:
      case TAV_VT_INT_ALT:
        return readAs<IntegerData>(source, DataType::Integer, "Integer", target,
                                   [&](const IntegerData& number) {
                                     target->value.intValue = number.getValue();
                                     return S_OK;
                                   });
      case TAV_VT_DATETIME:
        return readAs<DateTimeData>(source, DataType::DateTime, "DateTime", target,
                                    [&](const DateTimeData& when) {
                                      TavDateTime& out = target->value.dateTime;
                                      out.year = static_cast<int16_t>(when.getYear());
                                      out.month = static_cast<int8_t>(when.getMonth());
                                      out.day = static_cast<int8_t>(when.getDate());
                                      out.hour = static_cast<int8_t>(when.getHour());
                                      out.minute = static_cast<int8_t>(when.getMinute());
                                      out.second = static_cast<int8_t>(when.getSecond());
                                      out.millisecond = static_cast<int16_t>(when.getMillisecond());
                                      return S_OK;
                                    });
      case TAV_VT_DOUBLE:
        return readAs<DoubleData>(source, DataType::Double, "Double", target,
                                  [&](const DoubleData& number) {
                                    target->value.doubleValue = number.getValue();
                                    return S_OK;
                                  });
      case TAV_VT_GUID:
        return readAs<StringData>(
            source, DataType::String, "String", target, [&](const StringData& text) {
              return TavStringToGuid(&target->value.guidValue, text.getValue().c_str());
            });
      case TAV_VT_STRING:
        return readAs<StringData>(
            source, DataType::String, "String", target, [&](const StringData& text) {
              char16_t* copy = nullptr;
              if (TavCopyString(&copy, text.getValue().c_str()) != S_OK) {
                ModErrorMessage << "DataToTavVariant: Couldn't convert to Unicode." << ModEndl;
              }
              target->value.string.chars = copy;
              target->value.string.length = static_cast<uint32_t>(TavStrlen(copy));
              return S_OK;
            });
      default:
        ModErrorMessage << "DataToTavVariant: Invalid dest type." << ModEndl;
        return E_INVALIDARG;
    }
  } catch (...) {
    return reportConversionFailure();
  }
}

TavResult OdbSessionCorvid::DataToTavVariant(const ObjectPointer<Data>& source,
                                             TavVariantArray** target, TavVariantType elementType) {
  if (target == nullptr) {
    ModErrorMessage << "DataToTavVariant: null pointer for dest." << ModEndl;
    return E_INVALIDARG;
  }
  try {
    if (!source || source->getType() != DataType::Array) {
      ModErrorMessage << "DataToTavVariant: attempt to convert into array from non-array data."
                      << ModEndl;
      return E_INVALIDARG;
    }
    if (source->getElementType() != DataType::Data) return TAV_E_NOTSUPPORTED;
    const auto* elements = dynamic_cast<const DataArrayData*>(source.get());
    if (elements == nullptr) {
      ModErrorMessage << "DataToTavVariant: Cast to DataArrayData failed." << ModEndl;
      return E_UNEXPECTED;
    }
    TavVariantArray* array = nullptr;
    if (TavAllocateVariants(&array, static_cast<int32_t>(elements->getCount())) != S_OK) {
      return E_OUTOFMEMORY;
    }
    for (int32_t i = 0; i < array->count; ++i) {
      array->elements[i].type = elementType;
      const TavResult rc =
          DataToTavVariant(elements->getElement(static_cast<size_t>(i)), &array->elements[i]);
      if (rc != S_OK) {
        TavFreeVariants(array);
        return rc;
      }
    }
    *target = array;
    return S_OK;
  } catch (...) {
    return reportConversionFailure();
  }
}
