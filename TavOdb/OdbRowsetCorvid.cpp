#include "TavOdb/OdbRowsetCorvid.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "Corvid/Client.h"
#include "Corvid/Common.h"
#include "Corvid/Exception.h"
#include "Mod/ModMessage.h"
#include "TavCommon.h"
#include "TavOdb/OdbPrepareStatement.h"
#include "TavOdb/OdbSessionCorvid.h"

using Corvid::Client::ResultSet;
using Corvid::Common::Data;
using Corvid::Common::DataArrayData;
using Corvid::Common::ObjectPointer;
namespace DataType = Corvid::Common::DataType;
namespace EngineException = Corvid::Exception;

namespace {

// Gives a delivered tuple back on every path.
struct TupleReleaser {
  void operator()(DataArrayData* tuple) const { ResultSet::releaseTuple(tuple); }
};
using HeldTuple = std::unique_ptr<DataArrayData, TupleReleaser>;

HeldTuple fetch(ResultSet* resultSet, ResultSet::Status* status) {
  DataArrayData* tuple = nullptr;
  *status = resultSet->getNextTuple(tuple);
  return HeldTuple(tuple);
}

OdbSessionCorvid* engineSessionOf(OdbSession* session) {
  return dynamic_cast<OdbSessionCorvid*>(session);
}

}  // namespace

OdbRowsetCorvid::OdbRowsetCorvid()
    : _pResultSet(nullptr), _rowState(0), _sectionCount(0), _pSections(nullptr) {}

OdbRowsetCorvid::~OdbRowsetCorvid() {
  if (_pSections != nullptr) {
    _sectionCount = 0;
    delete[] _pSections;
  }
  if (_pResultSet != nullptr) {
    if (_rowState == 1) GetFullRow();
    static_cast<OdbSessionCorvid*>(_pSession)->DetachRowset();
    _pResultSet->close();
    _pResultSet->release();
  }
}

void OdbRowsetCorvid::startRowset(OdbSession* session, int fetchRows, int columnCount,
                                  TavVariant* columns) {
  _pSession = session;
  _nFetchRows = fetchRows;
  _nParams = 0;
  _pParams = nullptr;
  takeColumns(columnCount, columns);
}

void OdbRowsetCorvid::takeColumns(int columnCount, TavVariant* columns) {
  _presetTypes.clear();
  _stringBuffers.assign(static_cast<size_t>(columnCount), StringBuffer());
  _nColumns = columnCount;
  _pColumns = columns;
  // The records' pointers are the caller's until the first row: forget them
  // so that the first row frees nothing the caller owns.
  for (int i = 0; i < columnCount; ++i) {
    columns[i].hasValue = 0;
    if (columns[i].type == TAV_VT_BINARY) {
      columns[i].value.binary.data = nullptr;
      columns[i].value.binary.size = 0;
    } else if (columns[i].type == TAV_VT_STRING) {
      columns[i].value.string.chars = nullptr;
      columns[i].value.string.length = 0;
    }
  }
}

TavResult OdbRowsetCorvid::Initialize(OdbSession* session, const char16_t* command, int fetchRows,
                                      int paramCount, const TavVariant* params, int columnCount,
                                      TavVariant* columns) {
  OdbSessionCorvid* engineSession = engineSessionOf(session);
  if (engineSession == nullptr || command == nullptr || _pResultSet != nullptr ||
      (columnCount > 0 && columns == nullptr)) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  startRowset(session, fetchRows, columnCount, columns);
  if (TavCopyString(&_pCommandText, command) != S_OK) {
    error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }
  try {
    // A parameter that cannot be converted is logged by the conversion; the
    // statement runs with the values converted before it, so that the
    // store reports the missing parameter in its own words.
    DataArrayData parameters;
    OdbSessionCorvid::convertQueryParams(paramCount, params, parameters);
    const TavResult rc = engineSession->Init_Client();
    if (rc != S_OK) return rc;
    Corvid::Client::Session* client = engineSession->GetClient();
    if (client == nullptr) {
      ModErrorMessage << "Get ClientSession failed." << ModEndl;
      return TAV_E_DATASOURCEDISABLED;
    }
    _pResultSet = client->executeStatement(ModUnicodeString(command), parameters);
    return S_OK;
  } catch (const EngineException::Deadlock& exception) {
    ModNormalMessage << "Initialize " << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << "Initialize[" << exception << "]" << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (...) {
    ModErrorMessage << "Initialize[unexpected exception]" << ModEndl;
    return E_UNEXPECTED;
  }
}

TavResult OdbRowsetCorvid::Initialize(OdbSession* session, OdbPrepareStatement* statement,
                                      int fetchRows, int paramCount, const TavVariant* params,
                                      int columnCount, TavVariant* columns) {
  OdbSessionCorvid* engineSession = engineSessionOf(session);
  if (engineSession == nullptr || statement == nullptr || _pResultSet != nullptr ||
      (columnCount > 0 && columns == nullptr)) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  startRowset(session, fetchRows, columnCount, columns);
  try {
    TavResult rc = engineSession->Init_Client();
    if (rc != S_OK) return rc;
    DataArrayData parameters;
    rc = OdbSessionCorvid::convertQueryParams(paramCount, params, parameters);
    if (rc != S_OK) {
      ModErrorMessage << "Can't convert to corvid parameters." << ModEndl;
      return rc;
    }
    Corvid::Client::Session* client = engineSession->GetClient();
    if (client == nullptr) {
      ModErrorMessage << "Get ClientSession failed." << ModEndl;
      return TAV_E_DATASOURCEDISABLED;
    }
    _pResultSet = client->executePrepareStatement(statement->GetPrepareStatement(), parameters);
    return S_OK;
  } catch (const EngineException::Deadlock& exception) {
    ModErrorMessage << "Deadlock occured : " << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (...) {
    ModErrorMessage << "Can't initialize rowset corvid." << ModEndl;
    return E_UNEXPECTED;
  }
}

TavResult OdbRowsetCorvid::GetNextRow(int mode) {
  if (_pResultSet == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  int step = 0;
  try {
    ResultSet::Status status;
    HeldTuple tuple = fetch(_pResultSet, &status);
    if (status == ResultSet::Success) {
      _rowState = 0;
      return TAV_E_NOTFOUND;
    }
    if (status == ResultSet::EndOfData) {
      step = 30;
      tuple.reset();
      step = 31;
      ResultSet::Status ignored;
      fetch(_pResultSet, &ignored);
      _rowState = 0;
      return TAV_E_NOTFOUND;
    }
    if (status != ResultSet::Data) return S_OK;

    step = 20;
    if (!tuple) return S_OK;
    if (_presetTypes.empty()) {
      for (int j = 0; j < _nColumns; ++j) _presetTypes.push_back(_pColumns[j].type);
    }
    step = 21;

    TavResult rc = S_OK;
    if (mode == kSectionMode) {
      for (int j = 0; j < _nColumns; ++j) clearColumn(j);
      const ObjectPointer<Data>& first = tuple->getElement(0);
      if (!first || first->getType() != DataType::Array) {
        ModErrorMessage << "Invalid section value(" << (first ? first->toString() : u"(null)")
                        << ")." << ModEndl;
        rc = TAV_E_SQL_ERROR;
      } else if (first->getElementType() == DataType::Data ||
                 first->getElementType() == DataType::UnsignedInteger) {
        const bool general = first->getElementType() == DataType::Data;
        const auto* values = general ? static_cast<const DataArrayData*>(first.get()) : nullptr;
        const auto* numbers =
            general ? nullptr
                    : static_cast<const Corvid::Common::UnsignedIntegerArrayData*>(first.get());
        const size_t count = general ? values->getCount() : numbers->getCount();
        delete[] _pSections;
        _pSections = new TavVariant[count == 0 ? 1 : count]();
        _sectionCount = 0;
        if (_nColumns > 0) {
          _pColumns[0].type = TAV_VT_INT_ALT;
          _pColumns[0].hasValue = 1;
          _pColumns[0].value.intValue = static_cast<int32_t>(count);
        }
        for (size_t j = 0; j < count; ++j) {
          uint32_t number = 0;
          if (general) {
            const ObjectPointer<Data>& element = values->getElement(j);
            if (!element || element->getType() != DataType::UnsignedInteger) {
              ModErrorMessage << "Invalid section value("
                              << (element ? element->toString() : u"(null)") << ")." << ModEndl;
              rc = TAV_E_SQL_ERROR;
              break;
            }
            number =
                static_cast<const Corvid::Common::UnsignedIntegerData*>(element.get())->getValue();
          } else {
            number = numbers->getElement(j);
          }
          _pSections[j].type = TAV_VT_INT_ALT;
          _pSections[j].hasValue = 1;
          _pSections[j].value.intValue = static_cast<int32_t>(number);
          ++_sectionCount;
        }
      }
    } else {
      const int limit = mode == kFirstTwoColumns && _nColumns > 2 ? 2 : _nColumns;
      int j = 0;
      for (; j < limit && rc == S_OK; ++j) {
        rc = readColumn(j, tuple->getElement(static_cast<size_t>(j)));
      }
      // Columns not read hold no value of an earlier row.
      for (; j < _nColumns; ++j) clearColumn(j);
    }
    step = 22;
    tuple.reset();
    if (rc == S_OK) _rowState = 1;
    return rc;
  } catch (const EngineException::Deadlock& exception) {
    _rowState = -1;
    ModNormalMessage << "GetNextRow[Step=" << step << "] " << exception << ModEndl;
    ModNormalMessage << (_pCommandText != nullptr ? _pCommandText : u"") << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const EngineException::Object& exception) {
    _rowState = -1;
    ModErrorMessage << "GetNextRow[Step=" << step << "]" << exception << ModEndl;
    ModErrorMessage << (_pCommandText != nullptr ? _pCommandText : u"") << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (...) {
    _rowState = -1;
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
}

void OdbRowsetCorvid::clearColumn(int j) {
  TavFreeMemory(&_pColumns[j]);
  _pColumns[j].hasValue = 0;
  // A record that received an array became TAV_VT_ARRAY; the next row is
  // read as the type the caller asked for again, not as an array of arrays.
  if (_pColumns[j].type == TAV_VT_ARRAY) _pColumns[j].type = _presetTypes[j];
  _stringBuffers[j] = StringBuffer();
}

TavResult OdbRowsetCorvid::readColumn(int j, const ObjectPointer<Data>& value) {
  TavVariant& record = _pColumns[j];
  StringBuffer& buffer = _stringBuffers[j];
  // The common cases of every row, without freeing and converting anew:
  // numbers into records that own nothing, and texts into the buffer the
  // record holds. The buffer is reused only while the record still holds
  // it, so a record the caller emptied or refilled gets one of its own.
  const DataType::Type type = value ? value->getType() : DataType::Null;
  if (type == DataType::Integer && (record.type == TAV_VT_INT || record.type == TAV_VT_INT_ALT)) {
    record.value.intValue = static_cast<const Corvid::Common::IntegerData&>(*value).getValue();
    record.hasValue = 1;
    return S_OK;
  }
  if (type == DataType::Double && record.type == TAV_VT_DOUBLE) {
    record.value.doubleValue = static_cast<const Corvid::Common::DoubleData&>(*value).getValue();
    record.hasValue = 1;
    return S_OK;
  }
  if (type == DataType::String && record.type == TAV_VT_STRING && record.hasValue == 1 &&
      buffer.chars != nullptr && record.value.string.chars == buffer.chars) {
    const char16_t* text =
        static_cast<const Corvid::Common::StringData&>(*value).getValue().c_str();
    const size_t length = TavStrlen(text);
    if (length <= buffer.room) {
      std::copy_n(text, length + 1, record.value.string.chars);
      record.value.string.length = static_cast<uint32_t>(length);
      return S_OK;
    }
  }
  clearColumn(j);
  const TavResult rc = OdbSessionCorvid::DataToTavVariant(value, &record);
  if (rc == S_OK && record.type == TAV_VT_STRING && record.hasValue == 1) {
    buffer = StringBuffer{record.value.string.chars, record.value.string.length};
  }
  return rc;
}

TavResult OdbRowsetCorvid::GetNextRow2(int, int) {
  return TAV_E_NOTSUPPORTED;
}

TavResult OdbRowsetCorvid::GetSectionNumbers(TavVariant* values, int count) {
  if (count != _sectionCount || (count > 0 && values == nullptr)) return E_INVALIDARG;
  for (int j = 0; j < _sectionCount; ++j) {
    values[j].type = _pSections[j].type;
    values[j].hasValue = _pSections[j].hasValue;
    values[j].value.intValue = _pSections[j].value.intValue;
  }
  return S_OK;
}

void OdbRowsetCorvid::Cancel() {
  if (_pResultSet != nullptr) _pResultSet->cancel();
}

TavResult OdbRowsetCorvid::GetColumnNames(TavVariantArray** names) {
  if (names == nullptr || _pResultSet == nullptr) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  try {
    const std::vector<ModUnicodeString> columns = _pResultSet->getColumnNames();
    TavVariantArray* array = nullptr;
    if (TavAllocateVariants(&array, static_cast<int32_t>(columns.size())) != S_OK) {
      error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
      return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      TavVariant& name = array->elements[i];
      name.type = TAV_VT_STRING;
      if (TavCopyString(&name.value.string.chars, columns[i].c_str()) != S_OK) {
        TavFreeVariants(array);
        error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
      }
      name.value.string.length = static_cast<uint32_t>(columns[i].getLength());
      name.hasValue = 1;
    }
    *names = array;
    return S_OK;
  } catch (const EngineException::Deadlock& exception) {
    ModNormalMessage << "GetColumnNames " << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << "GetColumnNames[" << exception << "]" << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (...) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
}

TavResult OdbRowsetCorvid::BindColumns(int columnCount, TavVariant* columns) {
  if (_pResultSet == nullptr || columnCount < 0 || (columnCount > 0 && columns == nullptr)) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  // Values already placed in the old records go with them.
  for (int j = 0; j < _nColumns; ++j) {
    TavFreeMemory(&_pColumns[j]);
    _pColumns[j].hasValue = 0;
  }
  takeColumns(columnCount, columns);
  return S_OK;
}

void OdbRowsetCorvid::GetFullRow() {
  try {
    ResultSet::Status status;
    do {
      fetch(_pResultSet, &status);
    } while (status == ResultSet::Data || status == ResultSet::EndOfData);
  } catch (const EngineException::Deadlock& exception) {
    ModNormalMessage << exception << ModEndl;
  } catch (const EngineException::Object& exception) {
    ModErrorMessage << exception << ModEndl;
  }
  _rowState = 0;
}
