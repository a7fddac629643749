#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Com/ComObject.h"
#include "Com/OleDb.h"

namespace {

// A command that also supports error information: two listed interfaces,
// one of which extends another (ICommandText extends ICommand).
class TestCommand final : public ComObject<ICommandText, ISupportErrorInfo> {
 public:
  explicit TestCommand(bool* destroyed) : _destroyed(destroyed) {}

  HRESULT Cancel() override { return S_OK; }
  HRESULT Execute(IUnknown*, REFIID, DBPARAMS*, DBROWCOUNT*, IUnknown**) override {
    return E_NOTIMPL;
  }
  HRESULT GetDBSession(REFIID, IUnknown**) override { return E_NOTIMPL; }
  HRESULT GetCommandText(GUID*, LPOLESTR*) override { return DB_E_NOCOMMAND; }
  HRESULT SetCommandText(REFGUID, LPCOLESTR) override { return S_OK; }
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
    return IsEqualIID(riid, IID_ICommandText) ? S_OK : S_FALSE;
  }

 private:
  ~TestCommand() override { *_destroyed = true; }
  bool* _destroyed;
};

TEST(ComObjectTest, QueryInterfaceAnswersListedAndExtendedInterfaces) {
  bool destroyed = false;
  ComPtr<ICommandText> text = ComPtr<ICommandText>::adopt(new TestCommand(&destroyed));

  ComPtr<ICommand> command;
  ASSERT_EQ(text.queryInterface(&command), S_OK);
  EXPECT_EQ(static_cast<ICommand*>(text.get()), command.get());
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(text.queryInterface(&support), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ICommandText), S_OK);

  // IUnknown is one identity whichever interface it is asked from.
  ComPtr<IUnknown> fromText;
  ComPtr<IUnknown> fromSupport;
  ASSERT_EQ(text.queryInterface(&fromText), S_OK);
  ASSERT_EQ(support.queryInterface(&fromSupport), S_OK);
  EXPECT_EQ(fromText.get(), fromSupport.get());

  void* rowset = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(text->QueryInterface(IID_IRowset, &rowset), E_NOINTERFACE);
  EXPECT_EQ(rowset, nullptr);
  EXPECT_EQ(text->QueryInterface(IID_IRowset, nullptr), E_POINTER);

  text.reset();
  command.reset();
  support.reset();
  fromText.reset();
  EXPECT_FALSE(destroyed);
  fromSupport.reset();
  EXPECT_TRUE(destroyed);
}

TEST(ComObjectTest, ReferencesFromManyThreadsDestroyOnceAtZero) {
  bool destroyed = false;
  auto* object = new TestCommand(&destroyed);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    object->AddRef();
    threads.emplace_back([object] {
      for (int i = 0; i < 10000; ++i) {
        object->AddRef();
        object->Release();
      }
      object->Release();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_TRUE(destroyed);
}

TEST(ComObjectTest, ComPtrOwnsExactlyOneReference) {
  bool destroyed = false;
  auto* raw = new TestCommand(&destroyed);
  {
    ComPtr<ICommandText> first = ComPtr<ICommandText>::share(raw);  // 2
    ComPtr<ICommandText> second = first;                            // 3
    ComPtr<ICommandText> third = std::move(second);                 // still 3
    EXPECT_FALSE(second);
    ICommandText* detached = third.detach();  // caller owns it
    EXPECT_EQ(detached->Release(), 2u);
  }
  EXPECT_FALSE(destroyed);
  ComPtr<ISupportErrorInfo> support;
  ComPtr<ICommandText> owner = ComPtr<ICommandText>::adopt(raw);
  ASSERT_EQ(owner->QueryInterface(IID_ISupportErrorInfo, support.putVoid()), S_OK);
  owner = nullptr;
  EXPECT_FALSE(destroyed);
  support = ComPtr<ISupportErrorInfo>();
  EXPECT_TRUE(destroyed);

  ComPtr<ICommand> empty;
  ComPtr<IUnknown> result;
  EXPECT_EQ(empty.queryInterface(&result), E_POINTER);
}

}  // namespace
