#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Mod/ModException.h"
#include "Mod/ModLanguageSet.h"

namespace {

TEST(ModLanguageSet, CanonicalNameTagsAndEquality) {
  EXPECT_EQ(ModLanguageSet("EN-us+zh-tw").getName().str(), u"en-US+zh-TW");
  EXPECT_EQ(ModLanguageSet(ModUnicodeString(u"en+ja+en")).getName().str(), u"en+ja");

  const ModLanguageSet set("ja+en-US");
  const std::vector<ModLanguageTag> expected = {{"ja", ""}, {"en", "US"}};
  EXPECT_EQ(set.getTags(), expected);
  // Equality follows the canonical form; order and region count.
  EXPECT_EQ(ModLanguageSet("JA+en-us"), ModLanguageSet("ja+en-US"));
  EXPECT_FALSE(ModLanguageSet("ja+en") == ModLanguageSet("en+ja"));
  EXPECT_FALSE(ModLanguageSet("en") == ModLanguageSet("en-US"));
}

TEST(ModLanguageSet, ContainsMatchesLanguageOrExactTag) {
  const ModLanguageSet set("ja+en-US");
  EXPECT_TRUE(set.contains("ja") && set.contains("en"));
  EXPECT_TRUE(set.contains(ModUnicodeString(u"EN-us")));
  for (const char* tag : {"en-GB", "ja-JP", "zh", "", "xx"}) EXPECT_FALSE(set.contains(tag)) << tag;
}

TEST(ModLanguageSet, InvalidStringsThrowLanguageError) {
  for (const char* text : {"", "+", "ja+", "+ja", "ja++en", "xx", "en-XX", "en-", "-US", "ja_JP",
                           " ja", "en-US-x", "japanese"}) {
    SCOPED_TRACE(text);
    try {
      ModLanguageSet set(text);
      ADD_FAILURE() << "accepted as " << set.getName().getString();
    } catch (const ModException& exception) {
      EXPECT_EQ(exception.getErrorModule(), ModModule::Language);
      EXPECT_EQ(exception.getErrorNumber(), ModLanguageErrorNumber::InvalidLanguage);
    }
  }
  EXPECT_THROW(ModLanguageSet(ModUnicodeString(u"\u65e5\u672c")), ModException);
}

}  // namespace
