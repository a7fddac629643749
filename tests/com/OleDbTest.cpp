#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "Com/ComMemory.h"
#include "Com/ComRegistry.h"
#include "Com/OleDb.h"
#include "TavCommon.h"

namespace {

// The shapes other code computes buffer offsets from.
static_assert(sizeof(HROW) == sizeof(void*) && sizeof(HACCESSOR) == sizeof(void*));
static_assert(sizeof(DBLENGTH) == sizeof(void*) && sizeof(DBROWCOUNT) == sizeof(void*));
static_assert(sizeof(DBTIMESTAMP) == 16);
static_assert(sizeof(HRESULT) == 4 && sizeof(ULONG) == 4 && sizeof(DBTYPE) == 2);
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, bstrVal) == 8);
static_assert(DBTYPE_BYREF + DBTYPE_WSTR == 0x4082);
static_assert(FAILED(DB_E_ERRORSINCOMMAND) && SUCCEEDED(DB_S_ENDOFROWSET) && SUCCEEDED(S_FALSE));

std::u16string text(const GUID& guid) {
  char16_t* form = nullptr;
  EXPECT_EQ(TavGuidToString(&form, guid), S_OK);
  std::u16string result(form);
  TavFreeMemory(form);
  return result;
}

TEST(OleDbTest, IdentifiersHaveTheirRegistryForms) {
  EXPECT_EQ(text(CLSID_SQLOLEDB), u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}");
  EXPECT_EQ(text(IID_IUnknown), u"{00000000-0000-0000-C000-000000000046}");
  EXPECT_EQ(text(IID_IRowset), u"{0C733A7C-2A1C-11CE-ADE5-00AA0044773D}");
  EXPECT_EQ(text(IID_ITransaction), u"{0FB15084-AF41-11CE-BD2B-204C4F4F5020}");
  EXPECT_EQ(text(DBPROPSET_DBINIT), u"{C8B522BC-5CF3-11CE-ADE5-00AA0044773D}");
}

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
