#include "TavOdb/OdbDataSourceCorvid.h"

#include <new>

#include "Com/OleDb.h"
#include "Mod/ModCriticalSection.h"
#include "TavCommon.h"
#include "TavOdb/OdbSessionCorvid.h"

namespace {

// Guards OdbDataSource::m_bInitialized, the count of live engine data
// sources, which may change on any thread. Never destroyed, like the
// registry locks.
ModCriticalSection& liveCountLock() {
  static ModCriticalSection* lock = new ModCriticalSection;
  return *lock;
}

}  // namespace

OdbDataSourceCorvid::OdbDataSourceCorvid() {
  ModAutoCriticalSection guard(liveCountLock());
  ++m_bInitialized;
}

OdbDataSourceCorvid::~OdbDataSourceCorvid() {
  ModAutoCriticalSection guard(liveCountLock());
  --m_bInitialized;
}

TavResult OdbDataSourceCorvid::Initialize(const char16_t* first, const char16_t* databaseName,
                                          const char16_t* third, const char16_t* fourth) {
  clsid = CLSID_SQLOLEDB;
  // A second Initialize replaces the strings rather than losing them.
  for (char16_t** text : {&pszDataSource, &pszCatalog, &pszUserId, &pszPassword}) {
    if (*text != nullptr) {
      TavFreeMemory(*text);
      *text = nullptr;
    }
  }
  TavCopyString(&pszDataSource, first);
  TavCopyString(&pszCatalog, databaseName);
  TavCopyString(&pszUserId, third);
  TavCopyString(&pszPassword, fourth);
  return S_OK;
}

TavResult OdbDataSourceCorvid::CreateSession(OdbSession** session) {
  *session = new (std::nothrow) OdbSessionCorvid;
  return S_OK;
}

int32_t OdbDataSourceCorvid::getLiveCount() {
  ModAutoCriticalSection guard(liveCountLock());
  return m_bInitialized;
}
