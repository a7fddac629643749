#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "TavCommon.h"
#include "TavRecords.h"
#include "support/TestSupport.h"

namespace {

// A caller-built tree (no family memory) holding every tag, NULLs and a
// nested array: the source of the deep-copy tests.
struct SampleTree {
  const uint8_t bytes[5] = {0, 1, 2, 0xFE, 0xFF};
  // A non-BMP character (two units) and an embedded NUL.
  const char16_t text[6] = {u'a', 0xD83D, 0xDE00, u'\0', u'z', u'\0'};
  std::vector<TavVariant> inner;
  TavVariantArray innerArray{};
  std::vector<TavVariant> outer;
  TavVariantArray outerArray{};
  TavVariant root{};

  SampleTree() {
    inner.push_back(tavrecords::text(text, 5));
    inner.push_back(tavrecords::null(TAV_VT_STRING));
    inner.push_back(tavrecords::integer(-7, TAV_VT_INT_ALT));
    innerArray = {static_cast<int32_t>(inner.size()), inner.data()};

    outer.push_back(tavrecords::binary(bytes, sizeof bytes));
    outer.push_back(tavrecords::integer(42));
    outer.push_back(tavrecords::dateTime({2024, 2, 29, 23, 59, 58, 999}));
    outer.push_back(tavrecords::real(-1.5e300));
    outer.push_back(tavrecords::guid({0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}}));
    outer.push_back(tavrecords::array(&innerArray));
    outer.push_back(tavrecords::null(TAV_VT_BINARY));
    outer.push_back(tavrecords::text(u"", 0));  // empty, not null
    TavVariant emptyArray = tavrecords::null(TAV_VT_ARRAY);
    emptyArray.hasValue = 1;
    outer.push_back(emptyArray);  // present, null array pointer
    outerArray = {static_cast<int32_t>(outer.size()), outer.data()};
    root = tavrecords::array(&outerArray);
  }
};

void expectDeepEqual(const TavVariant& copy, const TavVariant& source) {
  ASSERT_EQ(copy.type, source.type);
  ASSERT_EQ(copy.hasValue, source.hasValue);
  if (source.hasValue == 0) return;
  switch (source.type) {
    case TAV_VT_BINARY:
      ASSERT_EQ(copy.value.binary.size, source.value.binary.size);
      if (source.value.binary.size != 0) {
        EXPECT_NE(copy.value.binary.data, source.value.binary.data);
        EXPECT_EQ(
            std::memcmp(copy.value.binary.data, source.value.binary.data, source.value.binary.size),
            0);
      }
      break;
    case TAV_VT_STRING:
      ASSERT_EQ(copy.value.string.length, source.value.string.length);
      if (source.value.string.chars == nullptr) {
        EXPECT_EQ(copy.value.string.chars, nullptr);
      } else {
        EXPECT_NE(copy.value.string.chars, source.value.string.chars);
        EXPECT_EQ(std::u16string(copy.value.string.chars, copy.value.string.length),
                  std::u16string(source.value.string.chars, source.value.string.length));
        EXPECT_EQ(copy.value.string.chars[copy.value.string.length], u'\0');
      }
      break;
    case TAV_VT_ARRAY:
      if (source.value.array == nullptr) {
        EXPECT_EQ(copy.value.array, nullptr);
        break;
      }
      ASSERT_NE(copy.value.array, source.value.array);
      ASSERT_EQ(copy.value.array->count, source.value.array->count);
      for (int32_t i = 0; i < source.value.array->count; ++i) {
        expectDeepEqual(copy.value.array->elements[i], source.value.array->elements[i]);
      }
      break;
    default:
      EXPECT_EQ(std::memcmp(&copy.value, &source.value, sizeof copy.value), 0);
      break;
  }
}

bool holdsNoData(const TavVariant& v) {
  TavVariant zero;
  std::memset(&zero, 0, sizeof zero);
  return v.hasValue == 0 && std::memcmp(&v.value, &zero.value, sizeof v.value) == 0;
}

long customBlocks = 0;
void* customAllocate(size_t size) {
  ++customBlocks;
  return std::malloc(size);
}
void customFree(void* memory) {
  --customBlocks;
  std::free(memory);
}

TEST(TavVariantTest, DeepCopyOfEveryTagAndFreeReleasesEverything) {
  SampleTree tree;
  AllocationCounter counter;
  TavVariant copy;
  ASSERT_TAV_OK(TavCopyVariant(&copy, &tree.root));
  expectDeepEqual(copy, tree.root);
  EXPECT_GT(counter.outstanding(), 0);
  const long allocations = counter.allocations();

  TavFreeMemory(&copy);
  EXPECT_EQ(counter.outstanding(), 0);
  EXPECT_EQ(copy.type, TAV_VT_ARRAY);
  EXPECT_EQ(copy.hasValue, 1);
  EXPECT_EQ(copy.value.array, nullptr);

  // A caller's allocator serves every block, and its free releases them all.
  customBlocks = 0;
  ASSERT_TAV_OK(TavCopyVariant(&copy, &tree.root, &customAllocate));
  expectDeepEqual(copy, tree.root);
  EXPECT_EQ(counter.allocations(), allocations);
  EXPECT_GT(customBlocks, 0);
  TavFreeMemory(&copy, &customFree);
  EXPECT_EQ(customBlocks, 0);
}

TEST(TavVariantTest, FailureAtEveryAllocationLeavesNothingAllocated) {
  SampleTree tree;
  long total = 0;
  {
    AllocationCounter counter;
    TavVariant copy;
    ASSERT_TAV_OK(TavCopyVariant(&copy, &tree.root));
    total = counter.allocations();
    TavFreeMemory(&copy);
  }
  ASSERT_GE(total, 6);
  for (long failAt = 0; failAt < total; ++failAt) {
    AllocationCounter counter(failAt);
    TavVariant copy;
    std::memset(&copy, 0xAB, sizeof copy);
    SCOPED_TRACE(failAt);
    EXPECT_TAV_RC(E_OUTOFMEMORY, TavCopyVariant(&copy, &tree.root));
    EXPECT_TRUE(counter.failed());
    EXPECT_EQ(counter.outstanding(), 0);
    EXPECT_EQ(copy.type, TAV_VT_ARRAY);
    EXPECT_TRUE(holdsNoData(copy));
  }
}

TEST(TavVariantTest, RejectsUnknownTagsAndBadRecordsAnywhereInTheTree) {
  for (int tag : {0, 7, 9, 10, 11, 12, 13, 14, 16, -1}) {
    TavVariant bad = tavrecords::integer(1, static_cast<TavVariantType>(tag));
    TavVariant copy;
    SCOPED_TRACE(tag);
    EXPECT_TAV_RC(E_INVALIDARG, TavCopyVariant(&copy, &bad));
    EXPECT_TRUE(holdsNoData(copy));
    bad.hasValue = 0;
    EXPECT_TAV_RC(E_INVALIDARG, TavCopyVariant(&copy, &bad));
  }

  const char16_t text[] = u"abc";
  std::vector<TavVariant> badRecords = {
      tavrecords::integer(1),          // hasValue 2, set below
      tavrecords::text(nullptr, 3),    // null chars with a length
      tavrecords::binary(nullptr, 4),  // null bytes with a size
  };
  badRecords[0].hasValue = 2;
  for (const TavVariant& bad : badRecords) {
    // Nested after a record that was already copied: the copy is undone.
    TavVariant elements[2] = {tavrecords::text(text, 3), bad};
    TavVariantArray array{2, elements};
    TavVariant root = tavrecords::array(&array);
    AllocationCounter counter;
    TavVariant copy;
    EXPECT_TAV_RC(E_INVALIDARG, TavCopyVariant(&copy, &root));
    EXPECT_EQ(counter.outstanding(), 0);
    EXPECT_TRUE(holdsNoData(copy));
  }

  TavVariantArray negative{-1, nullptr};
  TavVariant root = tavrecords::array(&negative);
  TavVariant copy;
  EXPECT_TAV_RC(E_INVALIDARG, TavCopyVariant(&copy, &root));
  EXPECT_TAV_RC(E_INVALIDARG, TavCopyVariant(&copy, &copy));
  EXPECT_TAV_RC(E_INVALIDARG, TavCopyVariant(nullptr, &root));
}

TEST(TavVariantTest, NullEmptyAndZeroSizedValues) {
  TavVariant source = tavrecords::null(TAV_VT_STRING);
  source.value.string.length = 12;  // stale values of a NULL are not data
  source.value.string.chars = reinterpret_cast<char16_t*>(0x1);
  TavVariant copy;
  ASSERT_TAV_OK(TavCopyVariant(&copy, &source));
  EXPECT_EQ(copy.type, TAV_VT_STRING);
  EXPECT_TRUE(holdsNoData(copy));

  const uint8_t byte = 9;
  TavVariant binary = tavrecords::binary(&byte, 0);
  ASSERT_TAV_OK(TavCopyVariant(&copy, &binary));
  EXPECT_EQ(copy.hasValue, 1);
  EXPECT_EQ(copy.value.binary.data, nullptr);

  TavVariant empty = tavrecords::text(u"", 0);
  ASSERT_TAV_OK(TavCopyVariant(&copy, &empty));
  ASSERT_NE(copy.value.string.chars, nullptr);  // empty stays distinct from NULL
  EXPECT_EQ(copy.value.string.chars[0], u'\0');
  TavFreeMemory(&copy);
  EXPECT_EQ(copy.value.string.chars, nullptr);
  EXPECT_EQ(copy.value.string.length, 0u);
}

// The rowset's use: parameter and column records are the caller's, their
// data the family's, released with TAV_NO_FREE for the record.
TEST(TavVariantTest, NoMallocRecordGetsDefaultAllocatedDataReleasedByNoFree) {
  SampleTree tree;
  AllocationCounter counter;
  TavVariant record;
  ASSERT_TAV_OK(TavCopyVariant(&record, &tree.outer[0], TAV_NO_MALLOC));
  expectDeepEqual(record, tree.outer[0]);
  EXPECT_EQ(counter.outstanding(), 1);
  TavFreeMemory(&record, TAV_NO_FREE);
  EXPECT_EQ(counter.outstanding(), 0);
  EXPECT_EQ(record.value.binary.data, nullptr);
  EXPECT_EQ(record.value.binary.size, 0u);
}

TEST(TavVariantTest, AllocateAndFreeVariantArraysAndTheirFailures) {
  AllocationCounter counter;
  TavVariantArray* array = nullptr;
  ASSERT_TAV_OK(TavAllocateVariants(&array, 3));
  ASSERT_NE(array, nullptr);
  ASSERT_EQ(array->count, 3);
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(holdsNoData(array->elements[i]));

  const char16_t text[] = u"x\U0001F600";
  TavVariant source = tavrecords::text(text, 3);
  ASSERT_TAV_OK(TavCopyVariant(&array->elements[1], &source, TAV_NO_MALLOC));
  TavFreeVariants(array);
  EXPECT_EQ(counter.outstanding(), 0);

  TavVariantArray* empty = nullptr;
  ASSERT_TAV_OK(TavAllocateVariants(&empty, 0));
  EXPECT_EQ(empty->count, 0);
  EXPECT_EQ(empty->elements, nullptr);
  TavFreeVariants(empty);
  EXPECT_EQ(counter.outstanding(), 0);

  TavVariantArray* untouched = nullptr;
  EXPECT_TAV_RC(E_INVALIDARG, TavAllocateVariants(&untouched, -1));
  EXPECT_EQ(untouched, nullptr);
  TavFreeVariants(nullptr);

  // Failing at the record or at the elements releases what was taken.
  for (long failAt = 0; failAt < 2; ++failAt) {
    AllocationCounter failing(failAt);
    EXPECT_TAV_RC(E_OUTOFMEMORY, TavAllocateVariants(&untouched, 4));
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(failing.outstanding(), 0);
  }
}

TEST(TavVariantTest, NoMallocArrayIsTheCallersAndNoFreeReleasesOnlyElementData) {
  AllocationCounter counter;
  TavVariant elements[2];
  std::memset(elements, 0x5A, sizeof elements);
  TavVariantArray room{0, elements};
  TavVariantArray* array = &room;
  ASSERT_TAV_OK(TavAllocateVariants(&array, 2, TAV_NO_MALLOC));
  EXPECT_EQ(array, &room);
  EXPECT_EQ(room.count, 2);
  EXPECT_TRUE(holdsNoData(elements[0]));

  TavVariant source = tavrecords::text(u"abc", 3);
  ASSERT_TAV_OK(TavCopyVariant(&elements[0], &source, TAV_NO_MALLOC));
  TavFreeVariants(&room, TAV_NO_FREE);
  EXPECT_EQ(counter.outstanding(), 0);
  EXPECT_EQ(elements[0].value.string.chars, nullptr);

  TavVariantArray noRoom{0, nullptr};
  TavVariantArray* noRoomPointer = &noRoom;
  EXPECT_TAV_RC(E_INVALIDARG, TavAllocateVariants(&noRoomPointer, 1, TAV_NO_MALLOC));
}

}  // namespace
