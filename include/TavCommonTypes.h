// The product family's shared value types: result codes, booleans, byte
// buffers, tagged values (TavVariant) and the OLE DB error record handed to
// callers. Layouts are fixed; pointer fields are pointer-sized.
#ifndef TAV_COMMON_TYPES_H
#define TAV_COMMON_TYPES_H

#include <cstddef>
#include <cstdint>

#include "TavOdbExport.h"

#ifndef TAV_GUID_DEFINED
#define TAV_GUID_DEFINED
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
#endif

// HRESULT-style result: 0 success, negative failure.
enum TavResult : int32_t {
  S_OK = 0,
  E_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu),
  E_NOINTERFACE = static_cast<int32_t>(0x80004002u),
  E_FAIL = static_cast<int32_t>(0x80004005u),
  STG_E_INVALIDPOINTER = static_cast<int32_t>(0x80030009u),
  E_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu),
  E_INVALIDARG = static_cast<int32_t>(0x80070057u),
  DB_E_ABORTLIMITREACHED = static_cast<int32_t>(0x80040E31u),
  TAV_E_DATASOURCEDISABLED = static_cast<int32_t>(0x80040215u),
  TAV_E_NOTFOUND = static_cast<int32_t>(0x8004021Au),
  TAV_E_NOTSUPPORTED = static_cast<int32_t>(0x8004021Cu),
  TAV_E_ILLEGALOPERATION = static_cast<int32_t>(0x8004025Cu),
  TAV_E_DUPLICATEKEY = static_cast<int32_t>(0x80040269u),
  TAV_E_CONNECTIONLOST = static_cast<int32_t>(0x80040274u),
  TAV_E_DEADLOCK = static_cast<int32_t>(0x8004027Cu),
  TAV_E_SQL_CONNECT = static_cast<int32_t>(0x800402CFu),
  TAV_E_SQL_DISKFULL = static_cast<int32_t>(0x800402D0u),
  TAV_E_SQL_LOGFULL = static_cast<int32_t>(0x800402D1u),
  TAV_E_SQL_ERROR = static_cast<int32_t>(0x800402D2u),
  TAV_E_FTS_CONNECT = static_cast<int32_t>(0x800402D3u),
  TAV_E_FTS_DISKFULL = static_cast<int32_t>(0x800402D4u),
  TAV_E_FTS_ERROR = static_cast<int32_t>(0x800402D5u),
  TAV_E_DISKFULL = static_cast<int32_t>(0x800402D6u),
  TAV_E_FILEERROR = static_cast<int32_t>(0x800402D7u),
  TAV_E_FILE2201 = static_cast<int32_t>(0x800402DAu),
  TAV_E_FILENOTFOUND = static_cast<int32_t>(0x800402DBu),
  TAV_E_FILE2016 = static_cast<int32_t>(0x800402DCu),
};

// The symbolic name of a result ("TAV_E_NOTFOUND"), or null for a value
// that has no name here. Used by tools and test diagnostics.
TAVODB_API const char* TavResultName(TavResult rc);

enum TavBoolean : int32_t { TAV_FALSE = 0, TAV_TRUE = 1 };

// A byte buffer owned by the caller. Reads store the delivered size.
struct TavBuffer {
  uint32_t size;
  void* data;
};

enum TavVariantType : int32_t {
  TAV_VT_BINARY = 1,
  TAV_VT_INT = 2,
  TAV_VT_DATETIME = 3,
  TAV_VT_DOUBLE = 4,
  TAV_VT_GUID = 5,
  TAV_VT_INT_ALT = 6,  // behaves exactly like TAV_VT_INT
  TAV_VT_STRING = 8,
  TAV_VT_ARRAY = 15,
};

struct TavVariantArray;

struct TavDateTime {
  int16_t year;
  int8_t month;
  int8_t day;
  int8_t hour;
  int8_t minute;
  int8_t second;
  int16_t millisecond;
};

// A tagged value. hasValue is 1 for a value, 0 for SQL NULL. The bytes
// behind binary.data and string.chars belong to the variant: they come from
// the family allocator and are released with TavFreeMemory(TavVariant*).
struct TavVariant {
  TavVariantType type;
  int32_t hasValue;
  union {
    struct {
      uint32_t size;
      void* data;
    } binary;
    int32_t intValue;
    TavDateTime dateTime;
    double doubleValue;
    GUID guidValue;
    struct {
      uint32_t length;  // UTF-16 code units, terminator not counted
      char16_t* chars;
    } string;
    TavVariantArray* array;
  } value;
};

// Created by TavAllocateVariants, released with its elements by
// TavFreeVariants.
struct TavVariantArray {
  int32_t count;
  TavVariant* elements;
};

enum TavCharCode : int32_t { TAV_CHARCODE_DEFAULT = 0 };

// The last OLE DB error of a data source, session or rowset, as handed out
// by GetLastError. Release the pointers with OdbFreeErrorInfo.
struct OdbErrorInfo {
  GUID* piid;
  int32_t hrError;
  char* pszSqlState;
  int32_t lNativeError;
  char* pszDescription;
};

#endif  // TAV_COMMON_TYPES_H
