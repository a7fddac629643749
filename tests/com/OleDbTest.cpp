#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "Com/ComMemory.h"
#include "Com/ComRegistry.h"
#include "Com/OleDb.h"

namespace {

// The shapes other code computes buffer offsets from.
static_assert(sizeof(HROW) == sizeof(void*) && sizeof(HACCESSOR) == sizeof(void*));
static_assert(sizeof(DBLENGTH) == sizeof(void*) && sizeof(DBROWCOUNT) == sizeof(void*));
static_assert(sizeof(DBTIMESTAMP) == 16);
static_assert(sizeof(HRESULT) == 4 && sizeof(ULONG) == 4 && sizeof(DBTYPE) == 2);
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, bstrVal) == 8);

TEST(OleDbTest, InterfaceIdentifiersAreDistinct) {
  const std::vector<GUID> ids = {
      IID_IUnknown,         IID_IClassFactory,     IID_IMalloc,           IID_IErrorInfo,
      IID_ICreateErrorInfo, IID_ISupportErrorInfo, IID_ISequentialStream, IID_IRowsetChange,
      IID_IDBCreateCommand, IID_ICommandText,      IID_IDBCreateSession,  IID_ITransactionLocal,
      IID_ICommand,         IID_IErrorRecords,     IID_IOpenRowset,       IID_ISQLErrorInfo,
      IID_IRowset,          IID_ITableDefinition,  IID_IDBProperties,     IID_IDBInitialize,
      IID_IAccessor,        IID_ITransaction,      CLSID_SQLOLEDB,        DBPROPSET_DBINIT,
      DBPROPSET_ROWSET,     DBGUID_DEFAULT};
  for (size_t i = 0; i < ids.size(); ++i) {
    for (size_t j = i + 1; j < ids.size(); ++j) {
      EXPECT_FALSE(IsEqualGUID(ids[i], ids[j])) << i << " and " << j;
    }
  }
  EXPECT_FALSE(ComGuidLess()(IID_IRowset, IID_IRowset));
  EXPECT_NE(ComGuidLess()(IID_IRowset, IID_IAccessor), ComGuidLess()(IID_IAccessor, IID_IRowset));
}

}  // namespace
