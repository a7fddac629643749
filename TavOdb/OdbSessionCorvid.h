// The engine backend's session. Staged commands keep their parameters as
// engine values and run one by one, in staging order, when the batch is
// flushed; transactions are statements through the same path. The engine
// session itself lives in a client of the engine client cache, obtained the
// first time the engine is needed.
//
// Threads: one thread at a time, except CancelCommand, which another thread
// may call while an attached rowset fetches.
#ifndef TAVODB_ODB_SESSION_CORVID_H
#define TAVODB_ODB_SESSION_CORVID_H

#include <cstdint>
#include <vector>

#include "TavOdb/OdbSession.h"

class ModCriticalSection;
class ModUnicodeString;
class OdbPrepareStatement;
class OdbRowsetCorvid;
namespace Corvid::Client {
class DataSource;
class Session;
}  // namespace Corvid::Client
namespace Corvid::Common {
class Data;
class DataArrayData;
template <class T>
class ObjectPointer;
}  // namespace Corvid::Common

class TAVODB_API OdbSessionCorvid : public OdbSession {
 public:
  OdbSessionCorvid();
  // Rolls back a transaction still open, then gives the client back.
  ~OdbSessionCorvid() override;

  // Binds the session to dataSource; mode 1 gives it an engine client of its
  // own, any other value a cached one. No engine call.
  TavResult Initialize(OdbDataSource* dataSource, OdbPoolMode mode) override;
  // Stages command with its parameters converted to engine values. A failed
  // conversion stages nothing.
  TavResult PutCommand(const char16_t* command, int paramCount, const TavVariant* params) override;
  // Runs the staged commands in order; the first failure ends the batch.
  // The stage is empty afterwards whatever happened.
  TavResult FlushCommand() override;
  TavResult CancelCommand() override;
  TavResult BeginTransaction(OdbTransactMode mode, OdbIsolationLevel level) override;
  // TAV_E_ILLEGALOPERATION while commands are staged.
  TavResult CommitTransaction() override;
  // Drops the staged commands and rolls back.
  TavResult AbortTransaction() override;
  // Not supported by the engine: TAV_E_NOTSUPPORTED.
  TavResult ReadText(const char16_t* table, const char16_t* column, const char16_t* condition,
                     int offset, int size, TavBuffer* out) override;
  TavResult UpdateText(const char16_t* table, const char16_t* column, const char16_t* condition,
                       int offset, int deleteLength, TavBuffer data, OdbUpdateMode mode) override;
  SessionClient* CreateSessionClient() override;
  TavResult CreateRowset(OdbRowset** rowset) override;
  // Runs "update <table> set <column> = ? , ContentTextLanguage = ? where
  // <condition>" with the count values as one array and their languages
  // (string records; null means "ja+en" for each) as another.
  TavResult UpdateFullText(const char16_t* table, const char16_t* column, const char16_t* condition,
                           int count, const TavVariant* values, const TavVariant* languages,
                           OdbUpdateMode mode) override;

  // Obtains the engine client once; a failed attempt is tried again by the
  // next call.
  TavResult Init_Client();
  // The engine session, or null when there is none (no client yet, or the
  // client's key was stopped).
  Corvid::Client::Session* GetClient();
  // Makes rowset's fetch cancellable through CancelCommand.
  void AttachRowset(OdbRowsetCorvid* rowset);
  void DetachRowset();

  // True when the engine accepts the language description ("ja", "en-US",
  // "ja+en").
  static TavBoolean IsSupportedLanguage(const char16_t* language);
  // OUT *statement: a prepared statement of this session's database.
  TavResult CreatePrepareStatement(OdbPrepareStatement** statement, const char16_t* statementText);
  // Destroys *statement; the caller's pointer is left as it is.
  void ReleasePrepareStatement(OdbPrepareStatement** statement);
  TavResult executePrepareStatement(OdbPrepareStatement* statement, int paramCount,
                                    const TavVariant* params);

  // Conversions between TavVariant records and engine values. A number or
  // text that only `target` holds, of the class the record needs, is
  // overwritten in place; convertQueryParams refills target's elements so.
  static TavResult TavVariantToData(const TavVariant* source,
                                    Corvid::Common::ObjectPointer<Corvid::Common::Data>& target);
  static TavResult convertQueryParams(int count, const TavVariant* params,
                                      Corvid::Common::DataArrayData& target);
  // The destination's preset type says what the value is read as; an engine
  // array becomes a TAV_VT_ARRAY record of that element type.
  static TavResult DataToTavVariant(
      const Corvid::Common::ObjectPointer<Corvid::Common::Data>& source, TavVariant* target);
  // OUT *target: a new array (release with TavFreeVariants).
  static TavResult DataToTavVariant(
      const Corvid::Common::ObjectPointer<Corvid::Common::Data>& source, TavVariantArray** target,
      TavVariantType elementType);

 protected:
  TavResult execCommand() override;
  TavResult clearInfo() override;

 private:
  bool checkDataSource();
  // Sends COMMIT or ROLLBACK through the stage and leaves the transaction.
  TavResult endTransaction(const char16_t* statement, const char* operation);
  // The engine exception of `operation` as a result, logged the common way.
  static TavResult reportEngineFailure(const char* operation);

  int32_t _commandCount;
  std::vector<ModUnicodeString*> _commands;
  std::vector<Corvid::Common::DataArrayData*> _paramArrays;
  // Flushed commands kept for PutCommand to refill (see clearInfo), in
  // pairs like the staged ones.
  std::vector<ModUnicodeString*> _spareCommands;
  std::vector<Corvid::Common::DataArrayData*> _spareParamArrays;
  int32_t _clientInitialized;
  OdbRowsetCorvid* _pAttachedRowset;
  ModCriticalSection* _rowsetLock;  // guards _pAttachedRowset against a cancel
  Corvid::Client::DataSource* _pCorvidDataSource;
};

#endif  // TAVODB_ODB_SESSION_CORVID_H
