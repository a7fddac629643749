// The engine's values and exceptions, without a store.
#include <gtest/gtest.h>

#include "Corvid/Common.h"
#include "Corvid/Exception.h"
#include "LogCapture.h"
#include "Mod/ModException.h"
#include "Mod/ModMessage.h"
#include "platform/engine/EngineError.h"
#include "platform/store/Store.h"

using namespace Corvid::Common;
namespace E = Corvid::Exception;

namespace {

std::string text(const ModUnicodeString& value) {
  return value.getString();
}

TEST(EngineData, TypeCodesAreTheOnesCallersDispatchOn) {
  EXPECT_EQ(IntegerData(1).getType(), 1001);
  EXPECT_EQ(UnsignedIntegerData(1).getType(), 1002);
  EXPECT_EQ(StringData(u"x").getType(), 1005);
  EXPECT_EQ(DoubleData(1).getType(), 1007);
  EXPECT_EQ(DateTimeData(2024, 1, 2, 3, 4, 5, 6).getType(), 1010);
  EXPECT_EQ(BinaryData("ab", 2).getType(), 1011);
  EXPECT_EQ(LanguageData(ModLanguageSet("ja+en")).getType(), 1014);
  EXPECT_EQ(DataArrayData().getType(), 2000);
  EXPECT_EQ(DataArrayData().getElementType(), 1000);
  EXPECT_EQ(UnsignedIntegerArrayData().getType(), 2000);
  EXPECT_EQ(UnsignedIntegerArrayData().getElementType(), 1002);
  EXPECT_EQ(NullData::getInstance()->getType(), 3000);
  EXPECT_EQ(IntegerData(1).getElementType(), DataType::Undefined);
}

TEST(EngineData, ObjectPointerSharesAndFreesTheValue) {
  ObjectPointer<Data> first(new StringData(u"shared"));
  {
    ObjectPointer<Data> second = first;
    ObjectPointer<Data> moved = std::move(second);
    EXPECT_FALSE(second);
    EXPECT_EQ(moved.get(), first.get());
  }
  // A cast to the value's own type hands out the same object, not a copy.
  ObjectPointer<Data> same = first->cast(DataType::String);
  EXPECT_EQ(same.get(), first.get());
  // A value that no pointer holds is copied rather than adopted.
  StringData onStack(u"stack");
  ObjectPointer<Data> copied = onStack.cast(DataType::String);
  EXPECT_NE(copied.get(), &onStack);
  EXPECT_EQ(text(copied->toString()), "stack");
  // The shared null survives any number of pointers coming and going.
  for (int i = 0; i < 3; ++i) {
    ObjectPointer<Data> null(NullData::getInstance());
    EXPECT_TRUE(null->isNull());
  }
  EXPECT_EQ(NullData::getInstance()->getType(), DataType::Null);
}

TEST(EngineData, CastConvertsWhenTheValueFitsAndFailsOtherwise) {
  ObjectPointer<Data> number(new IntegerData(-7));
  EXPECT_EQ(static_cast<DoubleData&>(*number->cast(DataType::Double)).getValue(), -7.0);
  EXPECT_EQ(text(number->cast(DataType::String)->toString()), "-7");
  EXPECT_FALSE(number->cast(DataType::UnsignedInteger));  // negative
  EXPECT_FALSE(number->cast(DataType::DateTime));
  EXPECT_THROW(number->cast(DataType::DateTime, true), E::Object);

  ObjectPointer<Data> big(new Integer64Data(int64_t{1} << 40));
  EXPECT_FALSE(big->cast(DataType::Integer));
  EXPECT_EQ(static_cast<Integer64Data&>(*big->cast(DataType::Integer64)).getValue(),
            int64_t{1} << 40);

  ObjectPointer<Data> whole(new DoubleData(42.0));
  EXPECT_EQ(static_cast<IntegerData&>(*whole->cast(DataType::Integer)).getValue(), 42);
  EXPECT_FALSE(ObjectPointer<Data>(new DoubleData(1.5))->cast(DataType::Integer));

  ObjectPointer<Data> digits(new StringData(u"123"));
  EXPECT_EQ(static_cast<IntegerData&>(*digits->cast(DataType::Integer)).getValue(), 123);
  EXPECT_FALSE(ObjectPointer<Data>(new StringData(u"12x"))->cast(DataType::Integer));
  ObjectPointer<Data> when(new StringData(u"2024-02-29 23:59:58.5"));
  auto dateTime = when->cast(DataType::DateTime);
  ASSERT_TRUE(dateTime);
  EXPECT_EQ(text(dateTime->toString()), "2024-02-29 23:59:58.500");
  EXPECT_FALSE(ObjectPointer<Data>(new StringData(u"2023-02-29"))->cast(DataType::DateTime));
  EXPECT_EQ(
      text(ObjectPointer<Data>(new StringData(u"EN-us"))->cast(DataType::Language)->toString()),
      "en-US");
  EXPECT_FALSE(ObjectPointer<Data>(new StringData(u"xx-zz"))->cast(DataType::Language));

  // Binaries and arrays have no text form to cast to; null casts to nothing.
  EXPECT_FALSE(ObjectPointer<Data>(new BinaryData("a", 1))->cast(DataType::String));
  EXPECT_FALSE(ObjectPointer<Data>(NullData::getInstance())->cast(DataType::Integer));
}

TEST(EngineData, ValuesPrintForLogLines) {
  const char bytes[] = {'\x00', '\x7f', '\xff'};
  EXPECT_EQ(text(BinaryData(bytes, 3).toString()), "007fff");
  EXPECT_EQ(text(BinaryData(bytes, 2, false, 1).toString()), "7fff");
  EXPECT_EQ(text(DoubleData(0.1).toString()), "0.1");
  EXPECT_EQ(text(LanguageData(ModLanguageSet("JA+en-us")).toString()), "ja+en-US");
  DataArrayData array;
  array.setElement(2, new IntegerData(3));
  array.setElement(0, new StringData(u"a"));
  EXPECT_EQ(array.getCount(), 3u);
  EXPECT_EQ(text(array.toString()), "{a,(null),3}");
  UnsignedIntegerArrayData sections({1, 4});
  EXPECT_EQ(text(sections.toString()), "{1,4}");
  EXPECT_EQ(sections.getElement(1), 4u);
  EXPECT_THROW(sections.getElement(2), E::Object);
  EXPECT_THROW(array.getElement(3), E::Object);
}

TEST(EngineData, DateTimesAreValidatedAndKeptToTheirPrecision) {
  EXPECT_THROW(DateTimeData(2023, 2, 29, 0, 0, 0, 0), E::Object);
  EXPECT_THROW(DateTimeData(2024, 13, 1, 0, 0, 0, 0), E::Object);
  EXPECT_THROW(DateTimeData(2024, 1, 1, 24, 0, 0, 0), E::Object);
  EXPECT_THROW(DateTimeData(0, 1, 1, 0, 0, 0, 0), E::Object);
  EXPECT_EQ(DateTimeData(2024, 1, 1, 0, 0, 0, 987, 1).getMillisecond(), 900);
  EXPECT_EQ(DateTimeData(2024, 1, 1, 0, 0, 0, 987, 3).getMillisecond(), 987);
}

TEST(EngineData, LanguageTagsAreCheckedByTheLanguageSet) {
  EXPECT_NO_THROW(LanguageData(ModLanguageSet("en-US")));
  EXPECT_THROW(LanguageData(ModLanguageSet("not a language")), ModException);
}

TEST(EngineErrors, StoreClassesMapToTheEngineExceptions) {
  const ModUnicodeString database(u"db");
  auto classify = [&](store::ErrorClass errorClass) -> std::string {
    try {
      engine::throwStoreError(store::Error(errorClass, "XX000", 19, "message"), database);
    } catch (const E::DiskFull& error) {
      EXPECT_EQ(std::u16string(error.getDatabaseName()), u"db");
      EXPECT_EQ(std::u16string(error.getDescription()), u"message");
      EXPECT_EQ(error.getErrorNumber(), 19);
      return "DiskFull";
    } catch (const E::Object& error) {
      EXPECT_EQ(error.getSqlState(), "XX000");
      EXPECT_EQ(error.getNativeCode(), 19);
      return error.getClassName();
    }
    return "nothing";
  };
  EXPECT_EQ(classify(store::ErrorClass::UniqueViolation), "UniquenessViolation");
  EXPECT_EQ(classify(store::ErrorClass::Deadlock), "Deadlock");
  EXPECT_EQ(classify(store::ErrorClass::DiskFull), "DiskFull");
  EXPECT_EQ(classify(store::ErrorClass::LogFull), "DiskFull");
  EXPECT_EQ(classify(store::ErrorClass::Cancelled), "Cancelled");
  EXPECT_EQ(classify(store::ErrorClass::ConnectionLost), "ConnectionLost");
  EXPECT_EQ(classify(store::ErrorClass::ConnectFailed), "Object");
  EXPECT_EQ(classify(store::ErrorClass::Other), "Object");
  // A lock wait that gave up is retried like a deadlock.
  try {
    engine::throwStoreError(store::Error(store::ErrorClass::Other, "55P03", 5, "locked"), database);
    ADD_FAILURE() << "nothing thrown";
  } catch (const E::Deadlock&) {
  }
}

TEST(EngineErrors, ExceptionsPrintIntoTheLog) {
  tavtest::LogCapture capture;
  const E::Deadlock deadlock("40P01", 0, ModUnicodeString(u"deadlock detected"));
  ModNormalMessage << deadlock << ModEndl;
  const E::DiskFull full("53100", 13, ModUnicodeString(u"db"), ModUnicodeString(u"disk is full"));
  ModErrorMessage << "execCommand[" << full << "]" << ModEndl;
  const auto texts = capture.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Deadlock (40P01, 0): deadlock detected");
  EXPECT_EQ(texts[1], "execCommand[DiskFull (53100, 13): disk is full [database db]]");
}

}  // namespace
