#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "TavMod/TavConfiguration.h"
#include "mod/ScopedConfiguration.h"

namespace {

using ::testing::ElementsAre;

TEST(TavConfiguration, FileValuesAndEnvironmentOverFile) {
  tavtest::ScopedConfiguration configuration;
  configuration.writeFile(
      "TavOdbCorvidConnection = 2\n"
      "TavOdbCorvidHostName = \"search.internal\"\n"
      "TavOdbCorvidPortNumber = 15432\n");
  EXPECT_EQ(TavConfiguration::getCorvidConnection(), 2);
  EXPECT_EQ(TavConfiguration::getCorvidHostName().str(), u"search.internal");
  EXPECT_EQ(TavConfiguration::getCorvidPortNumber(), 15432);

  configuration.setEnvironment("TavOdbCorvidConnection", "0");
  configuration.setEnvironment("TavOdbCorvidHostName", "h\xC3\xB6st");
  configuration.setEnvironment("TavOdbCorvidPortNumber", " 6543 ");
  EXPECT_EQ(TavConfiguration::getCorvidConnection(), 0);
  EXPECT_EQ(TavConfiguration::getCorvidHostName().str(), u"h\u00f6st");
  EXPECT_EQ(TavConfiguration::getCorvidPortNumber(), 6543);
}

TEST(TavConfiguration, DefaultsWhenUnsetQuietlyAndWhenInvalidWithALogLine) {
  tavtest::ScopedConfiguration configuration;
  tavtest::LogCapture capture;
  const auto expectDefaults = [] {
    EXPECT_EQ(TavConfiguration::getCorvidConnection(), 0);
    EXPECT_EQ(TavConfiguration::getCorvidHostName().str(), u"127.0.0.1");
    EXPECT_EQ(TavConfiguration::getCorvidPortNumber(), 5432);
  };
  expectDefaults();
  EXPECT_TRUE(capture.texts().empty());
  configuration.setEnvironment("TavOdbCorvidConnection", "remote");
  configuration.setEnvironment("TavOdbCorvidHostName", "");
  configuration.setEnvironment("TavOdbCorvidPortNumber", "70000");
  expectDefaults();
  configuration.setEnvironment("TavOdbCorvidPortNumber", "port");
  EXPECT_EQ(TavConfiguration::getCorvidPortNumber(), 5432);
  EXPECT_THAT(capture.texts(),
              ElementsAre("TavOdbCorvidConnection \"remote\" is not an integer; using the default",
                          "TavOdbCorvidHostName is empty; using the default",
                          "TavOdbCorvidPortNumber 70000 is not a port number; using the default",
                          "TavOdbCorvidPortNumber \"port\" is not an integer; using the default"));
}

TEST(TavDefaultParameter, StoresOnlyPresentIntegers) {
  tavtest::ScopedConfiguration configuration;
  tavtest::LogCapture capture;
  int value = 12;
  EXPECT_EQ(TavDefaultParameter::getInteger(value, "TavOdbSessionMax"), ModFalse);
  EXPECT_EQ(value, 12);
  EXPECT_TRUE(capture.texts().empty());

  configuration.writeFile("TavOdbSessionMax = 40\n");
  EXPECT_EQ(TavDefaultParameter::getInteger(value, "TavOdbSessionMax"), ModTrue);
  EXPECT_EQ(value, 40);

  configuration.setEnvironment("TavOdbSessionMax", "many");
  value = 12;
  EXPECT_EQ(TavDefaultParameter::getInteger(value, "TavOdbSessionMax"), ModFalse);
  EXPECT_EQ(value, 12);
  EXPECT_THAT(capture.texts(),
              ElementsAre("TavOdbSessionMax \"many\" is not an integer; using the default"));
}

}  // namespace
