#include "Com/ComRegistry.h"

#include <map>
#include <mutex>

#include "Com/ComObject.h"

namespace {

struct Registry {
  std::mutex lock;                                         // guards factories
  std::map<CLSID, IClassFactory*, ComGuidLess> factories;  // one reference each
};

// Never destroyed: providers register from static objects of their own, and
// an object created during another unit's static destruction must still
// find the registry. The factories stay reachable through it.
Registry& registry() {
  static Registry* const instance = new Registry;
  return *instance;
}

}  // namespace

HRESULT ComRegisterClassFactory(REFCLSID clsid, IClassFactory* factory) {
  if (factory == nullptr) return E_INVALIDARG;
  Registry& reg = registry();
  std::lock_guard<std::mutex> guard(reg.lock);
  auto [position, inserted] = reg.factories.try_emplace(clsid, factory);
  if (!inserted) return CO_E_OBJISREG;
  factory->AddRef();
  return S_OK;
}

HRESULT ComRevokeClassFactory(REFCLSID clsid) {
  IClassFactory* factory = nullptr;
  {
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto position = reg.factories.find(clsid);
    if (position == reg.factories.end()) return REGDB_E_CLASSNOTREG;
    factory = position->second;
    reg.factories.erase(position);
  }
  // Released outside the lock: the factory's destructor may touch the
  // registry again.
  factory->Release();
  return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  ComPtr<IClassFactory> factory;
  {
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto position = reg.factories.find(clsid);
    if (position == reg.factories.end()) return REGDB_E_CLASSNOTREG;
    factory = ComPtr<IClassFactory>::share(position->second);
  }
  const HRESULT hr = factory->CreateInstance(outer, riid, object);
  if (FAILED(hr)) *object = nullptr;
  return hr;
}
