#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "Mod/ModException.h"
#include "Mod/ModMessage.h"
#include "Mod/ModUnicodeString.h"
#include "mod/ScopedConfiguration.h"
#include "platform/mod/ModMessageSink.h"

namespace {

using tavtest::LogCapture;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Each test starts from a known log configuration and leaves one behind.
class ModMessageTest : public ::testing::Test {
 protected:
  void SetUp() override { ModMessageReloadConfiguration(); }
  void TearDown() override {
    _configuration.reset();
    ModMessageReloadConfiguration();
  }

  tavtest::ScopedConfiguration& configuration() { return *_configuration; }

 private:
  std::unique_ptr<tavtest::ScopedConfiguration> _configuration =
      std::make_unique<tavtest::ScopedConfiguration>();
};

TEST_F(ModMessageTest, RecordsAreWholeMessagesWithTheFirstStatementsPlace) {
  LogCapture capture;
  const int firstLine = __LINE__ + 1;
  ModDebugMessage << "opened " << 3 << " of ";
  ModErrorMessage << 4u;
  ModNormalMessage << " files" << ModEndl;
  const int line = __LINE__ + 1;
  ModErrorMessage << "first" << ModEndl << "second" << ModEndl;
  ModMessageSelection::error("src/OdbSession.cpp", 7) << "x" << ModEndl;
  ModMessageSelection::error("Makefile", 8) << "y" << ModEndl;
  const std::vector<tavtest::LogRecord> records = capture.records();
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].text, "opened 3 of 4 files");
  EXPECT_EQ(records[0].level, ModMessageLevel::Debug);
  EXPECT_EQ(records[0].file, "ModMessageTest");
  EXPECT_EQ(records[0].line, firstLine);
  EXPECT_EQ(records[1].text, "first");
  EXPECT_EQ(records[2].text, "second");
  EXPECT_EQ(records[2].line, line);
  // The source file name loses its directory and extension.
  EXPECT_EQ(records[3].file, "OdbSession");
  EXPECT_EQ(records[4].file, "Makefile");
}

TEST_F(ModMessageTest, ItemsAreTextAndHexIsTwosComplementOfItsOwnWidthUntilEndl) {
  LogCapture capture;
  ModErrorMessage << "rc=" << ModHex << -0x7FF8FFA9 << " " << 255u << " " << -1L << ModEndl;
  ModErrorMessage << 255 << ModEndl;
  ModErrorMessage << ModHex << 0xABCDEF << ModDec << " " << 10 << ModEndl;
  const char* nullText = nullptr;
  const char16_t* nullWide = nullptr;
  ModErrorMessage << u"caf\u00e9 \U0001F600" << "|" << ModUnicodeString(u"\u4e2d") << "|"
                  << nullText << "|" << nullWide << "|" << std::string("std") << ':' << ModShiftJis
                  << "|" << 1.5 << "|" << reinterpret_cast<const void*>(0xbeef) << "|" << -42L
                  << "|" << 18446744073709551615ull << ModEndl;
  ModErrorMessage << ModException(ModModule::File, 2002, ModErrorLevel::Error, "gone") << ModEndl;
  try {  // an OS error maps its errno and keeps both the context and the errno
    ModThrowOsError(ModModule::File, ENOSPC, "write /data/x.db");
  } catch (const ModException& exception) {
    ModErrorMessage << exception << ModEndl;
  }
  EXPECT_THAT(capture.texts(),
              ElementsAre("rc=80070057 ff ffffffffffffffff", "255", "abcdef 10",
                          "caf\xC3\xA9 \xF0\x9F\x98\x80|\xE4\xB8\xAD|(null)|(null)|std:|1.5|"
                          "0xbeef|-42|18446744073709551615",
                          "ModException(module 2, error 2002, level 2): gone",
                          AllOf(StartsWith("ModException(module 2, error 2028, level 2): "
                                           "write /data/x.db: "),
                                EndsWith("(errno " + std::to_string(ENOSPC) + ")"))));
}

TEST_F(ModMessageTest, ConfiguredLevelFiltersAndADisabledMessageIsDroppedWhole) {
  LogCapture capture;
  configuration().writeFile("TavOdbLogLevel = \"debug\"\n");
  ModMessageReloadConfiguration();
  EXPECT_TRUE(ModErrorHandle::shouldOutputMessage(ModMessageLevel::Debug));
  configuration().setEnvironment("TavOdbLogLevel", "error");  // over the file
  ModMessageReloadConfiguration();
  EXPECT_TRUE(ModErrorHandle::shouldOutputMessage(ModMessageLevel::Error));
  EXPECT_FALSE(ModErrorHandle::shouldOutputMessage(ModMessageLevel::Normal));
  EXPECT_FALSE(ModErrorHandle::shouldOutputMessage(ModMessageLevel::Debug));

  ModDebugMessage << "debug start ";
  ModErrorMessage << "error continuation" << ModEndl;  // belongs to the dropped message
  ModNormalMessage << "normal" << ModEndl;
  ModErrorMessage << "error" << ModEndl;
  EXPECT_THAT(capture.texts(), ElementsAre("error"));

  configuration().setEnvironment("TavOdbLogLevel", " Debug ");
  ModMessageReloadConfiguration();
  ModDebugMessage << "debug" << ModEndl;
  configuration().setEnvironment("TavOdbLogLevel", "off");
  ModMessageReloadConfiguration();
  EXPECT_FALSE(ModErrorHandle::shouldOutputMessage(ModMessageLevel::Error));
  ModErrorMessage << "silenced" << ModEndl;

  // An unknown level is reported and normal is used.
  configuration().setEnvironment("TavOdbLogLevel", "verbose");
  ModMessageReloadConfiguration();
  EXPECT_TRUE(ModErrorHandle::shouldOutputMessage(ModMessageLevel::Normal));
  EXPECT_FALSE(ModErrorHandle::shouldOutputMessage(ModMessageLevel::Debug));
  EXPECT_THAT(capture.texts(),
              ElementsAre("error", "debug",
                          "TavOdbLogLevel \"verbose\" is not one of error, normal, debug, off; "
                          "using normal"));
}

TEST_F(ModMessageTest, FileDestinationReceivesFormattedLines) {
  const std::string logPath = configuration().directory() + "/logs/tavodb.log";
  configuration().setEnvironment("TavOdbLogFile", logPath);
  ModMessageReloadConfiguration();
  const int line = __LINE__ + 1;
  ModErrorMessage << "disk " << ModHex << -1 << ModEndl;
  ModNormalMessage << "second" << ModEndl;
  ModDebugMessage << "not at normal level" << ModEndl;

  std::ifstream file(logPath);
  std::vector<std::string> lines;
  for (std::string text; std::getline(file, text);) lines.push_back(text);
  ASSERT_EQ(lines.size(), 2u);
  const std::regex first(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[error\] \[\d+\] ModMessageTest:)" +
      std::to_string(line) + R"( disk ffffffff)");
  EXPECT_TRUE(std::regex_match(lines[0], first)) << lines[0];
  EXPECT_THAT(lines[1], AllOf(HasSubstr("[info]"), EndsWith(" second")));
}

// The log reads its own keys while reconfiguring: a complaint about them
// must come out once, through the log, without deadlock.
TEST_F(ModMessageTest, BadConfigurationIsReportedOnceAndLoggingGoesOn) {
  LogCapture capture;
  configuration().writeFile("TavOdbLogLevel = \n");
  ModMessageReloadConfiguration();
  ModErrorMessage << "after" << ModEndl;
  // A path below a regular file cannot be created: stderr is used instead.
  configuration().writeFile("");
  configuration().setEnvironment("TavOdbLogFile", configuration().path() + "/x.log");
  ModMessageReloadConfiguration();
  ModErrorMessage << "still logged" << ModEndl;
  const std::vector<tavtest::LogRecord> records = capture.records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].level, ModMessageLevel::Error);
  EXPECT_THAT(records[0].text, HasSubstr("is not valid TOML"));
  EXPECT_EQ(records[1].text, "after");
  EXPECT_THAT(records[2].text, StartsWith("TavOdbLogFile \"" + configuration().path()));
  EXPECT_EQ(records[3].text, "still logged");
}

TEST_F(ModMessageTest, MessagesOfConcurrentThreadsNeverInterleave) {
  // Into a file, to keep the test's output readable.
  configuration().setEnvironment("TavOdbLogFile", configuration().directory() + "/threads.log");
  ModMessageReloadConfiguration();
  LogCapture capture;
  constexpr int kThreads = 8;
  constexpr int kMessages = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int m = 0; m < kMessages; ++m) {
        // Each statement releases the log lock, so other threads get in
        // between the statements of one message.
        ModErrorMessage << "thread " << t << " ";
        std::this_thread::yield();
        ModDebugMessage << ModHex << m << ModDec;
        std::this_thread::yield();
        ModNormalMessage << " message " << m << ModEndl;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::vector<int> seen(kThreads, 0);
  for (const tavtest::LogRecord& record : capture.records()) {
    std::istringstream parts(record.text);
    std::string word, hex, word2;
    int t = -1, m = -1;
    parts >> word >> t >> hex >> word2 >> m;
    ASSERT_TRUE(word == "thread" && word2 == "message" && t >= 0 && t < kThreads) << record.text;
    std::ostringstream expected;
    expected << "thread " << t << " " << std::hex << m << std::dec << " message " << m;
    ASSERT_EQ(record.text, expected.str());
    ASSERT_EQ(record.level, ModMessageLevel::Error);
    ASSERT_EQ(m, seen[t]) << "messages of one thread arrive in order";
    ++seen[t];
  }
  EXPECT_EQ(seen, std::vector<int>(kThreads, kMessages));
}

}  // namespace
