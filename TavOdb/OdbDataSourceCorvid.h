// The engine backend's data source. It records its four connection strings
// and creates engine sessions; it opens nothing itself: every engine session
// shares the one engine data source of OdbDataSource::InitializeCorvid. The
// first two strings key the engine client cache, and the second names the
// engine database.
#ifndef TAVODB_ODB_DATA_SOURCE_CORVID_H
#define TAVODB_ODB_DATA_SOURCE_CORVID_H

#include "TavOdb/OdbDataSource.h"

class TAVODB_API OdbDataSourceCorvid : public OdbDataSource {
 public:
  OdbDataSourceCorvid();
  ~OdbDataSourceCorvid() override;

  // Records the strings; always S_OK. Connects nothing.
  TavResult Initialize(const char16_t* first, const char16_t* databaseName, const char16_t* third,
                       const char16_t* fourth) override;
  // OUT *session: a new OdbSessionCorvid (null if it cannot be allocated);
  // always S_OK. Initialise it with the data source and a pool mode.
  TavResult CreateSession(OdbSession** session) override;

  // The number of live engine data sources.
  static int32_t getLiveCount();
};

#endif  // TAVODB_ODB_DATA_SOURCE_CORVID_H
