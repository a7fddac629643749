#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "LogCapture.h"
#include "Mod/ModParameter.h"
#include "mod/ScopedConfiguration.h"

namespace {

using ::testing::HasSubstr;

TEST(ModParameter, EnvironmentOverridesFileAndEmptyVariableStillCounts) {
  tavtest::ScopedConfiguration configuration;
  configuration.writeFile(
      "TavOdbSessionMax = 20\nTavOdbCorvidHostName = \"db.example\"\n"
      "TavOdbCorvidPortNumber = 7000\n");
  configuration.setEnvironment("TavOdbSessionMax", "30");
  configuration.setEnvironment("TavOdbCorvidPortNumber", "");

  int value = -1;
  EXPECT_TRUE(ModParameter::getInteger("TavOdbSessionMax", value));
  EXPECT_EQ(value, 30);
  std::string text;
  EXPECT_TRUE(ModParameter::getString("TavOdbCorvidHostName", text));
  EXPECT_EQ(text, "db.example");
  // Set but empty: present, and hides the file's value.
  EXPECT_TRUE(ModParameter::getString("TavOdbCorvidPortNumber", text));
  EXPECT_EQ(text, "");
  value = -1;
  EXPECT_FALSE(ModParameter::getInteger("TavOdbCorvidPortNumber", value));
  EXPECT_EQ(value, -1);

  configuration.unsetEnvironment("TavOdbCorvidPortNumber");
  EXPECT_TRUE(ModParameter::getInteger("TavOdbCorvidPortNumber", value));
  EXPECT_EQ(value, 7000);

  // The file is read once until a reload.
  std::ofstream(configuration.path(), std::ios::trunc) << "TavOdbCorvidPortNumber = 6\n";
  ASSERT_TRUE(ModParameter::getInteger("TavOdbCorvidPortNumber", value));
  EXPECT_EQ(value, 7000);
  ModParameter::reload();
  ASSERT_TRUE(ModParameter::getInteger("TavOdbCorvidPortNumber", value));
  EXPECT_EQ(value, 6);
}

TEST(ModParameter, ScalarsOfTheFileAreTextAndOnlyTopLevelKeysCount) {
  tavtest::ScopedConfiguration configuration;
  configuration.writeFile(
      "flag = true\nratio = 1.5\nlist = [1, 2]\n"
      "[section]\nTavOdbSessionMax = 9\n");
  std::string text;
  EXPECT_TRUE(ModParameter::getString("flag", text));
  EXPECT_EQ(text, "true");
  EXPECT_TRUE(ModParameter::getString("ratio", text));
  EXPECT_EQ(text, "1.5");
  int value = 0;
  EXPECT_FALSE(ModParameter::getInteger("ratio", value));
  EXPECT_FALSE(ModParameter::getString("list", text));
  EXPECT_FALSE(ModParameter::getString("section", text));
  EXPECT_FALSE(ModParameter::getInteger("TavOdbSessionMax", value));
}

TEST(ModParameter, IntegerParsing) {
  tavtest::ScopedConfiguration configuration;
  const struct {
    const char* text;
    bool valid;
    int value;
  } cases[] = {
      {"42", true, 42},
      {" 42\t", true, 42},
      {"+7", true, 7},
      {"-3", true, -3},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"0x10", false, 0},
      {"12abc", false, 0},
      {"", false, 0},
      {"+", false, 0},
      {"+-1", false, 0},
      {"1 2", false, 0},
      {"1.0", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    configuration.setEnvironment("TavOdbSessionMax", c.text);
    int value = 12345;
    EXPECT_EQ(ModParameter::getInteger("TavOdbSessionMax", value), c.valid);
    EXPECT_EQ(value, c.valid ? c.value : 12345);
  }
}

TEST(ModParameter, BadFileGivesNoValuesAndOneErrorPerLoad) {
  tavtest::LogCapture capture;
  tavtest::ScopedConfiguration configuration;
  configuration.writeFile("TavOdbSessionMax = 4\nTavOdbSessionMax = [\n");
  int value = 0;
  EXPECT_FALSE(ModParameter::getInteger("TavOdbSessionMax", value));
  EXPECT_FALSE(ModParameter::getInteger("TavOdbSessionMax", value));
  ASSERT_EQ(capture.texts().size(), 1u);
  EXPECT_THAT(capture.texts()[0], HasSubstr(configuration.path() + " is not valid TOML"));
  EXPECT_EQ(capture.records()[0].level, ModMessageLevel::Error);

  ModParameter::reload();
  EXPECT_FALSE(ModParameter::getInteger("TavOdbSessionMax", value));
  EXPECT_EQ(capture.texts().size(), 2u);
  // The environment still answers.
  configuration.setEnvironment("TavOdbSessionMax", "3");
  EXPECT_TRUE(ModParameter::getInteger("TavOdbSessionMax", value));

  // A named file that is missing is reported the same way.
  capture.clear();
  configuration.setEnvironment("TAVODB_CONFIG", configuration.directory() + "/absent.toml");
  ModParameter::reload();
  std::string text;
  EXPECT_FALSE(ModParameter::getString("TavOdbCorvidHostName", text));
  EXPECT_FALSE(ModParameter::getString("TavOdbCorvidHostName", text));
  ASSERT_EQ(capture.texts().size(), 1u);
  EXPECT_THAT(capture.texts()[0], HasSubstr("absent.toml (from TAVODB_CONFIG) does not exist"));
}

}  // namespace
