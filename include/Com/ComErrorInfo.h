// Rich error information: the error object interfaces and the current error
// object of the calling thread. A component that fails a call may set an
// error object with SetErrorInfo; the caller checks ISupportErrorInfo and
// then takes it with GetErrorInfo. Each thread has its own slot.
#ifndef COM_COM_ERROR_INFO_H
#define COM_COM_ERROR_INFO_H

#include "Com/ComBase.h"
#include "Com/ComVariant.h"

TAV_DEFINE_GUID(IID_IErrorInfo, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B,
                0xD1, 0x19);
TAV_DEFINE_GUID(IID_ICreateErrorInfo, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                0x2B, 0xD1, 0x19);
TAV_DEFINE_GUID(IID_ISupportErrorInfo, 0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                0x2B, 0xD1, 0x19);

// Every string out-parameter receives a new BSTR (null when the field was
// never set) that the caller frees with SysFreeString.
class IErrorInfo : public IUnknown {
 public:
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* helpContext) = 0;
};
TAV_COM_INTERFACE(IErrorInfo, IUnknown, IID_IErrorInfo);

// Fills an error object; the strings are copied.
class ICreateErrorInfo : public IUnknown {
 public:
  virtual HRESULT SetGUID(REFGUID guid) = 0;
  virtual HRESULT SetSource(LPCOLESTR source) = 0;
  virtual HRESULT SetDescription(LPCOLESTR description) = 0;
  virtual HRESULT SetHelpFile(LPCOLESTR helpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD helpContext) = 0;
};
TAV_COM_INTERFACE(ICreateErrorInfo, IUnknown, IID_ICreateErrorInfo);

// S_OK when the object sets error objects for calls of interface riid,
// S_FALSE otherwise.
class ISupportErrorInfo : public IUnknown {
 public:
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};
TAV_COM_INTERFACE(ISupportErrorInfo, IUnknown, IID_ISupportErrorInfo);

// Makes info (may be null) the calling thread's current error object,
// replacing and releasing the previous one; the slot takes its own
// reference. `reserved` must be 0, else E_INVALIDARG.
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
// OUT *info: the calling thread's current error object, handed over with
// its reference (the slot is emptied), S_OK; null and S_FALSE when there is
// none. `reserved` must be 0 and info non-null, else E_INVALIDARG.
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);
// OUT *info: a new, empty error object (one reference) that also answers
// IErrorInfo. The object may be shared between threads once filled.
HRESULT CreateErrorInfo(ICreateErrorInfo** info);

#endif  // COM_COM_ERROR_INFO_H
