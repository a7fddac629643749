// The abstract session, and the process-wide pool of OLE DB provider
// sessions (_slist) that SQL sessions take over and give back.
//
// Threads: a session is used by one thread at a time. The pool list is
// guarded by the pool lock, taken inside the static operations below; the
// database-list lock of OdbDataSource, when also held, is taken first.
#ifndef TAVODB_ODB_SESSION_H
#define TAVODB_ODB_SESSION_H

#include <cstdint>

#include "TavCommonTypes.h"
#include "TavOdbExport.h"

class IDBInitialize;
class IDBCreateSession;
class IDBCreateCommand;
class OdbSession;

// One pooled provider session, made on one data source's IDBInitialize.
struct SessionElement {
  OdbSession* pSession;                 // the session using it, null when none
  IDBInitialize* pIDBInitialize;        // the pool's key; one reference held
  IDBCreateSession* pIDBCreateSession;  // one reference held
  IDBCreateCommand* pIDBCreateCommand;  // the provider session; one reference held
  int32_t isBusy;                       // 0 idle, 1 in use, 2 connection lost
  SessionElement* prev;
  SessionElement* next;
  int32_t isOrphan;  // unlinked while still used: its session frees it
};

// A cached engine session. The engine backend derives its own; the cache
// hands idle clients of one key to the sessions that ask for that key.
class TAVODB_API SessionClient {
 public:
  SessionClient();
  virtual ~SessionClient();
  SessionClient(const SessionClient&) = delete;
  SessionClient& operator=(const SessionClient&) = delete;

  // Non-zero while the client has an open engine session.
  virtual int32_t isOpen() = 0;
  // Opens the engine session of databaseName unless one is open.
  virtual void open(const char16_t* databaseName) = 0;
  // Closes and releases the engine session.
  virtual void close() = 0;

  int32_t isBusy;           // 1 while a session holds it, 0 when idle in the cache
  int32_t isStopRequested;  // its key was stopped while it was busy
};

struct SessionList {
  SessionElement* head;
  SessionElement* tail;
  int32_t listCount;  // bound of every walk
};

class TAVODB_API OdbSession {
 public:
  virtual ~OdbSession();
  OdbSession(const OdbSession&) = delete;
  OdbSession& operator=(const OdbSession&) = delete;

  // Removes every pooled element made on pIDBInitialize, releasing its
  // interfaces. An element still used by a session is unlinked and left for
  // that session's release to free.
  static void StopSession(IDBInitialize* pIDBInitialize);
  // Destroys the idle engine clients of the key (first, second) and drops
  // the key; busy clients live on, marked isStopRequested, with their
  // sessions.
  static void StopSession(const char16_t* first, const char16_t* second);
  // Destroys every cached engine client, busy or not. Called at engine
  // termination, after the engine sessions are gone.
  static void ClearSessionPool();

  // Gives this session an engine client of the key (first, second): a new
  // one in pool mode 1, else an idle cached one or a new cached one.
  // S_OK, or TAV_E_SQL_ERROR when no client can be created. Exceptions of
  // the client's open pass through, with nothing kept.
  TavResult GetSessionClient(const char16_t* first, const char16_t* second);

 protected:
  OdbSession();

  // Gives the session's element back to the pool: idle again unless its
  // connection was lost, freed if it was orphaned meanwhile.
  static void ReleaseSessionElement(OdbSession* session);
  // A new engine client of this backend; null for backends without one.
  virtual SessionClient* CreateSessionClient();
  // Writes the pool list to the log; a positive limit stops after limit + 1
  // elements.
  void writeSlist(int limit);

  SessionElement* _pSessionElement;
  int32_t _poolMode;  // 1 unpooled engine client, anything else cached
  SessionClient* _pSessionClient;

  static SessionList _slist;
};

#endif  // TAVODB_ODB_SESSION_H
