#include "TavOdb/OdbSession.h"

#include <map>
#include <memory>
#include <new>
#include <utility>

#include "Com/OleDb.h"
#include "Mod/ModCriticalSection.h"
#include "Mod/ModMessage.h"
#include "Mod/ModUnicodeString.h"
#include "TavCommon.h"
#include "TavMod/TavDefaultParameter.h"
#include "TavOdb/OdbDataSource.h"
#include "TavOdb/OdbRowset.h"
#include "TavOdb/internal/OdbErrorRecord.h"
#include "TavOdb/internal/OdbFailureLog.h"

SessionList OdbSession::_slist = {nullptr, nullptr, 0};

namespace {

// Guards OdbSession::_slist and every SessionElement in it. Never destroyed:
// sessions and data sources with static storage may be torn down after it.
ModCriticalSection& poolLock() {
  static ModCriticalSection* lock = new ModCriticalSection;
  return *lock;
}

// The engine client cache: per key (first, second) a doubly linked list of
// clients, guarded by the pool lock.
struct SessionClientNode {
  SessionClient* client;
  SessionClientNode* prev;
  SessionClientNode* next;
};

struct ClientKey {
  ModUnicodeString first;
  ModUnicodeString second;
  bool operator<(const ClientKey& other) const {
    const int byFirst = first.compare(other.first);
    return byFirst != 0 ? byFirst < 0 : second.compare(other.second) < 0;
  }
};

using ClientMap = std::map<ClientKey, SessionClientNode*>;

ClientMap& clientMap() {
  static ClientMap* map = new ClientMap;
  return *map;
}

// The bound on the number of keys, read once from "TavOdbSessionMax".
uint32_t clientMax() {
  static uint32_t value = [] {
    int configured = 0;
    return TavDefaultParameter::getInteger(configured, "TavOdbSessionMax") == ModTrue
               ? static_cast<uint32_t>(configured)
               : 12u;
  }();
  return value;
}

void destroyClient(SessionClient* client) {
  if (client->isOpen() != 0) client->close();
  delete client;
}

// Unlinks node from the list starting at first; returns the new first node.
SessionClientNode* unlinkNode(SessionClientNode* first, SessionClientNode* node) {
  if (node->prev != nullptr) node->prev->next = node->next;
  if (node->next != nullptr) node->next->prev = node->prev;
  return node == first ? node->next : first;
}

// Destroys the idle clients of every key once the key bound is reached;
// keys left without clients are erased. Runs under the pool lock.
void trimClients() {
  ClientMap& map = clientMap();
  if (map.size() < clientMax()) return;
  for (auto entry = map.begin(); entry != map.end();) {
    SessionClientNode* node = entry->second;
    while (node != nullptr) {
      SessionClientNode* next = node->next;
      if (node->client->isBusy == 0) {
        entry->second = unlinkNode(entry->second, node);
        destroyClient(node->client);
        delete node;
      }
      node = next;
    }
    entry = entry->second == nullptr ? map.erase(entry) : std::next(entry);
  }
}

template <typename Interface>
void releaseInterface(Interface*& pointer) {
  if (pointer != nullptr) {
    pointer->Release();
    pointer = nullptr;
  }
}

constexpr int32_t kMaxCommandLength = 1048576;
constexpr int32_t kMaxParamCount = 2000;

// The tags the staged batch can bind; anything else is refused when it is
// first staged, so that no record is ever copied or freed by guesswork.
bool isStageableType(TavVariantType type) {
  switch (type) {
    case TAV_VT_BINARY:
    case TAV_VT_INT:
    case TAV_VT_DATETIME:
    case TAV_VT_DOUBLE:
    case TAV_VT_GUID:
    case TAV_VT_INT_ALT:
    case TAV_VT_STRING:
      return true;
    default:
      return false;
  }
}

void freeStagedParams(TavVariant* params, int32_t count) {
  for (int32_t i = 0; i < count; ++i) TavFreeMemory(&params[i]);
  delete[] params;
}

}  // namespace

SessionClient::SessionClient() : isBusy(0), isStopRequested(0) {}

SessionClient::~SessionClient() = default;

OdbSession::OdbSession()
    : _pDataSource(nullptr),
      _pIDBCreateSession(nullptr),
      _pIDBCreateCommand(nullptr),
      _pICommandText(nullptr),
      _pInsertRowset(nullptr),
      _pCommandText(nullptr),
      _commandLength(0),
      _paramCount(0),
      _pParams(nullptr),
      _isFTS(0),
      _inTransaction(0),
      _pSessionElement(nullptr),
      _lastError{},
      _pInternal(nullptr),
      _poolMode(1),
      _pSessionClient(nullptr) {}

OdbSession::~OdbSession() {
  if (_pSessionClient != nullptr) {
    if (_poolMode == 1) {
      _pSessionClient->close();
      delete _pSessionClient;
    } else {
      ModAutoCriticalSection guard(poolLock());
      // A client whose key was stopped is no longer in the cache: nothing
      // but this session holds it, so it goes with the session.
      if (_pSessionClient->isStopRequested == 1) {
        destroyClient(_pSessionClient);
      } else {
        _pSessionClient->isBusy = 0;
      }
    }
    _pSessionClient = nullptr;
  }
  ReleaseSessionElement(this);
  releaseInterface(_pIDBCreateSession);
  releaseInterface(_pIDBCreateCommand);
  releaseInterface(_pICommandText);
  releaseInterface(_pInsertRowset);
  OdbFreeErrorInfo(&_lastError);
  // Whatever is still staged belongs to no one else.
  if (_pCommandText != nullptr) TavFreeMemory(_pCommandText);
  if (_pParams != nullptr) freeStagedParams(_pParams, _paramCount);
}

SessionClient* OdbSession::CreateSessionClient() {
  return nullptr;
}

TavResult OdbSession::GetSessionClient(const char16_t* first, const char16_t* second) {
  if (_poolMode == 1) {
    std::unique_ptr<SessionClient> client(CreateSessionClient());
    if (!client) return TAV_E_SQL_ERROR;
    client->open(second);
    _pSessionClient = client.release();
    return S_OK;
  }

  ModAutoCriticalSection guard(poolLock());
  ClientMap& map = clientMap();
  ClientKey key{ModUnicodeString(first), ModUnicodeString(second)};
  auto entry = map.find(key);
  if (entry != map.end()) {
    for (SessionClientNode* node = entry->second; node != nullptr; node = node->next) {
      if (node->client->isBusy == 0) {
        node->client->isBusy = 1;
        _pSessionClient = node->client;
        return S_OK;
      }
    }
  } else {
    trimClients();
  }

  std::unique_ptr<SessionClient> client(CreateSessionClient());
  if (!client) return TAV_E_SQL_ERROR;
  client->isBusy = 1;
  client->open(second);

  auto* node = new (std::nothrow) SessionClientNode{client.get(), nullptr, nullptr};
  if (node == nullptr) {
    // The cache cannot take the client, so this session owns it as an
    // unpooled one and destroys it when it ends.
    _poolMode = 1;
    _pSessionClient = client.release();
    return S_OK;
  }
  entry = map.find(key);  // trimming may have erased entries
  if (entry != map.end()) {
    SessionClientNode* oldFirst = entry->second;
    node->next = oldFirst;
    node->prev = oldFirst->prev;
    oldFirst->prev = node;
    entry->second = node;
    _pSessionClient = client.release();
    trimClients();
  } else {
    map.emplace(std::move(key), node);
    _pSessionClient = client.release();
  }
  return S_OK;
}

void OdbSession::StopSession(const char16_t* first, const char16_t* second) {
  ModAutoCriticalSection guard(poolLock());
  ClientMap& map = clientMap();
  auto entry = map.find(ClientKey{ModUnicodeString(first), ModUnicodeString(second)});
  if (entry == map.end()) return;
  SessionClientNode* node = entry->second;
  while (node != nullptr) {
    SessionClientNode* next = node->next;
    if (node->client->isBusy == 0) {
      destroyClient(node->client);
    } else {
      ModErrorMessage << "StopSession:Busy[" << first << "][" << second << "]" << ModEndl;
      node->client->isStopRequested = 1;
    }
    delete node;
    node = next;
  }
  map.erase(entry);
}

void OdbSession::ClearSessionPool() {
  ModAutoCriticalSection guard(poolLock());
  ClientMap& map = clientMap();
  for (auto& [key, firstNode] : map) {
    SessionClientNode* node = firstNode;
    while (node != nullptr) {
      SessionClientNode* next = node->next;
      destroyClient(node->client);
      delete node;
      node = next;
    }
    firstNode = nullptr;
  }
  map.clear();
}

void OdbSession::ReleaseSessionElement(OdbSession* session) {
  ModAutoCriticalSection guard(poolLock());
  SessionElement* element = session->_pSessionElement;
  if (element == nullptr) return;
  element->pSession = nullptr;
  if (element->isBusy == 1) element->isBusy = 0;
  if (element->isOrphan == 1) delete element;
  session->_pSessionElement = nullptr;
}

void OdbSession::StopSession(IDBInitialize* pIDBInitialize) {
  ModAutoCriticalSection guard(poolLock());
  SessionElement* element = _slist.head;
  while (element != nullptr) {
    SessionElement* next = element->next;
    if (element->pIDBInitialize != pIDBInitialize) {
      element = next;
      continue;
    }
    if (element->isBusy == 1 || element->pSession != nullptr) {
      ModDebugMessage << "SessionElement still in use" << ModEndl;
      element->isOrphan = 1;
    }
    releaseInterface(element->pIDBCreateCommand);
    releaseInterface(element->pIDBCreateSession);
    releaseInterface(element->pIDBInitialize);

    if (element->prev == nullptr) {
      _slist.head = next;
      if (next != nullptr) {
        next->prev = nullptr;
      } else {
        _slist.tail = nullptr;
      }
    } else {
      element->prev->next = next;
      if (next != nullptr) {
        next->prev = element->prev;
      } else {
        _slist.tail = element->prev;
      }
    }
    element->prev = element->next = nullptr;
    if (element->isOrphan != 1) delete element;
    --_slist.listCount;
    element = next;
  }
}

void OdbSession::writeSlist(int limit) {
  if (_slist.head == nullptr) {
    ModNormalMessage << "_slist is NULL" << ModEndl;
    return;
  }
  ModNormalMessage << "_slist.listCount = " << ModDec << _slist.listCount << ModEndl;
  int number = 0;
  for (SessionElement* element = _slist.head; element != nullptr; element = element->next) {
    ++number;
    ModNormalMessage << "element = " << reinterpret_cast<uintptr_t>(element)
                     << "; element->prev = " << reinterpret_cast<uintptr_t>(element->prev)
                     << "; element->isBusy = " << static_cast<uint32_t>(element->isBusy)
                     << "; element->pIDBInitialize = "
                     << reinterpret_cast<uintptr_t>(element->pIDBInitialize)
                     << "; element->next = " << reinterpret_cast<uintptr_t>(element->next)
                     << ModEndl;
    if (number > _slist.listCount) {
      ModErrorMessage << "element count over _slist.listCount" << ModEndl;
      return;
    }
    if (limit > 0 && number > limit) {
      ModNormalMessage << "element number exceeds limit:" << limit << ModEndl;
      return;
    }
  }
}

void OdbSession::checkDataSourceOrThrow() {
  if (OdbDataSource::checkEnable(_pDataSource) != TAV_TRUE) {
    ModErrorMessage << "Check OdbDataSource failed." << ModEndl;
    throw TAV_E_DATASOURCEDISABLED;
  }
}

OdbDataSource* OdbSession::GetOdbDataSource() {
  checkDataSourceOrThrow();
  return _pDataSource;
}

void OdbSession::ReleaseRowset(OdbRowset** rowset) {
  if (rowset == nullptr || *rowset == nullptr) return;
  delete *rowset;
  *rowset = nullptr;
}

void OdbSession::GetLastError(OdbErrorInfo* info) {
  OdbMoveLastError(_lastError, info);
}

void* OdbSession::getInternal() {
  return _pInternal;
}

TavResult OdbSession::checkCommandLength(const char16_t* command, int paramCount,
                                         const TavVariant* params, TavBoolean* pbOver) {
  const size_t length = TavStrlen(command);
  if (static_cast<size_t>(_commandLength) + length <= static_cast<size_t>(kMaxCommandLength) &&
      _paramCount + paramCount < kMaxParamCount) {
    const TavResult rc = setCommandParam(command, paramCount, params);
    if (rc != S_OK) {
      ModErrorMessage << "Fail to set command parameter" << ModEndl;
      return rc;
    }
    *pbOver = TAV_FALSE;
  } else {
    *pbOver = TAV_TRUE;
  }
  return S_OK;
}

TavResult OdbSession::setCommandParam(const char16_t* command, int paramCount,
                                      const TavVariant* params) {
  for (int i = 0; i < paramCount; ++i) {
    if (!isStageableType(params[i].type)) {
      error(__FILE_NAME__, __LINE__, E_INVALIDARG);
      return E_INVALIDARG;
    }
  }
  char16_t* joined = nullptr;
  TavResult rc = TavConcatString(&joined, _pCommandText, command);
  if (rc != S_OK) {
    error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
    return rc;
  }
  char16_t* spaced = nullptr;
  rc = addSpace(joined, &spaced);
  if (rc != S_OK) {
    ModErrorMessage << "Fail to add space" << ModEndl;
    TavFreeMemory(joined);
    return rc;
  }

  TavVariant* grown = nullptr;
  if (paramCount != 0) {
    const int32_t total = _paramCount + paramCount;
    grown = new (std::nothrow) TavVariant[total]();
    if (grown == nullptr) {
      error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
      TavFreeMemory(spaced);
      return E_OUTOFMEMORY;
    }
    for (int32_t i = 0; i < total; ++i) {
      const TavVariant& source = i < _paramCount ? _pParams[i] : params[i - _paramCount];
      if (TavCopyVariant(&grown[i], &source) != S_OK) {
        error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
        freeStagedParams(grown, i);
        TavFreeMemory(spaced);
        return E_OUTOFMEMORY;
      }
    }
  }

  // Nothing can fail from here on: the stage changes as a whole or not at all.
  if (_pCommandText != nullptr) TavFreeMemory(_pCommandText);
  _pCommandText = spaced;
  _commandLength += static_cast<int32_t>(TavStrlen(command)) + 1;
  if (grown != nullptr) {
    if (_pParams != nullptr) freeStagedParams(_pParams, _paramCount);
    _pParams = grown;
    _paramCount += paramCount;
  }
  return S_OK;
}

TavResult OdbSession::addSpace(char16_t* text, char16_t** out) {
  TavCharStream blank;
  blank << " ";
  const TavResult rc = TavConcatString(out, text, blank.getString());
  if (rc != S_OK) {
    error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
    return rc;
  }
  if (text != nullptr) TavFreeMemory(text);
  return S_OK;
}

void OdbSession::enterWriteF() {
  checkDataSourceOrThrow();
  _pDataSource->SetWriteF(1);
}

void OdbSession::leaveWriteF() {
  checkDataSourceOrThrow();
  _pDataSource->SetWriteF(0);
}

int OdbSession::waitWriteF() {
  checkDataSourceOrThrow();
  return _pDataSource->GetWriteF();
}

void OdbSession::error(const char* file, int line, TavResult rc) {
  OdbLogFailure(__FILE_NAME__, __LINE__, file, line, rc);
}
