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
class ICommandText;
class IUnknown;
class OdbDataSource;
class OdbRowset;
class OdbSession;

// 1 gives a session its own engine client; any other value takes one from
// the process-wide cache.
enum OdbPoolMode : int32_t { ODB_POOL_CACHED = 0, ODB_POOL_UNPOOLED = 1 };

enum OdbTransactMode : int32_t {
  ODB_TRANSACT_DEFAULT = 0,
  ODB_TRANSACT_READ_WRITE = 1,
  ODB_TRANSACT_READ_ONLY = 2,
  ODB_TRANSACT_READ_ONLY_SNAPSHOT = 3,
};

enum OdbIsolationLevel : int32_t {
  ODB_ISOLATION_DEFAULT = 0,
  ODB_ISOLATION_READ_UNCOMMITTED = 1,
  ODB_ISOLATION_READ_COMMITTED = 2,
  ODB_ISOLATION_REPEATABLE_READ = 3,
  ODB_ISOLATION_SERIALIZABLE = 4,
};

// 0 replaces the whole text value.
enum OdbUpdateMode : int32_t { ODB_UPDATE_REPLACE = 0 };

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

// One unit of work on one data source: commands are staged with their
// parameters and run as one batch by FlushCommand, transactions begun and
// ended, rowsets created. Made by a data source's CreateSession, initialised
// with Initialize, destroyed by the data source's ReleaseSession.
//
// Operations that must reach a data source that is no longer enabled fail
// with TAV_E_DATASOURCEDISABLED.
class TAVODB_API OdbSession {
 public:
  virtual ~OdbSession();
  OdbSession(const OdbSession&) = delete;
  OdbSession& operator=(const OdbSession&) = delete;

  virtual TavResult Initialize(OdbDataSource* dataSource, OdbPoolMode mode) = 0;
  // Stages one command and its parameters (copied) for the next flush.
  virtual TavResult PutCommand(const char16_t* command, int paramCount,
                               const TavVariant* params) = 0;
  // Runs everything staged as one batch and empties the stage, also when a
  // command fails (the commands after it are not run).
  virtual TavResult FlushCommand() = 0;
  // Cancels the running fetch of an attached rowset (callable from another
  // thread) and drops the staged commands.
  virtual TavResult CancelCommand() = 0;
  virtual TavResult BeginTransaction(OdbTransactMode mode, OdbIsolationLevel level) = 0;
  virtual TavResult CommitTransaction() = 0;
  virtual TavResult AbortTransaction() = 0;
  // OUT out->size, out->data: up to size bytes of a text column from offset.
  virtual TavResult ReadText(const char16_t* table, const char16_t* column,
                             const char16_t* condition, int offset, int size, TavBuffer* out) = 0;
  virtual TavResult UpdateText(const char16_t* table, const char16_t* column,
                               const char16_t* condition, int offset, int deleteLength,
                               TavBuffer data, OdbUpdateMode mode) = 0;
  // A new engine client of this backend; null for backends without one.
  virtual SessionClient* CreateSessionClient();
  // OUT *rowset: a new rowset of this backend, released with ReleaseRowset.
  virtual TavResult CreateRowset(OdbRowset** rowset) = 0;
  // Writes count values of a full-text column with their languages.
  virtual TavResult UpdateFullText(const char16_t* table, const char16_t* column,
                                   const char16_t* condition, int count, const TavVariant* values,
                                   const TavVariant* languages, OdbUpdateMode mode) = 0;

  // The data source; throws TAV_E_DATASOURCEDISABLED (a TavResult) when it
  // is no longer enabled.
  OdbDataSource* GetOdbDataSource();
  // Destroys *rowset and sets it to null; null pointers are ignored.
  void ReleaseRowset(OdbRowset** rowset);
  // Moves the last OLE DB error into *info (see OdbFreeErrorInfo).
  void GetLastError(OdbErrorInfo* info);
  void* getInternal();

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

  virtual TavResult execCommand() = 0;
  virtual TavResult clearInfo() = 0;

  // Stages command and params unless the stage would pass its bounds
  // (1,048,576 characters, fewer than 2000 parameters); OUT *pbOver tells
  // which.
  TavResult checkCommandLength(const char16_t* command, int paramCount, const TavVariant* params,
                               TavBoolean* pbOver);
  TavResult setCommandParam(const char16_t* command, int paramCount, const TavVariant* params);
  // Consumes text: OUT *out is text followed by one blank.
  TavResult addSpace(char16_t* text, char16_t** out);

  // The data source's shared write flag. Each throws TAV_E_DATASOURCEDISABLED
  // when the data source is no longer enabled.
  void enterWriteF();
  void leaveWriteF();
  int waitWriteF();

  void error(const char* file, int line, TavResult rc);

  // Gives the session's element back to the pool: idle again unless its
  // connection was lost, freed if it was orphaned meanwhile.
  static void ReleaseSessionElement(OdbSession* session);
  // Writes the pool list to the log; a positive limit stops after limit + 1
  // elements.
  void writeSlist(int limit);

  OdbDataSource* _pDataSource;
  IDBCreateSession* _pIDBCreateSession;
  IDBCreateCommand* _pIDBCreateCommand;
  ICommandText* _pICommandText;
  IUnknown* _pInsertRowset;
  char16_t* _pCommandText;  // staged commands, each followed by one blank
  int32_t _commandLength;   // staged characters, separators included
  int32_t _paramCount;
  TavVariant* _pParams;  // staged parameters, deep copies
  int32_t _isFTS;
  int32_t _inTransaction;
  SessionElement* _pSessionElement;
  OdbErrorInfo _lastError;
  void* _pInternal;
  int32_t _poolMode;  // 1 unpooled engine client, anything else cached
  SessionClient* _pSessionClient;

  static SessionList _slist;

 private:
  void checkDataSourceOrThrow();
};

#endif  // TAVODB_ODB_SESSION_H
