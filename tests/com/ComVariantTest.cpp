#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Com/ComMemory.h"
#include "Com/ComVariant.h"

namespace {

TEST(ComBstrTest, PrefixHoldsTheByteCountAndExplicitLengthsKeepNulUnits) {
  BSTR bstr = SysAllocString(u"a\U0001F600");
  ASSERT_NE(bstr, nullptr);
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<char*>(bstr) - sizeof prefix, sizeof prefix);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(SysStringLen(bstr), 3u);
  EXPECT_EQ(SysStringByteLen(bstr), 6u);
  EXPECT_EQ(bstr[3], u'\0');
  SysFreeString(bstr);

  const char16_t text[] = {u'a', u'\0', u'b'};
  bstr = SysAllocStringLen(text, 3);
  EXPECT_EQ(std::u16string(bstr, SysStringLen(bstr)), std::u16string(text, 3));
  SysFreeString(bstr);
  BSTR blank = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(SysStringLen(blank), 4u);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(blank[i], u'\0');
  SysFreeString(blank);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

// ASan reports a leak if a clear or a copy over a string drops it.
TEST(ComVariantTest, CopyDuplicatesAndClearReleasesStrings) {
  VARIANT source;
  VariantInit(&source);
  EXPECT_EQ(source.vt, VT_EMPTY);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(u"server");
  VARIANT copy;
  VariantInit(&copy);
  copy.vt = VT_BSTR;
  copy.bstrVal = SysAllocString(u"old");  // cleared by the copy
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  EXPECT_EQ(std::u16string(copy.bstrVal), u"server");
  EXPECT_EQ(VariantClear(&source), S_OK);
  EXPECT_EQ(source.vt, VT_EMPTY);
  VariantClear(&copy);

  source.vt = 0x2000;  // an array type this runtime does not know
  source.lVal = 5;
  EXPECT_EQ(VariantClear(&source), DISP_E_BADVARTYPE);
  EXPECT_EQ(source.vt, 0x2000);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(ComMemoryTest, TaskAllocator) {
  IMalloc* allocator = nullptr;
  ASSERT_EQ(CoGetMalloc(MEMCTX_TASK, &allocator), S_OK);
  void* block = allocator->Alloc(10);
  ASSERT_NE(block, nullptr);
  EXPECT_GE(allocator->GetSize(block), 10u);
  std::memset(block, 7, 10);
  block = allocator->Realloc(block, 1000);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(block)[9], 7);
  allocator->Free(block);
  allocator->Release();

  EXPECT_EQ(CoGetMalloc(0, &allocator), E_INVALIDARG);
  EXPECT_EQ(allocator, nullptr);
  EXPECT_EQ(CoGetMalloc(MEMCTX_TASK, nullptr), E_INVALIDARG);

  void* grown = CoTaskMemRealloc(nullptr, 8);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(CoTaskMemRealloc(grown, 0), nullptr);  // freed
}

}  // namespace
