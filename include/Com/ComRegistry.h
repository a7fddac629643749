// Class factories and CoCreateInstance over a process-wide registry keyed
// by class identifier. Providers register their factory when they load (a
// static registration object) and CoCreateInstance finds it; there is no
// system registry and no out-of-process activation.
#ifndef COM_COM_REGISTRY_H
#define COM_COM_REGISTRY_H

#include "Com/ComBase.h"

TAV_DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                0x00, 0x46);

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_ALL = 0x17;

class IClassFactory : public IUnknown {
 public:
  // OUT *object: a new object as interface riid. A non-null outer object
  // asks for aggregation, which factories here refuse with
  // CLASS_E_NOAGGREGATION.
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};
TAV_COM_INTERFACE(IClassFactory, IUnknown, IID_IClassFactory);

// Registers the factory of a class; the registry keeps one reference until
// the class is revoked. A class registered twice gives CO_E_OBJISREG (the
// first registration stays); a null factory gives E_INVALIDARG.
// Thread-safe.
HRESULT ComRegisterClassFactory(REFCLSID clsid, IClassFactory* factory);
// Removes the class and releases the registry's reference; REGDB_E_CLASSNOTREG
// when it was not registered. Objects already made are not affected.
// Thread-safe.
HRESULT ComRevokeClassFactory(REFCLSID clsid);

// OUT *object: a new object of the class as interface riid (null on
// failure). A null out-pointer gives E_POINTER; an unregistered class, or a
// context without CLSCTX_INPROC_SERVER, gives REGDB_E_CLASSNOTREG; other
// failures are the factory's. The factory is called outside the registry
// lock, so it may itself create objects. Thread-safe.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);

#endif  // COM_COM_REGISTRY_H
