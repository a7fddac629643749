#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "AllocationCounter.h"
#include "TavCommon.h"
#include "support/TestSupport.h"

namespace {

TEST(TavCharStreamTest, JoinsNarrowWideAndIntegerPiecesAndGrows) {
  TavCharStream stream;
  EXPECT_EQ(std::u16string(stream.getString()), u"");
  stream << "select @x = " << -12 << u" \U0001F600 " << 7u << " " << LONG_MIN << " " << ULONG_MAX
         << " caf\xC3\xA9" << static_cast<const char*>(nullptr)
         << static_cast<const char16_t*>(nullptr);
  const std::u16string expected =
      u"select @x = -12 \U0001F600 7 -9223372036854775808 "
      u"18446744073709551615 caf\u00E9";
  EXPECT_EQ(std::u16string(stream.getString()), expected);
  EXPECT_EQ(stream.getLength(), expected.size());

  char16_t* copy = nullptr;
  ASSERT_TAV_OK(stream.copyTo(&copy));
  EXPECT_EQ(std::u16string(copy), expected);
  TavFreeMemory(copy);

  // After a clear, and past the first buffer.
  stream.clear();
  EXPECT_EQ(stream.getLength(), 0u);
  std::u16string again;
  for (int i = 0; i < 1000; ++i) {
    stream << u"piece" << i << ",";
    const std::string digits = std::to_string(i);
    again += u"piece" + std::u16string(digits.begin(), digits.end()) + u",";
  }
  EXPECT_EQ(std::u16string(stream.getString()), again);
}

TEST(TavCharStreamTest, FailedGrowthDropsTheTextUntilCleared) {
  AllocationCounter counter(1);  // the first buffer works, growing it fails
  TavCharStream stream;
  stream << "delete from T";
  ASSERT_EQ(stream.getLength(), 13u);
  stream << std::string(200, 'x').c_str() << " where id = 5";
  EXPECT_TRUE(counter.failed());
  EXPECT_EQ(std::u16string(stream.getString()), u"");
  char16_t* copy = nullptr;
  EXPECT_TAV_RC(E_OUTOFMEMORY, stream.copyTo(&copy));
  EXPECT_EQ(copy, nullptr);

  stream.clear();
  stream << u"ok";
  ASSERT_TAV_OK(stream.copyTo(&copy));
  EXPECT_EQ(std::u16string(copy), u"ok");
  TavFreeMemory(copy);
}

}  // namespace
