// The session base's command stage and its bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NullSession.h"
#include "TavRecords.h"
#include "TestSupport.h"

namespace {

class StagingSession : public NullSession {
 public:
  using OdbSession::checkCommandLength;
  using OdbSession::setCommandParam;
  std::u16string staged() const { return _pCommandText ? _pCommandText : u""; }
  int32_t length() const { return _commandLength; }
  int32_t paramCount() const { return _paramCount; }
  const TavVariant* params() const { return _pParams; }
};

TEST(CommandStage, JoinsCommandsWithOneBlankAndDeepCopiesParameters) {
  StagingSession session;
  TavBoolean over = TAV_TRUE;
  for (const char16_t* command : {u"a", u"b", u"c"}) {
    ASSERT_TAV_OK(session.checkCommandLength(command, 0, nullptr, &over));
    EXPECT_EQ(over, TAV_FALSE);
  }
  EXPECT_EQ(session.staged(), u"a b c ");

  char16_t text[] = u"caller's";
  std::vector<TavVariant> params{tavrecords::integer(5), tavrecords::text(text, 8)};
  ASSERT_TAV_OK(session.setCommandParam(u"d", 2, params.data()));
  ASSERT_TAV_OK(session.setCommandParam(u"e", 1, params.data()));
  ASSERT_EQ(session.paramCount(), 3);
  text[0] = u'X';  // the stage holds its own copy
  EXPECT_EQ(std::u16string(session.params()[1].value.string.chars), u"caller's");
  EXPECT_EQ(session.params()[2].value.intValue, 5);
}

TEST(CommandStage, RefusesUnknownTypesBeforeChangingAnything) {
  StagingSession session;
  ASSERT_TAV_OK(
      session.setCommandParam(u"first", 1, std::vector<TavVariant>{tavrecords::integer(1)}.data()));
  for (int tag : {7, 9, 14, 15, 99}) {
    TavVariant bad = tavrecords::integer(1);
    bad.type = static_cast<TavVariantType>(tag);
    EXPECT_TAV_RC(E_INVALIDARG, session.setCommandParam(u"second", 1, &bad));
  }
  EXPECT_EQ(session.staged(), u"first ");
  EXPECT_EQ(session.paramCount(), 1);
}

TEST(CommandStage, BoundsOfTextAndParameters) {
  StagingSession full;
  const std::u16string longest(1048576, u'x');
  TavBoolean over = TAV_TRUE;
  ASSERT_TAV_OK(full.checkCommandLength(longest.c_str(), 0, nullptr, &over));
  EXPECT_EQ(over, TAV_FALSE);
  ASSERT_TAV_OK(full.checkCommandLength(u"y", 0, nullptr, &over));
  EXPECT_EQ(over, TAV_TRUE);
  EXPECT_EQ(full.length(), 1048577);

  StagingSession many;
  std::vector<TavVariant> params(1998, tavrecords::integer(0));
  ASSERT_TAV_OK(many.checkCommandLength(u"p", 1998, params.data(), &over));
  ASSERT_EQ(over, TAV_FALSE);
  ASSERT_TAV_OK(many.checkCommandLength(u"q", 1, params.data(), &over));
  EXPECT_EQ(over, TAV_FALSE) << "1,999 parameters fit";
  ASSERT_TAV_OK(many.checkCommandLength(u"r", 1, params.data(), &over));
  EXPECT_EQ(over, TAV_TRUE) << "the 2000th does not";
  EXPECT_EQ(many.paramCount(), 1999);
}

}  // namespace
