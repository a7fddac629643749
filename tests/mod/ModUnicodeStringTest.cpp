#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Mod/ModUnicodeString.h"
#include "platform/mod/ModUnicodeConversion.h"

namespace {

// "aé中😀": one, two, three and four UTF-8 bytes; the last a surrogate pair.
const std::string kUtf8 = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
const std::u16string kUtf16 = u"a\u00e9\u4e2d\U0001F600";
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(ModUnicodeConversion, RoundTripsEveryEncodedLengthIncludingNonBmp) {
  EXPECT_EQ(ModUtf8ToUtf16(kUtf8), kUtf16);
  EXPECT_EQ(ModUtf16ToUtf8(kUtf16), kUtf8);
  EXPECT_EQ(ModUtf8ToUtf16(""), u"");
  EXPECT_EQ(ModUtf16ToUtf8(u""), "");
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(ModUtf8ToUtf16(withNul), std::u16string(u"a\0b", 3));
}

TEST(ModUnicodeConversion, InvalidInputBecomesReplacementCharacters) {
  EXPECT_EQ(ModUtf8ToUtf16("a\xFF"
                           "b"),
            u"a\uFFFDb");
  EXPECT_EQ(ModUtf8ToUtf16("end\xE4\xB8"), u"end\uFFFD");            // truncated sequence
  EXPECT_EQ(ModUtf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong '/'
  EXPECT_EQ(ModUtf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(ModUtf16ToUtf8(std::u16string(1, char16_t{0xD83D})), kReplacement);
  EXPECT_EQ(ModUtf16ToUtf8(std::u16string{u'x', char16_t{0xDE00}, u'y'}), "x" + kReplacement + "y");
  EXPECT_EQ(ModUtf16ToUtf8(std::u16string{char16_t{0xDE00}, char16_t{0xD83D}}),
            kReplacement + kReplacement);  // pair in the wrong order
}

// Long text is converted in pieces; no piece boundary may change the result.
TEST(ModUnicodeConversion, PieceBoundariesNeverSplitACharacter) {
  const std::string utf8 = kUtf8 + "\xFF" + kUtf8 + "\x80\x80\x80\x80\x80" + kUtf8 + "\xF0\x9F";
  const std::u16string utf16 = kUtf16 + char16_t{0xDC00} + kUtf16 + char16_t{0xD800};
  const std::u16string wholeUtf16 = ModUtf8ToUtf16(utf8);
  const std::string wholeUtf8 = ModUtf16ToUtf8(utf16);
  for (size_t piece = 4; piece <= 12; ++piece) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(ModUtf8ToUtf16Chunked(utf8, piece), wholeUtf16);
    EXPECT_EQ(ModUtf16ToUtf8Chunked(utf16, piece), wholeUtf8);
  }
}

TEST(ModUnicodeString, ConstructsFromEveryFormAndCopiesOut) {
  EXPECT_EQ(ModUnicodeString(static_cast<const char16_t*>(nullptr)).getLength(), 0u);
  EXPECT_EQ(ModUnicodeString(static_cast<const char*>(nullptr), ModKanjiCode::utf8).getLength(),
            0u);
  EXPECT_EQ(ModUnicodeString(kUtf8.c_str(), ModKanjiCode::utf8).str(), kUtf16);
  EXPECT_EQ(ModUnicodeString(u"abcdef", 3).str(), u"abc");
  EXPECT_EQ(ModUnicodeString(kUtf16).getString(), kUtf8);

  // A copy is terminated and independent.
  const ModUnicodeString text(kUtf16);
  std::unique_ptr<char16_t[]> copy(text.allocateCopy());
  EXPECT_EQ(std::u16string(copy.get()), kUtf16);
  EXPECT_NE(copy.get(), text.c_str());
  std::unique_ptr<char16_t[]> empty(ModUnicodeString().allocateCopy());
  EXPECT_EQ(empty[0], u'\0');
}

TEST(ModUnicodeString, ComparesInCodeUnitOrder) {
  const ModUnicodeString a(u"a"), ab(u"ab"), b(u"b");
  EXPECT_EQ(a.compare(a), 0);
  EXPECT_EQ(a.compare(ab), -1);  // a prefix sorts first
  EXPECT_EQ(ab.compare(b), -1);
  EXPECT_EQ(b.compare(a), 1);
  // A surrogate (0xD83D) sorts below U+FFFD in code-unit order.
  EXPECT_LT(ModUnicodeString(u"\U0001F600"), ModUnicodeString(u"\uFFFD"));
}

}  // namespace
