#include "TavOdb/OdbSession.h"

#include <map>
#include <memory>
#include <new>
#include <utility>

#include "Com/OleDb.h"
#include "Mod/ModCriticalSection.h"
#include "Mod/ModMessage.h"
#include "Mod/ModUnicodeString.h"
#include "TavMod/TavDefaultParameter.h"

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

}  // namespace

SessionClient::SessionClient() : isBusy(0), isStopRequested(0) {}

SessionClient::~SessionClient() = default;

OdbSession::OdbSession()
    : _pSessionElement(nullptr), _poolMode(1), _pSessionClient(nullptr) {}

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
}

SessionClient* OdbSession::CreateSessionClient() { return nullptr; }

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
