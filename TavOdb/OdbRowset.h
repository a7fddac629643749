// The abstract rowset: the rows of one query, handed to the caller one at a
// time in the caller's column records.
//
// The caller sets each column record's type before the first row; every
// successful row call overwrites the records' values, which stay valid until
// the next row call or the rowset's destruction. A rowset is used by one
// thread at a time, except for the cancel that its backend allows.
#ifndef TAVODB_ODB_ROWSET_H
#define TAVODB_ODB_ROWSET_H

#include <cstdint>

#include "TavCommonTypes.h"
#include "TavOdbExport.h"

class OdbSession;

class TAVODB_API OdbRowset {
 public:
  OdbRowset();
  // Frees the command and parameter copies and the values placed in the
  // caller's column records (whose hasValue becomes 0); the caller's array
  // itself stays the caller's.
  virtual ~OdbRowset();
  OdbRowset(const OdbRowset&) = delete;
  OdbRowset& operator=(const OdbRowset&) = delete;

  // Prepares and runs the query. columns: columnCount records whose types
  // say what each value is read as.
  virtual TavResult Initialize(OdbSession* session, const char16_t* commandText, int fetchRows,
                               int paramCount, const TavVariant* params, int columnCount,
                               TavVariant* columns) = 0;
  // Reads the next row into the column records; TAV_E_NOTFOUND after the
  // last.
  virtual TavResult GetNextRow(int mode) = 0;
  virtual TavResult GetNextRow2(int skip, int mode) = 0;
  // OUT values: the section numbers of the last row read in section mode.
  virtual TavResult GetSectionNumbers(TavVariant* values, int count) = 0;

  // Moves the last OLE DB error into *info (see OdbFreeErrorInfo).
  void GetLastError(OdbErrorInfo* info);
  void* getInternal();

 protected:
  void error(const char* file, int line, TavResult rc);

  OdbSession* _pSession;
  char16_t* _pCommandText;
  int32_t _nFetchRows;
  int32_t _nParams;
  int32_t _nColumns;
  TavVariant* _pParams;   // owned copies of the parameters
  TavVariant* _pColumns;  // the caller's records
  OdbErrorInfo _lastError;
  void* _pInternal;
};

#endif  // TAVODB_ODB_ROWSET_H
