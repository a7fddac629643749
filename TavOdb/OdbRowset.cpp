#include "TavOdb/OdbRowset.h"

#include "TavCommon.h"
#include "TavOdb/OdbDataSource.h"
#include "TavOdb/internal/OdbErrorRecord.h"
#include "TavOdb/internal/OdbFailureLog.h"

OdbRowset::OdbRowset()
    : _pSession(nullptr),
      _pCommandText(nullptr),
      _nFetchRows(0),
      _nParams(0),
      _nColumns(0),
      _pParams(nullptr),
      _pColumns(nullptr),
      _lastError{},
      _pInternal(nullptr) {}

OdbRowset::~OdbRowset() {
  if (_pCommandText != nullptr) TavFreeMemory(_pCommandText);
  for (int32_t i = 0; i < _nParams; ++i) TavFreeMemory(&_pParams[i], TAV_NO_FREE);
  if (_nParams > 0) delete[] _pParams;
  for (int32_t i = 0; i < _nColumns; ++i) {
    TavFreeMemory(&_pColumns[i], TAV_NO_FREE);
    _pColumns[i].hasValue = 0;
  }
  OdbFreeErrorInfo(&_lastError);
}

void OdbRowset::GetLastError(OdbErrorInfo* info) {
  OdbMoveLastError(_lastError, info);
}

void* OdbRowset::getInternal() {
  return _pInternal;
}

void OdbRowset::error(const char* file, int line, TavResult rc) {
  OdbLogFailure(__FILE_NAME__, __LINE__, file, line, rc);
}
