// The abstract data source and the two process-wide registries every data
// source shares:
//  - the enabled set: each data-source object is registered from its
//    construction to its destruction (or until clearDataSourceMap); sessions
//    and rowsets ask checkEnable before they touch their data source;
//  - the database list: one element per distinct OLE DB connection (server,
//    catalog, provider kind) holding the shared IDBInitialize and write flag.
//
// Threads: the registries are locked inside; a data-source object itself is
// used by one thread at a time.
#ifndef TAVODB_ODB_DATA_SOURCE_H
#define TAVODB_ODB_DATA_SOURCE_H

#include <cstdint>

#include "TavCommonTypes.h"
#include "TavOdbExport.h"

class IDBInitialize;
class ModCriticalSection;
class OdbSession;
namespace Corvid::Client {
class DataSource;
}

// One shared OLE DB connection. The key is (pszDataSource, pszCatalog, bFTS);
// user name and password are not part of it.
struct DatabaseElement {
  char16_t* pszDataSource;
  char16_t* pszCatalog;
  IDBInitialize* pIDBInitialize;  // one reference held by the element
  int32_t bFTS;
  int32_t writeF;    // shared write flag of the sessions and rowsets
  int32_t useCount;  // data sources attached; never decremented
  DatabaseElement* prev;
  DatabaseElement* next;
};

struct DatabaseList {
  DatabaseElement* head;
  DatabaseElement* tail;
  int32_t count;
};

class TAVODB_API OdbDataSource {
 public:
  OdbDataSource();
  // Copies the members; the copy owns copies of the strings and of the
  // last-error record and is not entered in the enabled set.
  OdbDataSource(const OdbDataSource& other);
  OdbDataSource& operator=(const OdbDataSource& other);
  virtual ~OdbDataSource();

  virtual TavResult Initialize(const char16_t* dataSource, const char16_t* catalog,
                               const char16_t* userId, const char16_t* password) = 0;
  // OUT *session: a new session of this backend, to be released with
  // ReleaseSession.
  virtual TavResult CreateSession(OdbSession** session) = 0;

  // A new reference to the connection's IDBInitialize (null before a
  // successful SQL Initialize); the caller releases it.
  IDBInitialize* GetIDBInitialize();
  TavBoolean IsFTS();
  // The shared write flag of this data source's database-list element. Valid
  // only after a successful SQL Initialize. GetWriteF reads without a lock.
  int GetWriteF();
  void SetWriteF(int flag);
  // Destroys *session and sets it to null; null pointers are ignored.
  void ReleaseSession(OdbSession** session);
  void* getInternal();
  // Moves the last OLE DB error into *info (see OdbFreeErrorInfo).
  void GetLastError(OdbErrorInfo* info);

  // 1 while ds is registered as enabled. Throws E_UNEXPECTED (a TavResult)
  // if the registry itself fails.
  static TavBoolean checkEnable(OdbDataSource* ds);
  // Disables every data source at once; the objects themselves stay.
  static TavResult clearDataSourceMap();
  // Tears down the database-list elements of one connection key, with the
  // pooled provider sessions made on them.
  static void StopDataSource(const GUID& clsid, const char16_t* dataSource,
                             const char16_t* catalog);
  // Stops the cached engine clients of the key (first, second).
  static void StopDataSource(const char16_t* first, const char16_t* second);
  // Tears down every database-list element.
  static void StopDataSource2();

  // Starts the full-text engine for the process and opens the one engine
  // data source all engine sessions share: in this process (databases under
  // path) or, when the configured connection mode is 2, the remote server
  // at the configured host and port. Call once, from one thread, before any
  // engine data source is used. S_OK, TAV_E_DISKFULL, TAV_E_DEADLOCK or
  // TAV_E_SQL_ERROR.
  static TavResult InitializeCorvid(const char16_t* path);
  // Empties the engine client cache, closes the engine data source and
  // stops the engine. Call once at the end, after the engine sessions are
  // gone. Failures are logged only.
  static void TerminateCorvid();
  // The engine data source of InitializeCorvid; null before it.
  static Corvid::Client::DataSource* getCorvidDataSource();

 protected:
  // Guards _dblist, its elements and their write flags. A backend holds it
  // from checkDatabaseList through its connection attempt to addDatabaseList.
  static ModCriticalSection& databaseListLock();
  // Both run under the database-list lock held by the caller.
  TavBoolean checkDatabaseList();
  TavResult addDatabaseList();
  void error(const char* file, int line, TavResult rc);

  IDBInitialize* pIDBInitialize;
  GUID clsid;
  char16_t* pszDataSource;
  char16_t* pszCatalog;
  char16_t* pszUserId;
  char16_t* pszPassword;
  DatabaseElement* pElement;
  OdbErrorInfo _lastError;
  void* pInternal;

  static DatabaseList _dblist;
  // Number of live engine data sources.
  static int32_t m_bInitialized;

 private:
  struct Unregistered {};
  // All members zero, not entered in the enabled set.
  explicit OdbDataSource(Unregistered);

  // The engine session keys its client cache and names its database with
  // the first two connection strings.
  friend class OdbSessionCorvid;

  void copyFrom(const OdbDataSource& other);
  void releaseOwned();
};

// The full-text OLE DB provider's class identifier, against which IsFTS
// compares.
TAVODB_API extern const GUID CLSID_TavFullTextProvider;

// Releases the three pointer fields of info and sets them to null.
TAVODB_API void OdbFreeErrorInfo(OdbErrorInfo* info);

#endif  // TAVODB_ODB_DATA_SOURCE_H
