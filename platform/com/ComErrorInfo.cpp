#include "Com/ComErrorInfo.h"

#include <new>

#include "Com/ComObject.h"

namespace {

// The standard error object: filled through ICreateErrorInfo, read through
// IErrorInfo. Its fields are guarded by no lock: it is filled by one thread
// before it is published with SetErrorInfo, and only read afterwards.
class ErrorObject final : public ComObject<IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* guid) override {
    if (guid == nullptr) return E_INVALIDARG;
    *guid = _guid;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return copyOut(_source, source); }
  HRESULT GetDescription(BSTR* description) override { return copyOut(_description, description); }
  HRESULT GetHelpFile(BSTR* helpFile) override { return copyOut(_helpFile, helpFile); }
  HRESULT GetHelpContext(DWORD* helpContext) override {
    if (helpContext == nullptr) return E_INVALIDARG;
    *helpContext = _helpContext;
    return S_OK;
  }

  HRESULT SetGUID(REFGUID guid) override {
    _guid = guid;
    return S_OK;
  }
  HRESULT SetSource(LPCOLESTR source) override { return copyIn(source, &_source); }
  HRESULT SetDescription(LPCOLESTR description) override {
    return copyIn(description, &_description);
  }
  HRESULT SetHelpFile(LPCOLESTR helpFile) override { return copyIn(helpFile, &_helpFile); }
  HRESULT SetHelpContext(DWORD helpContext) override {
    _helpContext = helpContext;
    return S_OK;
  }

 private:
  ~ErrorObject() override {
    SysFreeString(_source);
    SysFreeString(_description);
    SysFreeString(_helpFile);
  }

  static HRESULT copyOut(BSTR field, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (field == nullptr) return S_OK;
    *out = SysAllocStringLen(field, SysStringLen(field));
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  // On failure the old value stays.
  static HRESULT copyIn(LPCOLESTR text, BSTR* field) {
    BSTR copy = nullptr;
    if (text != nullptr) {
      copy = SysAllocString(text);
      if (copy == nullptr) return E_OUTOFMEMORY;
    }
    SysFreeString(*field);
    *field = copy;
    return S_OK;
  }

  GUID _guid = GUID_NULL;
  BSTR _source = nullptr;
  BSTR _description = nullptr;
  BSTR _helpFile = nullptr;
  DWORD _helpContext = 0;
};

// The calling thread's current error object; its reference is released
// when the thread ends.
class CurrentErrorSlot {
 public:
  CurrentErrorSlot() = default;
  CurrentErrorSlot(const CurrentErrorSlot&) = delete;
  CurrentErrorSlot& operator=(const CurrentErrorSlot&) = delete;
  ~CurrentErrorSlot() { replace(nullptr); }

  void replace(IErrorInfo* info) {
    IErrorInfo* old = _info;
    _info = info;
    if (old != nullptr) old->Release();
  }
  IErrorInfo* take() {
    IErrorInfo* info = _info;
    _info = nullptr;
    return info;
  }

 private:
  IErrorInfo* _info = nullptr;
};

thread_local CurrentErrorSlot currentError;

}  // namespace

HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  if (info != nullptr) info->AddRef();
  currentError.replace(info);
  return S_OK;
}

HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info) {
  if (reserved != 0 || info == nullptr) return E_INVALIDARG;
  *info = currentError.take();
  return *info == nullptr ? S_FALSE : S_OK;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = new (std::nothrow) ErrorObject;
  return *info == nullptr ? E_OUTOFMEMORY : S_OK;
}
