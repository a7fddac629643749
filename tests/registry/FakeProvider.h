// A stand-in OLE DB provider for the registry and pool tests: a data-source
// object registered in the COM class registry, and provider session objects.
#ifndef TAVODB_TESTS_FAKE_PROVIDER_H
#define TAVODB_TESTS_FAKE_PROVIDER_H

#include <atomic>

#include "Com/ComObject.h"
#include "Com/ComRegistry.h"
#include "Com/OleDb.h"
#include "Mod/ModCriticalSection.h"
#include "NullSession.h"
#include "TavCommon.h"
#include "TavOdb/OdbDataSource.h"
#include "TavOdb/OdbSession.h"

namespace fake {

inline std::atomic<int> liveObjects{0};

// {6A1D3C52-0B6E-4C7A-9E51-2F3B8D4A7C10}
inline constexpr GUID CLSID_FakeProvider = {
    0x6A1D3C52, 0x0B6E, 0x4C7A, {0x9E, 0x51, 0x2F, 0x3B, 0x8D, 0x4A, 0x7C, 0x10}};

// Counts live instances, so that tests see every reference given back.
template <typename Interface>
class Counted : public ComObject<Interface> {
 public:
  Counted() { ++liveObjects; }
  ~Counted() override { --liveObjects; }
};

class DBInitialize : public Counted<IDBInitialize> {
 public:
  HRESULT Initialize() override { return S_OK; }
  HRESULT Uninitialize() override {
    ++uninitializeCalls;
    return failUninitialize ? DB_E_OBJECTOPEN : S_OK;
  }
  // The references held, without disturbing them.
  ULONG references() {
    const ULONG count = AddRef();
    Release();
    return count - 1;
  }

  int uninitializeCalls = 0;
  bool failUninitialize = false;
};

class DBCreateSession : public Counted<IDBCreateSession> {
 public:
  HRESULT CreateSession(IUnknown*, REFIID, IUnknown** session) override {
    *session = nullptr;
    return E_NOTIMPL;
  }
};

class DBCreateCommand : public Counted<IDBCreateCommand> {
 public:
  HRESULT CreateCommand(IUnknown*, REFIID, IUnknown** command) override {
    *command = nullptr;
    return E_NOTIMPL;
  }
};

class Factory : public ComObject<IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* instance = new DBInitialize;
    const HRESULT hr = instance->QueryInterface(riid, object);
    instance->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

// Registers the provider class for the lifetime of the object.
class ProviderRegistration {
 public:
  ProviderRegistration() {
    auto* factory = new Factory;
    ComRegisterClassFactory(CLSID_FakeProvider, factory);
    factory->Release();
  }
  ~ProviderRegistration() { ComRevokeClassFactory(CLSID_FakeProvider); }
};

// Connects the way the SQL backend does: one shared connection per server,
// catalog and provider kind, made through the COM class registry.
class SqlLikeDataSource : public OdbDataSource {
 public:
  explicit SqlLikeDataSource(const GUID& provider) { clsid = provider; }

  TavResult Initialize(const char16_t* dataSource, const char16_t* catalog, const char16_t* userId,
                       const char16_t* password) override {
    TavCopyString(&pszDataSource, dataSource);
    TavCopyString(&pszCatalog, catalog);
    TavCopyString(&pszUserId, userId);
    TavCopyString(&pszPassword, password);
    ModAutoCriticalSection guard(databaseListLock());
    if (checkDatabaseList() == TAV_TRUE) return S_OK;
    const HRESULT hr =
        CoCreateInstance(CLSID_FakeProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                         reinterpret_cast<void**>(&pIDBInitialize));
    if (FAILED(hr)) return TAV_E_SQL_CONNECT;
    pIDBInitialize->Initialize();
    // The element takes its own reference; this object keeps one too.
    return addDatabaseList();
  }
  TavResult CreateSession(OdbSession** session) override {
    *session = nullptr;
    return TAV_E_NOTSUPPORTED;
  }

  ~SqlLikeDataSource() override {
    if (pIDBInitialize != nullptr) pIDBInitialize->Release();
  }

  DatabaseElement* element() const { return pElement; }
  static const DatabaseList& list() { return _dblist; }
};

// A session that takes pool elements the way the SQL backend's sessions do.
class PooledSession : public NullSession {
 public:
  // Appends a new in-use element on pIDBInitialize with fresh provider
  // session objects.
  void addElement(IDBInitialize* pIDBInitialize) {
    pIDBInitialize->AddRef();
    auto* element = new SessionElement{
        this, pIDBInitialize, new DBCreateSession, new DBCreateCommand, 1, _slist.tail, nullptr, 0};
    (_slist.tail != nullptr ? _slist.tail->next : _slist.head) = element;
    _slist.tail = element;
    ++_slist.listCount;
    _pSessionElement = element;
  }
  SessionElement* element() const { return _pSessionElement; }
  static const SessionList& list() { return _slist; }
  using OdbSession::writeSlist;
};

}  // namespace fake

#endif  // TAVODB_TESTS_FAKE_PROVIDER_H
