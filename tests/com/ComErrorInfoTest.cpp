#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "Com/ComErrorInfo.h"
#include "Com/ComObject.h"

namespace {

ComPtr<IErrorInfo> makeError(const char16_t* description) {
  ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(create.put()), S_OK);
  EXPECT_EQ(create->SetDescription(description), S_OK);
  EXPECT_EQ(create->SetSource(u"TestProvider"), S_OK);
  ComPtr<IErrorInfo> info;
  EXPECT_EQ(create.queryInterface(&info), S_OK);
  return info;
}

std::u16string description(IErrorInfo* info) {
  BSTR text = nullptr;
  EXPECT_EQ(info->GetDescription(&text), S_OK);
  std::u16string result = text == nullptr ? u"" : std::u16string(text, SysStringLen(text));
  SysFreeString(text);
  return result;
}

// Counts its own destruction, to see the slot release it.
std::atomic<int> liveErrors{0};
class CountedError final : public ComObject<IErrorInfo> {
 public:
  CountedError() { ++liveErrors; }
  HRESULT GetGUID(GUID*) override { return E_NOTIMPL; }
  HRESULT GetSource(BSTR*) override { return E_NOTIMPL; }
  HRESULT GetDescription(BSTR*) override { return E_NOTIMPL; }
  HRESULT GetHelpFile(BSTR*) override { return E_NOTIMPL; }
  HRESULT GetHelpContext(DWORD*) override { return E_NOTIMPL; }

 private:
  ~CountedError() override { --liveErrors; }
};

TEST(ComErrorInfoTest, GetHandsTheObjectOverAndEmptiesTheSlot) {
  ComPtr<IErrorInfo> error = makeError(u"Login failed \U0001F600");
  ASSERT_EQ(SetErrorInfo(0, error.get()), S_OK);
  IErrorInfo* raw = error.get();
  error.reset();  // the slot keeps its own reference

  ComPtr<IErrorInfo> taken;
  ASSERT_EQ(GetErrorInfo(0, taken.put()), S_OK);
  EXPECT_EQ(taken.get(), raw);
  EXPECT_EQ(description(taken.get()), u"Login failed \U0001F600");
  BSTR source = nullptr;
  ASSERT_EQ(taken->GetSource(&source), S_OK);
  EXPECT_EQ(std::u16string(source), u"TestProvider");
  SysFreeString(source);

  IErrorInfo* none = reinterpret_cast<IErrorInfo*>(0x1);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(GetErrorInfo(1, &none), E_INVALIDARG);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
}

// Replacing, clearing or leaving the slot at thread end releases its object.
TEST(ComErrorInfoTest, EachThreadHasItsOwnErrorObjectAndTheSlotReleasesIt) {
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(SetErrorInfo(0, ComPtr<IErrorInfo>::adopt(new CountedError).get()), S_OK);
    EXPECT_EQ(liveErrors.load(), 1);
  }
  ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
  EXPECT_EQ(liveErrors.load(), 0);

  ASSERT_EQ(SetErrorInfo(0, makeError(u"main").get()), S_OK);
  std::thread other([] {
    IErrorInfo* info = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    ASSERT_EQ(SetErrorInfo(0, makeError(u"other").get()), S_OK);
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(description(info), u"other");
    info->Release();
    ASSERT_EQ(SetErrorInfo(0, ComPtr<IErrorInfo>::adopt(new CountedError).get()), S_OK);
  });
  other.join();
  EXPECT_EQ(liveErrors.load(), 0);

  ComPtr<IErrorInfo> mine;
  ASSERT_EQ(GetErrorInfo(0, mine.put()), S_OK);
  EXPECT_EQ(description(mine.get()), u"main");
}

}  // namespace
