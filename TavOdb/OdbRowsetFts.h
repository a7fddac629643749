// The placeholder full-text backend's rowset: fixed results, no rows.
#ifndef TAVODB_ODB_ROWSET_FTS_H
#define TAVODB_ODB_ROWSET_FTS_H

#include "TavOdb/OdbRowset.h"

class TAVODB_API OdbRowsetFts : public OdbRowset {
 public:
  OdbRowsetFts();
  ~OdbRowsetFts() override;

  // S_OK; nothing is recorded.
  TavResult Initialize(OdbSession* session, const char16_t* commandText, int fetchRows,
                       int paramCount, const TavVariant* params, int columnCount,
                       TavVariant* columns) override;
  // S_OK; no row is delivered.
  TavResult GetNextRow(int mode) override;
  // TAV_E_NOTSUPPORTED.
  TavResult GetNextRow2(int skip, int mode) override;
  // TAV_E_NOTSUPPORTED.
  TavResult GetSectionNumbers(TavVariant* values, int count) override;
};

#endif  // TAVODB_ODB_ROWSET_FTS_H
