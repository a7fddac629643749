#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "AllocationCounter.h"
#include "TavCommon.h"
#include "support/TestSupport.h"

namespace {

const GUID kSample = {0x0C7FF16C, 0x38E3, 0x11D0, {0x97, 0xAB, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};

TEST(TavGuidTest, TextIsUpperCaseFieldOrderedAndParsesInEitherCase) {
  char16_t* text = nullptr;
  ASSERT_TAV_OK(TavGuidToString(&text, kSample));
  EXPECT_EQ(std::u16string(text), u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}");
  TavFreeMemory(text);
  char16_t room[39];
  char16_t* destination = room;
  ASSERT_TAV_OK(TavGuidToString(&destination, GUID{}, TAV_NO_MALLOC));
  EXPECT_EQ(std::u16string(room), u"{00000000-0000-0000-0000-000000000000}");

  GUID parsed{};
  ASSERT_TAV_OK(TavStringToGuid(&parsed, u"{0c7ff16c-38e3-11d0-97ab-00c04fc2ad98}"));
  EXPECT_EQ(TavIsEqualGuid(parsed, kSample), TAV_TRUE);
  // Sign bits and extreme bytes survive the round trip.
  const GUID high = {0xFFFFFFFF, 0x8000, 0x0001, {0xFF, 0, 0x7F, 0x80, 1, 2, 3, 0xFE}};
  ASSERT_TAV_OK(TavGuidToString(&text, high));
  ASSERT_TAV_OK(TavStringToGuid(&parsed, text));
  EXPECT_EQ(std::memcmp(&parsed, &high, sizeof high), 0);
  TavFreeMemory(text);
}

TEST(TavGuidTest, MalformedTextIsRejectedAndLeavesTheGuid) {
  const char16_t* malformed[] = {
      u"",
      u"0C7FF16C-38E3-11D0-97AB-00C04FC2AD98",     // no braces
      u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98",    // no closing brace
      u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}x",  // trailing text
      u" {0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}",  // leading blank
      u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD9}",    // one digit short
      u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD9G}",   // not hex
      u"{0C7FF16C-38E311D0-97AB-00C04FC2AD98-}",   // dash misplaced
      u"{0C7FF16C+38E3-11D0-97AB-00C04FC2AD98}",
      u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD\u0669\u0668}",  // non-ASCII digits
  };
  for (const char16_t* text : malformed) {
    GUID guid = kSample;
    EXPECT_TAV_RC(E_INVALIDARG, TavStringToGuid(&guid, text));
    EXPECT_EQ(TavIsEqualGuid(guid, kSample), TAV_TRUE);
  }
  GUID guid{};
  EXPECT_TAV_RC(E_INVALIDARG, TavStringToGuid(&guid, nullptr));
  EXPECT_TAV_RC(E_INVALIDARG, TavStringToGuid(nullptr, u"{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}"));
}

TEST(TavGuidTest, CopyCompareAndNullSource) {
  AllocationCounter counter;
  GUID* copy = nullptr;
  ASSERT_TAV_OK(TavCopyGuid(&copy, &kSample));
  EXPECT_EQ(TavIsEqualGuid(*copy, kSample), TAV_TRUE);
  copy->Data4[7] ^= 1;
  EXPECT_EQ(TavIsEqualGuid(*copy, kSample), TAV_FALSE);
  TavFreeMemory(copy);

  ASSERT_TAV_OK(TavCopyGuid(&copy, nullptr));
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(counter.outstanding(), 0);

  GUID room{};
  GUID* destination = &room;
  ASSERT_TAV_OK(TavCopyGuid(&destination, &kSample, TAV_NO_MALLOC));
  EXPECT_EQ(destination, &room);
  EXPECT_EQ(TavIsEqualGuid(room, kSample), TAV_TRUE);
}

}  // namespace
