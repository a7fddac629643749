#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "Com/ComMemory.h"
#include "Com/ComObject.h"
#include "Com/ComRegistry.h"
#include "Com/OleDb.h"

namespace {

// The shapes other code computes buffer offsets from.
static_assert(sizeof(HROW) == sizeof(void*) && sizeof(HACCESSOR) == sizeof(void*));
static_assert(sizeof(DBLENGTH) == sizeof(void*) && sizeof(DBROWCOUNT) == sizeof(void*));
static_assert(sizeof(DBTIMESTAMP) == 16);
static_assert(sizeof(HRESULT) == 4 && sizeof(ULONG) == 4 && sizeof(DBTYPE) == 2);
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, bstrVal) == 8);

// Classes and interfaces are looked up by identifier: a copy-pasted one
// would answer for the wrong thing.
TEST(OleDbTest, IdentifiersAreDistinctAndStrictlyOrdered) {
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
      EXPECT_NE(ComGuidLess()(ids[i], ids[j]), ComGuidLess()(ids[j], ids[i])) << i << " " << j;
    }
  }
  EXPECT_FALSE(ComGuidLess()(IID_IRowset, IID_IRowset));
}

TAV_DEFINE_GUID(CLSID_TestSource, 0x5D1B7A10, 0x0E3F, 0x4C2B, 0x9A, 0x61, 0x3E, 0x44, 0x21, 0x7C,
                0x0B, 0x01);
TAV_DEFINE_GUID(CLSID_TestNested, 0x5D1B7A10, 0x0E3F, 0x4C2B, 0x9A, 0x61, 0x3E, 0x44, 0x21, 0x7C,
                0x0B, 0x02);
TAV_DEFINE_GUID(CLSID_Unknown, 0x5D1B7A10, 0x0E3F, 0x4C2B, 0x9A, 0x61, 0x3E, 0x44, 0x21, 0x7C, 0x0B,
                0xFF);

std::atomic<int> liveSources{0};

class TestSource final : public ComObject<IDBInitialize> {
 public:
  TestSource() { ++liveSources; }
  HRESULT Initialize() override { return S_OK; }
  HRESULT Uninitialize() override { return S_OK; }

 private:
  ~TestSource() override { --liveSources; }
};

// Makes TestSource objects; with `nested` set it creates through
// CoCreateInstance again, which must not deadlock on the registry.
class TestFactory final : public ComObject<IClassFactory> {
 public:
  explicit TestFactory(bool nested = false) : _nested(nested) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (_nested) {
      return CoCreateInstance(CLSID_TestSource, nullptr, CLSCTX_INPROC_SERVER, riid, object);
    }
    ComPtr<IUnknown> made = ComPtr<IUnknown>::adopt(static_cast<IDBInitialize*>(new TestSource));
    return made->QueryInterface(riid, object);
  }
  HRESULT LockServer(BOOL) override { return S_OK; }

 private:
  bool _nested;
};

// Registers a factory for one test and revokes it afterwards.
class ComRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    _factory = ComPtr<IClassFactory>::adopt(new TestFactory);
    ASSERT_EQ(ComRegisterClassFactory(CLSID_TestSource, _factory.get()), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(ComRevokeClassFactory(CLSID_TestSource), S_OK);
    // The registry's reference is gone: ours is the only one left.
    _factory->AddRef();
    EXPECT_EQ(_factory->Release(), 1u);
    _factory.reset();
    EXPECT_EQ(liveSources.load(), 0);
  }
  ComPtr<IClassFactory> _factory;
};

TEST_F(ComRegistryTest, CreatesRegisteredClassAsRequestedInterface) {
  ComPtr<IDBInitialize> source;
  ASSERT_EQ(CoCreateInstance(CLSID_TestSource, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                             source.putVoid()),
            S_OK);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->Initialize(), S_OK);
  EXPECT_EQ(liveSources.load(), 1);
  source.reset();
  EXPECT_EQ(liveSources.load(), 0);

  // The factory's own failures come through; nothing is left behind.
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(CLSID_TestSource, nullptr, CLSCTX_INPROC_SERVER, IID_IRowset, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestSource, _factory.get(), CLSCTX_INPROC_SERVER,
                             IID_IDBInitialize, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(liveSources.load(), 0);
}

TEST_F(ComRegistryTest, UnknownClassContextOrSecondRegistrationIsRefused) {
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(CLSID_Unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestSource, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestSource, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
      E_POINTER);
  EXPECT_EQ(ComRevokeClassFactory(CLSID_Unknown), REGDB_E_CLASSNOTREG);

  // A second registration is refused and the first stays (TearDown revokes it).
  ComPtr<IClassFactory> other = ComPtr<IClassFactory>::adopt(new TestFactory);
  EXPECT_EQ(ComRegisterClassFactory(CLSID_TestSource, other.get()), CO_E_OBJISREG);
  other->AddRef();
  EXPECT_EQ(other->Release(), 1u);  // no reference was kept
  EXPECT_EQ(ComRegisterClassFactory(CLSID_Unknown, nullptr), E_INVALIDARG);
}

TEST_F(ComRegistryTest, FactoryMayCreateThroughTheRegistry) {
  ComPtr<IClassFactory> nested = ComPtr<IClassFactory>::adopt(new TestFactory(true));
  ASSERT_EQ(ComRegisterClassFactory(CLSID_TestNested, nested.get()), S_OK);
  ComPtr<IDBInitialize> source;
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestNested, nullptr, CLSCTX_ALL, IID_IDBInitialize, source.putVoid()),
      S_OK);
  EXPECT_TRUE(source);
  EXPECT_EQ(ComRevokeClassFactory(CLSID_TestNested), S_OK);
}

TEST_F(ComRegistryTest, ConcurrentCreationAndRegistration) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> creators;
  for (int t = 0; t < 3; ++t) {
    creators.emplace_back([&stop] {
      while (!stop) {
        ComPtr<IDBInitialize> source;
        ASSERT_EQ(CoCreateInstance(CLSID_TestSource, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDBInitialize, source.putVoid()),
                  S_OK);
        void* object = nullptr;
        const HRESULT hr = CoCreateInstance(CLSID_TestNested, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IDBInitialize, &object);
        ASSERT_TRUE(hr == S_OK || hr == REGDB_E_CLASSNOTREG);
        if (object != nullptr) static_cast<IDBInitialize*>(object)->Release();
      }
    });
  }
  for (int i = 0; i < 200; ++i) {
    ComPtr<IClassFactory> nested = ComPtr<IClassFactory>::adopt(new TestFactory(true));
    ASSERT_EQ(ComRegisterClassFactory(CLSID_TestNested, nested.get()), S_OK);
    ASSERT_EQ(ComRevokeClassFactory(CLSID_TestNested), S_OK);
  }
  stop = true;
  for (std::thread& thread : creators) thread.join();
}

}  // namespace
