// The placeholder full-text backend's data source: it keeps the shape of
// the other backends and does no work. It is registered like any data
// source; Initialize sets no provider, so it never joins the database list.
#ifndef TAVODB_ODB_DATA_SOURCE_FTS_H
#define TAVODB_ODB_DATA_SOURCE_FTS_H

#include "TavOdb/OdbDataSource.h"

class TAVODB_API OdbDataSourceFts : public OdbDataSource {
 public:
  OdbDataSourceFts();
  ~OdbDataSourceFts() override;
  // S_OK; nothing is recorded.
  TavResult Initialize(const char16_t* dataSource, const char16_t* catalog, const char16_t* userId,
                       const char16_t* password) override;
  // S_OK; no session is created and *session is not written.
  TavResult CreateSession(OdbSession** session) override;
};

#endif  // TAVODB_ODB_DATA_SOURCE_FTS_H
