// One engine prepared statement of one database, created and run through
// OdbSessionCorvid and able to feed an OdbRowsetCorvid.
#ifndef TAVODB_ODB_PREPARE_STATEMENT_H
#define TAVODB_ODB_PREPARE_STATEMENT_H

#include "TavOdbExport.h"

namespace Corvid::Client {
class DataSource;
class PrepareStatement;
}  // namespace Corvid::Client

class TAVODB_API OdbPrepareStatement {
 public:
  // Prepares statementText for databaseName on dataSource. Engine
  // exceptions pass to the caller.
  OdbPrepareStatement(Corvid::Client::DataSource* dataSource, const char16_t* databaseName,
                      const char16_t* statementText);
  // Releases the engine statement.
  ~OdbPrepareStatement();
  OdbPrepareStatement(const OdbPrepareStatement&) = delete;
  OdbPrepareStatement& operator=(const OdbPrepareStatement&) = delete;

  Corvid::Client::PrepareStatement* GetPrepareStatement();

 private:
  Corvid::Client::PrepareStatement* _pStatement;  // owned
};

#endif  // TAVODB_ODB_PREPARE_STATEMENT_H
