// The core of the minimal COM runtime: the Windows scalar type names the
// OLE DB declarations use (fixed to their 32-bit sizes, pointer-sized where
// the 64-bit platform makes them so), HRESULT and its standard codes, GUID
// aliases and comparison, and IUnknown.
//
// The codes that the family's TavResult already names (S_OK, E_FAIL,
// E_UNEXPECTED, E_NOINTERFACE, E_OUTOFMEMORY, E_INVALIDARG,
// STG_E_INVALIDPOINTER, DB_E_ABORTLIMITREACHED) come from TavCommonTypes.h;
// TavResult's underlying type is int32_t, so they convert to HRESULT.
#ifndef COM_COM_BASE_H
#define COM_COM_BASE_H

#include <cstddef>
#include <cstdint>

#include "TavCommonTypes.h"

// ---- scalar types ----
using BYTE = uint8_t;
using WORD = uint16_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using LONG = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using BOOL = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using ULONG_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using SIZE_T = size_t;
using LCID = DWORD;
using OLECHAR = char16_t;
using LPOLESTR = char16_t*;
using LPCOLESTR = const char16_t*;

// ---- results ----
using HRESULT = int32_t;

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<int32_t>(0x80004001u);
inline constexpr HRESULT E_POINTER = static_cast<int32_t>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<int32_t>(0x80004004u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<int32_t>(0x80070005u);
inline constexpr HRESULT E_HANDLE = static_cast<int32_t>(0x80070006u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<int32_t>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<int32_t>(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<int32_t>(0x80040154u);
inline constexpr HRESULT CO_E_OBJISREG = static_cast<int32_t>(0x800401FBu);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<int32_t>(0x80020008u);
inline constexpr HRESULT XACT_E_ISOLATIONLEVEL = static_cast<int32_t>(0x8004D008u);
inline constexpr HRESULT XACT_E_NOTRANSACTION = static_cast<int32_t>(0x8004D00Eu);
inline constexpr HRESULT XACT_E_XTIONEXISTS = static_cast<int32_t>(0x8004D013u);

// ---- GUIDs ----
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID left, REFGUID right) {
  if (left.Data1 != right.Data1 || left.Data2 != right.Data2 || left.Data3 != right.Data3) {
    return false;
  }
  for (int i = 0; i < 8; ++i) {
    if (left.Data4[i] != right.Data4[i]) return false;
  }
  return true;
}
constexpr bool IsEqualIID(REFIID left, REFIID right) {
  return IsEqualGUID(left, right);
}
constexpr bool IsEqualCLSID(REFCLSID left, REFCLSID right) {
  return IsEqualGUID(left, right);
}

// Strict weak order, so GUIDs can key ordered containers.
struct ComGuidLess {
  bool operator()(REFGUID left, REFGUID right) const;
};

// Defines a GUID constant from the eleven numbers of its registry form
// {l-w1-w2-b1b2-b3b4b5b6b7b8}. The constant is inline, so one definition
// serves every translation unit.
#define TAV_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

TAV_DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                0x00);
inline constexpr IID IID_NULL = GUID_NULL;
TAV_DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                0x46);

// ---- IUnknown ----
// Objects are reference counted: whoever receives an interface pointer from
// a call owns one reference and gives it back with Release. Objects are
// destroyed by their last Release, never with delete by their users.
class IUnknown {
 public:
  // OUT *object: the object as the requested interface (one reference), or
  // null with E_NOINTERFACE. A null object pointer gives E_POINTER.
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Maps an interface type to its identifier and the interface it extends;
// every interface declares its specialisation with TAV_COM_INTERFACE.
// ComObject and ComPtr use it to answer and issue QueryInterface.
template <typename Interface>
struct ComInterfaceTraits;

template <>
struct ComInterfaceTraits<IUnknown> {
  static constexpr const IID& iid = IID_IUnknown;
  using Base = void;
};

#define TAV_COM_INTERFACE(Interface, BaseInterface, iidConstant) \
  template <>                                                    \
  struct ComInterfaceTraits<Interface> {                         \
    static constexpr const IID& iid = iidConstant;               \
    using Base = BaseInterface;                                  \
  }

#endif  // COM_COM_BASE_H
