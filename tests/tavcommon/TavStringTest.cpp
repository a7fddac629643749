#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "Com/ComVariant.h"
#include "TavCommon.h"
#include "support/TestSupport.h"

namespace {

// U+1F600 takes two code units.
const char16_t kSmile[] = u"\U0001F600";

std::vector<std::u16string> split(const char16_t* source, char16_t separator) {
  char16_t** parts = nullptr;
  int32_t count = -1;
  EXPECT_EQ(TavSplitString(&parts, &count, source, separator), S_OK);
  std::vector<std::u16string> pieces;
  for (int32_t i = 0; i < count; ++i) {
    pieces.emplace_back(parts[i]);
    TavFreeMemory(parts[i]);
  }
  TavFreeMemory(static_cast<void*>(parts));
  return pieces;
}

TEST(TavStringTest, CompareByCodeUnitWithNullFirst) {
  EXPECT_EQ(TavStrcmp(u"abc", u"abc"), 0);
  EXPECT_LT(TavStrcmp(u"ab", u"abc"), 0);
  EXPECT_GT(TavStrcmp(u"abd", u"abc"), 0);
  // Code-unit order, unsigned: U+FFFF sorts after a surrogate pair.
  EXPECT_GT(TavStrcmp(u"\uFFFF", kSmile), 0);
  EXPECT_GT(TavStrcmp(u"\u00E9", u"z"), 0);
  EXPECT_EQ(TavStrcmp(nullptr, nullptr), 0);
  EXPECT_LT(TavStrcmp(nullptr, u""), 0);
  EXPECT_GT(TavStrcmp(u"", nullptr), 0);
}

TEST(TavStringTest, CopyAndConcat) {
  AllocationCounter counter;
  char16_t* copy = nullptr;
  ASSERT_TAV_OK(TavCopyString(&copy, kSmile));
  EXPECT_EQ(std::u16string(copy), kSmile);
  char16_t* joined = nullptr;
  ASSERT_TAV_OK(TavConcatString(&joined, copy, u"x"));
  EXPECT_EQ(std::u16string(joined), u"\U0001F600x");
  EXPECT_EQ(TavStrlen(joined), 3u);  // lengths count code units
  EXPECT_EQ(TavStrlen(nullptr), 0u);
  TavFreeMemory(copy);
  TavFreeMemory(joined);

  ASSERT_TAV_OK(TavConcatString(&joined, nullptr, nullptr));
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(joined[0], u'\0');
  TavFreeMemory(joined);

  copy = reinterpret_cast<char16_t*>(0x1);
  ASSERT_TAV_OK(TavCopyString(&copy, nullptr));
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(counter.outstanding(), 0);

  char16_t* untouched = nullptr;
  {
    AllocationCounter failing(0);
    EXPECT_TAV_RC(E_OUTOFMEMORY, TavCopyString(&untouched, u"abc"));
  }
  {
    AllocationCounter failing(0);
    EXPECT_TAV_RC(E_OUTOFMEMORY, TavConcatString(&untouched, u"a", u"b"));
  }
  EXPECT_EQ(untouched, nullptr);
  EXPECT_TAV_RC(E_INVALIDARG, TavCopyString(nullptr, u"abc"));
}

TEST(TavStringTest, NoMallocWritesIntoTheCallersRoom) {
  char16_t room[8] = {};
  char16_t* destination = room;
  ASSERT_TAV_OK(TavCopyString(&destination, u"ab", TAV_NO_MALLOC));
  EXPECT_EQ(destination, room);
  // Appending in place: the room is also the first operand.
  ASSERT_TAV_OK(TavConcatString(&destination, room, kSmile, TAV_NO_MALLOC));
  EXPECT_EQ(std::u16string(room), u"ab\U0001F600");

  char16_t* none = nullptr;
  EXPECT_TAV_RC(E_INVALIDARG, TavCopyString(&none, u"ab", TAV_NO_MALLOC));
  EXPECT_EQ(TavAllocateMemory(16, TAV_NO_MALLOC), nullptr);

  // Split fills the caller's pieces, and refuses a missing one.
  char16_t first[4] = {};
  char16_t second[4] = {};
  char16_t* pointers[2] = {first, second};
  char16_t** parts = pointers;
  int32_t count = 0;
  ASSERT_TAV_OK(TavSplitString(&parts, &count, u"ab|c", u'|', TAV_NO_MALLOC));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(parts, pointers);
  EXPECT_EQ(std::u16string(first) + u"," + second, u"ab,c");
  char16_t* missing[2] = {first, nullptr};
  parts = missing;
  EXPECT_TAV_RC(E_INVALIDARG, TavSplitString(&parts, &count, u"ab|c", u'|', TAV_NO_MALLOC));
}

TEST(TavStringTest, SplitKeepsEmptyPieces) {
  using Pieces = std::vector<std::u16string>;
  EXPECT_EQ(split(u"a,,b", u','), (Pieces{u"a", u"", u"b"}));
  EXPECT_EQ(split(u",a,", u','), (Pieces{u"", u"a", u""}));
  EXPECT_EQ(split(u"", u','), (Pieces{u""}));
  EXPECT_EQ(split(u",", u','), (Pieces{u"", u""}));
  EXPECT_EQ(split(u"abc", u','), (Pieces{u"abc"}));
  // Pieces cut at a unit, never inside a surrogate pair of another piece.
  EXPECT_EQ(split(u"\U0001F600;x;\U0001F600", u';'), (Pieces{kSmile, u"x", kSmile}));

  char16_t** parts = reinterpret_cast<char16_t**>(0x1);
  int32_t count = -1;
  ASSERT_TAV_OK(TavSplitString(&parts, &count, nullptr, u','));
  EXPECT_EQ(parts, nullptr);
  EXPECT_EQ(count, 0);
}

TEST(TavStringTest, SplitFailureReleasesEveryPiece) {
  for (long failAt = 0; failAt < 4; ++failAt) {
    AllocationCounter counter(failAt);
    char16_t** parts = nullptr;
    int32_t count = -1;
    EXPECT_TAV_RC(E_OUTOFMEMORY, TavSplitString(&parts, &count, u"a,b,c", u','));
    EXPECT_EQ(counter.outstanding(), 0);
    EXPECT_EQ(parts, nullptr);
    EXPECT_EQ(count, -1);
  }
}

TEST(TavStringTest, NarrowsToUtf8) {
  char* narrow = nullptr;
  ASSERT_TAV_OK(TavStringToAscii2(&narrow, u"A\u00E9\U0001F600", TAV_CHARCODE_DEFAULT));
  EXPECT_STREQ(narrow, "A\xC3\xA9\xF0\x9F\x98\x80");
  TavFreeMemory(narrow);

  ASSERT_TAV_OK(TavStringToAscii2(&narrow, nullptr, TAV_CHARCODE_DEFAULT));
  EXPECT_EQ(narrow, nullptr);
  EXPECT_TAV_RC(E_INVALIDARG, TavStringToAscii2(&narrow, u"a", static_cast<TavCharCode>(1)));

  char room[8];
  char* destination = room;
  ASSERT_TAV_OK(TavStringToAscii2(&destination, u"\u00E9", TAV_CHARCODE_DEFAULT, TAV_NO_MALLOC));
  EXPECT_STREQ(room, "\xC3\xA9");
}

TEST(TavStringTest, BstrCopiesTakeAllTheUnitsTheirPrefixCounts) {
  const char16_t units[] = {u'a', u'\0', 0xD83D, 0xDE00};
  char16_t* bstr = SysAllocStringLen(units, 4);
  char16_t* copy = nullptr;
  ASSERT_TAV_OK(TavDmaStringToString(&copy, bstr));
  EXPECT_EQ(std::u16string(copy, 5), std::u16string(units, 4) + u'\0');
  TavFreeMemory(copy);
  TavSysFreeString(bstr);

  ASSERT_TAV_OK(TavDmaStringToString(&copy, nullptr));
  EXPECT_EQ(copy, nullptr);
}

}  // namespace
