// BSTR and the VARIANT subset that OLE DB property values need.
//
// A BSTR is a pointer to UTF-16 code units preceded by a 32-bit byte count
// and followed by a NUL; it comes from the task allocator, so its length is
// known even with embedded NULs. A null BSTR is a valid empty string. Free
// every BSTR handed to you with SysFreeString.
#ifndef COM_COM_VARIANT_H
#define COM_COM_VARIANT_H

#include "Com/ComBase.h"

using BSTR = char16_t*;

// A copy of the NUL-terminated text; null text or a failed allocation gives
// null.
BSTR SysAllocString(const char16_t* text);
// A string of `length` code units copied from text, or zero-filled when
// text is null; null on allocation failure.
BSTR SysAllocStringLen(const char16_t* text, UINT length);
// Null is accepted and ignored.
void SysFreeString(BSTR bstr);
// Length in code units, from the prefix (0 for null).
UINT SysStringLen(BSTR bstr);
// Length in bytes, from the prefix (0 for null).
UINT SysStringByteLen(BSTR bstr);

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// A tagged value; vt selects the member. A VT_BSTR variant owns its string.
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    SHORT iVal;
    LONG lVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    void* byref;
    ULONGLONG reserved[2];  // keeps the 24-byte 64-bit layout
  };
};
using VARIANTARG = VARIANT;

// Makes the variant VT_EMPTY without looking at what it held.
void VariantInit(VARIANT* variant);
// Releases what the variant owns and makes it VT_EMPTY. An unknown type
// gives DISP_E_BADVARTYPE and leaves the variant unchanged; null gives
// E_INVALIDARG.
HRESULT VariantClear(VARIANT* variant);
// Clears destination, then copies source into it (a BSTR is duplicated).
// On failure (E_OUTOFMEMORY, DISP_E_BADVARTYPE, E_INVALIDARG) destination
// is left VT_EMPTY (or untouched when it could not be cleared).
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);

#endif  // COM_COM_VARIANT_H
