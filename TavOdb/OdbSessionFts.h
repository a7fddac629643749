// The placeholder full-text backend's session: every call answers with a
// fixed result and touches none of its arguments.
#ifndef TAVODB_ODB_SESSION_FTS_H
#define TAVODB_ODB_SESSION_FTS_H

#include "TavOdb/OdbSession.h"

class TAVODB_API OdbSessionFts : public OdbSession {
 public:
  OdbSessionFts();
  ~OdbSessionFts() override;

  TavResult Initialize(OdbDataSource* dataSource, OdbPoolMode mode) override;
  TavResult PutCommand(const char16_t* command, int paramCount, const TavVariant* params) override;
  TavResult FlushCommand() override;
  TavResult CancelCommand() override;
  TavResult BeginTransaction(OdbTransactMode mode, OdbIsolationLevel level) override;
  TavResult CommitTransaction() override;
  TavResult AbortTransaction() override;
  TavResult ReadText(const char16_t* table, const char16_t* column, const char16_t* condition,
                     int offset, int size, TavBuffer* out) override;
  TavResult UpdateText(const char16_t* table, const char16_t* column, const char16_t* condition,
                       int offset, int deleteLength, TavBuffer data, OdbUpdateMode mode) override;
  // S_OK; no rowset is created and *rowset is not written.
  TavResult CreateRowset(OdbRowset** rowset) override;
  // TAV_E_NOTSUPPORTED.
  TavResult UpdateFullText(const char16_t* table, const char16_t* column, const char16_t* condition,
                           int count, const TavVariant* values, const TavVariant* languages,
                           OdbUpdateMode mode) override;

  TavResult DeleteRow(const char16_t* table, const char16_t* condition);
  TavResult CreateTable(const char16_t* table);
  TavResult BeginInsertRow(const char16_t* table, int mode);
  // S_OK; the out integer is not written.
  TavResult InsertRow(int count, const TavVariant* values, int* inserted);
  TavResult EndInsertRow();
  // The session's provider objects as they are, without a new reference.
  IDBCreateCommand* GetIDBCreateCommand();

 protected:
  TavResult execCommand() override;
  TavResult clearInfo() override;
  IDBCreateSession* GetIDBCreateSession();
};

#endif  // TAVODB_ODB_SESSION_FTS_H
