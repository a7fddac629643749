#include "TavOdb/OdbDataSource.h"

#include <atomic>

#include <new>
#include <unordered_set>

#include "Com/OleDb.h"
#include "Corvid/Client.h"
#include "Corvid/Exception.h"
#include "Corvid/Server.h"
#include "Mod/ModCriticalSection.h"
#include "Mod/ModMessage.h"
#include "Mod/ModUnicodeString.h"
#include "TavCommon.h"
#include "TavMod/TavConfiguration.h"
#include "TavOdb/OdbSession.h"
#include "TavOdb/internal/OdbErrorRecord.h"
#include "TavOdb/internal/OdbFailureLog.h"

// {2324579E-EBCC-11D2-8101-00E0290C2128}
const GUID CLSID_TavFullTextProvider = {
    0x2324579E, 0xEBCC, 0x11D2, {0x81, 0x01, 0x00, 0xE0, 0x29, 0x0C, 0x21, 0x28}};

DatabaseList OdbDataSource::_dblist = {nullptr, nullptr, 0};

// The process-wide engine data source. InitializeCorvid and TerminateCorvid
// run on one thread while no other thread uses the engine, so it needs no
// lock.
static Corvid::Client::DataSource* corvidDataSource = nullptr;

static constexpr int kRemoteEngine = 2;
int32_t OdbDataSource::m_bInitialized = 0;

namespace {

// The enabled set and the lock that guards it. Created on first use and
// never destroyed: data sources with static storage duration may be
// constructed and destroyed on either side of any other static object.
struct EnabledRegistry {
  ModCriticalSection lock;                     // guards members
  std::unordered_set<OdbDataSource*> members;  // the enabled data sources
  // Counts the changes of members; bumped under the lock after each one.
  std::atomic<uint64_t> version{0};
  EnabledRegistry() { members.reserve(203); }
};

// The last answer of checkEnable on this thread. Every session operation
// asks, mostly about the same data source, and the registry rarely changes:
// while its version is the one the answer was taken at, the answer stands
// without taking the lock. A data source freed and another made at its
// address changed the version in between.
struct EnabledAnswer {
  uint64_t version = ~uint64_t{0};
  const OdbDataSource* dataSource = nullptr;
  TavBoolean enabled = TAV_FALSE;
};
thread_local EnabledAnswer lastEnabledAnswer;

EnabledRegistry& enabledRegistry() {
  static EnabledRegistry* registry = new EnabledRegistry;
  return *registry;
}

bool sameKey(const DatabaseElement& element, const char16_t* dataSource, const char16_t* catalog,
             int32_t bFTS) {
  return TavStrcmp(dataSource, element.pszDataSource) == 0 &&
         TavStrcmp(catalog, element.pszCatalog) == 0 && element.bFTS == bFTS;
}

// Releases one element's connection and strings and unlinks it. The caller
// holds the database-list lock and has remembered the next element.
void tearDown(DatabaseList& list, DatabaseElement* element) {
  if (element->useCount > 0) {
    ModDebugMessage << "OdbDataSource::Terminate:  element still in use" << element->useCount
                    << ModEndl;
  }
  OdbSession::StopSession(element->pIDBInitialize);
  if (element->pIDBInitialize != nullptr) {
    const HRESULT hr = element->pIDBInitialize->Uninitialize();
    if (FAILED(hr)) {
      ModDebugMessage << "Someone forget to Release IDBInitialize:" << hr << ModEndl;
    }
    element->pIDBInitialize->Release();
    element->pIDBInitialize = nullptr;
  }
  if (element->pszCatalog != nullptr) TavFreeMemory(element->pszCatalog);
  if (element->pszDataSource != nullptr) TavFreeMemory(element->pszDataSource);

  if (element->prev != nullptr) {
    element->prev->next = element->next;
  } else {
    list.head = element->next;
  }
  if (element->next != nullptr) {
    element->next->prev = element->prev;
  } else {
    list.tail = element->prev;
  }
  delete element;
  --list.count;
}

template <typename Predicate>
void tearDownMatching(DatabaseList& list, Predicate matches) {
  DatabaseElement* element = list.head;
  while (element != nullptr) {
    DatabaseElement* next = element->next;
    if (matches(*element)) tearDown(list, element);
    element = next;
  }
}

}  // namespace

OdbDataSource::OdbDataSource(Unregistered)
    : pIDBInitialize(nullptr),
      clsid{},
      pszDataSource(nullptr),
      pszCatalog(nullptr),
      pszUserId(nullptr),
      pszPassword(nullptr),
      pElement(nullptr),
      _lastError{},
      pInternal(nullptr) {}

OdbDataSource::OdbDataSource() : OdbDataSource(Unregistered{}) {
  EnabledRegistry& registry = enabledRegistry();
  ModAutoCriticalSection guard(registry.lock);
  registry.members.insert(this);
  registry.version.fetch_add(1, std::memory_order_release);
}

OdbDataSource::OdbDataSource(const OdbDataSource& other) : OdbDataSource(Unregistered{}) {
  copyFrom(other);
}

OdbDataSource& OdbDataSource::operator=(const OdbDataSource& other) {
  if (this != &other) {
    releaseOwned();
    copyFrom(other);
  }
  return *this;
}

OdbDataSource::~OdbDataSource() {
  {
    EnabledRegistry& registry = enabledRegistry();
    ModAutoCriticalSection guard(registry.lock);
    registry.members.erase(this);
    registry.version.fetch_add(1, std::memory_order_release);
  }
  // The connection stays with its database-list element until a stop
  // function removes it, so pIDBInitialize is not released here.
  releaseOwned();
}

// The strings and the error record are copied rather than shared, so that
// each object's destructor releases only what it owns. A copy that cannot
// be made leaves the field null.
void OdbDataSource::copyFrom(const OdbDataSource& other) {
  pIDBInitialize = other.pIDBInitialize;
  clsid = other.clsid;
  if (TavCopyString(&pszDataSource, other.pszDataSource) != S_OK) pszDataSource = nullptr;
  if (TavCopyString(&pszCatalog, other.pszCatalog) != S_OK) pszCatalog = nullptr;
  if (TavCopyString(&pszUserId, other.pszUserId) != S_OK) pszUserId = nullptr;
  if (TavCopyString(&pszPassword, other.pszPassword) != S_OK) pszPassword = nullptr;
  pElement = other.pElement;
  OdbCopyErrorInfo(other._lastError, &_lastError);
  pInternal = other.pInternal;
}

void OdbDataSource::releaseOwned() {
  for (char16_t** text : {&pszDataSource, &pszCatalog, &pszUserId, &pszPassword}) {
    if (*text != nullptr) {
      TavFreeMemory(*text);
      *text = nullptr;
    }
  }
  OdbFreeErrorInfo(&_lastError);
}

IDBInitialize* OdbDataSource::GetIDBInitialize() {
  if (pIDBInitialize != nullptr) pIDBInitialize->AddRef();
  return pIDBInitialize;
}

TavBoolean OdbDataSource::IsFTS() {
  return TavIsEqualGuid(clsid, CLSID_TavFullTextProvider);
}

int OdbDataSource::GetWriteF() {
  return pElement->writeF;
}

void OdbDataSource::SetWriteF(int flag) {
  ModAutoCriticalSection guard(databaseListLock());
  pElement->writeF = flag;
}

void OdbDataSource::ReleaseSession(OdbSession** session) {
  if (session == nullptr || *session == nullptr) return;
  delete *session;
  *session = nullptr;
}

void* OdbDataSource::getInternal() {
  return pInternal;
}

void OdbDataSource::GetLastError(OdbErrorInfo* info) {
  OdbMoveLastError(_lastError, info);
}

TavBoolean OdbDataSource::checkEnable(OdbDataSource* ds) {
  try {
    EnabledRegistry& registry = enabledRegistry();
    EnabledAnswer& answer = lastEnabledAnswer;
    if (answer.dataSource == ds &&
        answer.version == registry.version.load(std::memory_order_acquire)) {
      return answer.enabled;
    }
    ModAutoCriticalSection guard(registry.lock);
    answer.version = registry.version.load(std::memory_order_relaxed);
    answer.dataSource = ds;
    answer.enabled = registry.members.count(ds) != 0 ? TAV_TRUE : TAV_FALSE;
    return answer.enabled;
  } catch (...) {
    ModErrorMessage << "Exception occurred" << ModEndl;
    throw E_UNEXPECTED;
  }
}

TavResult OdbDataSource::clearDataSourceMap() {
  try {
    EnabledRegistry& registry = enabledRegistry();
    ModAutoCriticalSection guard(registry.lock);
    registry.members.clear();
    registry.version.fetch_add(1, std::memory_order_release);
    return S_OK;
  } catch (...) {
    ModErrorMessage << "Exception occurred" << ModEndl;
    return E_UNEXPECTED;
  }
}

TavBoolean OdbDataSource::checkDatabaseList() {
  if (_dblist.count < 1) return TAV_FALSE;
  const int32_t bFTS = IsFTS() ? 1 : 0;
  DatabaseElement* element = _dblist.head;
  for (int32_t visited = 0; element != nullptr && visited < _dblist.count;
       ++visited, element = element->next) {
    if (sameKey(*element, pszDataSource, pszCatalog, bFTS)) {
      pIDBInitialize = element->pIDBInitialize;
      if (pIDBInitialize != nullptr) pIDBInitialize->AddRef();
      ++element->useCount;
      pElement = element;
      return TAV_TRUE;
    }
  }
  return TAV_FALSE;
}

TavResult OdbDataSource::addDatabaseList() {
  auto* element = new (std::nothrow) DatabaseElement{};
  if (element == nullptr) {
    error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }
  TavResult rc = TavCopyString(&element->pszDataSource, pszDataSource);
  if (rc == S_OK) rc = TavCopyString(&element->pszCatalog, pszCatalog);
  if (rc != S_OK) {
    error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
    if (element->pszDataSource != nullptr) TavFreeMemory(element->pszDataSource);
    delete element;
    return rc;
  }
  element->bFTS = IsFTS() ? 1 : 0;
  element->pIDBInitialize = pIDBInitialize;
  if (pIDBInitialize != nullptr) pIDBInitialize->AddRef();
  element->writeF = 0;
  element->next = nullptr;
  element->useCount = 1;
  pElement = element;

  if (_dblist.count == 0) {
    element->prev = nullptr;
    _dblist.head = _dblist.tail = element;
    _dblist.count = 1;
  } else {
    element->prev = _dblist.tail;
    _dblist.tail->next = element;
    _dblist.tail = element;
    ++_dblist.count;
  }
  return S_OK;
}

// Taken before the session pool's lock whenever both are held. Never
// destroyed, like the enabled registry.
ModCriticalSection& OdbDataSource::databaseListLock() {
  static ModCriticalSection* lock = new ModCriticalSection;
  return *lock;
}

void OdbDataSource::StopDataSource(const GUID& providerClsid, const char16_t* dataSource,
                                   const char16_t* catalog) {
  const int32_t bFTS = TavIsEqualGuid(providerClsid, CLSID_TavFullTextProvider) ? 1 : 0;
  ModAutoCriticalSection guard(databaseListLock());
  tearDownMatching(_dblist, [&](const DatabaseElement& element) {
    return sameKey(element, dataSource, catalog, bFTS);
  });
}

void OdbDataSource::StopDataSource2() {
  ModAutoCriticalSection guard(databaseListLock());
  tearDownMatching(_dblist, [](const DatabaseElement&) { return true; });
}

void OdbDataSource::error(const char* file, int line, TavResult rc) {
  OdbLogFailure(__FILE_NAME__, __LINE__, file, line, rc);
}

void OdbDataSource::StopDataSource(const char16_t* first, const char16_t* second) {
  OdbSession::StopSession(first, second);
}

TavResult OdbDataSource::InitializeCorvid(const char16_t* path) {
  const ModUnicodeString enginePath(path);
  try {
    if (TavConfiguration::getCorvidConnection() == kRemoteEngine) {
      const ModUnicodeString hostName = TavConfiguration::getCorvidHostName();
      const int portNumber = TavConfiguration::getCorvidPortNumber();
      Corvid::Client::Singleton::RemoteServer::initialize(enginePath);
      corvidDataSource = Corvid::Client::DataSource::createDataSource(hostName, portNumber);
    } else {
      Corvid::Server::Singleton::InProcess::initialize(false, enginePath);
      corvidDataSource = Corvid::Client::DataSource::createDataSource();
    }
    corvidDataSource->open(Corvid::Client::DataSource::CurrentProtocol);
    return S_OK;
  } catch (const Corvid::Exception::DiskFull& exception) {
    ModErrorMessage << "InitializeCorvid " << exception << ModEndl;
    return TAV_E_DISKFULL;
  } catch (const Corvid::Exception::Deadlock& exception) {
    ModNormalMessage << "InitializeCorvid " << exception << ModEndl;
    return TAV_E_DEADLOCK;
  } catch (const Corvid::Exception::Object& exception) {
    ModErrorMessage << "InitializeCorvid " << exception << ModEndl;
    return TAV_E_SQL_ERROR;
  } catch (...) {
    return TAV_E_SQL_ERROR;
  }
}

void OdbDataSource::TerminateCorvid() {
  try {
    OdbSession::ClearSessionPool();
    if (corvidDataSource != nullptr) {
      corvidDataSource->close();
      corvidDataSource->release();
      // A released handle must never be handed out again.
      corvidDataSource = nullptr;
    }
    if (TavConfiguration::getCorvidConnection() == kRemoteEngine) {
      Corvid::Client::Singleton::RemoteServer::terminate();
    } else {
      Corvid::Server::Singleton::InProcess::terminate();
    }
  } catch (const Corvid::Exception::DiskFull& exception) {
    ModErrorMessage << "TerminateCorvid " << exception << ModEndl;
  } catch (const Corvid::Exception::Deadlock& exception) {
    ModNormalMessage << "TerminateCorvid " << exception << ModEndl;
  } catch (const Corvid::Exception::Object& exception) {
    ModErrorMessage << "TerminateCorvid " << exception << ModEndl;
  } catch (...) {
    ModErrorMessage << "Error : TerminateCorvid" << ModEndl;
  }
}

Corvid::Client::DataSource* OdbDataSource::getCorvidDataSource() {
  return corvidDataSource;
}
