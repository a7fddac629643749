// The enabled set, the failure log line and the last-error hand-over.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "TavCommon.h"
#include "TavOdb/OdbDataSource.h"
#include "TestSupport.h"

// checkEnable is asked about data sources that are gone: only their address
// is used, never the object, which is what the registry must handle.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

namespace {

// A data source that does nothing but exist, with its protected parts open
// to the tests.
class BareDataSource : public OdbDataSource {
 public:
  TavResult Initialize(const char16_t*, const char16_t*, const char16_t*,
                       const char16_t*) override {
    return S_OK;
  }
  TavResult CreateSession(OdbSession**) override { return TAV_E_NOTSUPPORTED; }

  using OdbDataSource::error;
  OdbErrorInfo& lastError() { return _lastError; }
};

char* narrowCopy(const char* text) {
  auto* copy = static_cast<char*>(TavAllocateMemory(std::strlen(text) + 1));
  std::strcpy(copy, text);
  return copy;
}

TEST(EnabledSet, LiveObjectsAreEnabledUntilDestroyedOrCleared) {
  auto first = std::make_unique<BareDataSource>();
  auto second = std::make_unique<BareDataSource>();
  EXPECT_EQ(OdbDataSource::checkEnable(first.get()), TAV_TRUE);
  EXPECT_EQ(OdbDataSource::checkEnable(second.get()), TAV_TRUE);

  OdbDataSource* gone = first.get();
  first.reset();
  EXPECT_EQ(OdbDataSource::checkEnable(gone), TAV_FALSE);
  EXPECT_EQ(OdbDataSource::checkEnable(second.get()), TAV_TRUE);
  EXPECT_EQ(OdbDataSource::checkEnable(nullptr), TAV_FALSE);

  ASSERT_TAV_OK(OdbDataSource::clearDataSourceMap());
  EXPECT_EQ(OdbDataSource::checkEnable(second.get()), TAV_FALSE);
  ASSERT_TAV_OK(OdbDataSource::clearDataSourceMap());  // on an empty set too

  // A copy is not registered; the original stays as it was.
  BareDataSource third;
  BareDataSource copy(third);
  EXPECT_EQ(OdbDataSource::checkEnable(&third), TAV_TRUE);
  EXPECT_EQ(OdbDataSource::checkEnable(&copy), TAV_FALSE);
}

TEST(EnabledSet, ConcurrentConstructionDestructionAndChecks) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  BareDataSource stable;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        auto ds = std::make_unique<BareDataSource>();
        if (OdbDataSource::checkEnable(ds.get()) != TAV_TRUE) ++failures;
        if (OdbDataSource::checkEnable(&stable) != TAV_TRUE) ++failures;
        OdbDataSource* raw = ds.get();
        ds.reset();
        // Another thread may reuse the address at once; only a value that
        // is neither 0 nor 1 would be wrong.
        const TavBoolean after = OdbDataSource::checkEnable(raw);
        if (after != TAV_FALSE && after != TAV_TRUE) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(OdbDataSource::checkEnable(&stable), TAV_TRUE);
}

TEST(FailureLog, WritesOneErrorMessageWithTheCodeAndItsNote) {
  tavtest::LogCapture capture;
  BareDataSource ds;
  ds.error("OdbSessionSql", 321, E_INVALIDARG);
  ds.error("OdbRowset", 7, E_OUTOFMEMORY);
  ds.error("OdbFile", 99, TAV_E_NOTFOUND);

  const auto records = capture.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].text,
            "\n\nFileName:OdbSessionSql  Line:321  ErrorCode:  0x80070057  BadParameter");
  EXPECT_EQ(records[1].text, "\n\nFileName:OdbRowset  Line:7  ErrorCode:  0x8007000e  NoMemory");
  EXPECT_EQ(records[2].text, "\n\nFileName:OdbFile  Line:99  ErrorCode:  0x8004021a");
  for (const auto& record : records) {
    EXPECT_EQ(record.level, ModMessageLevel::Error);
    EXPECT_EQ(record.file, "OdbDataSource");
  }
}

TEST(LastError, IsHandedOverOnceAndFreedExactly) {
  BareDataSource ds;
  OdbErrorInfo empty{};
  ds.GetLastError(&empty);
  EXPECT_TRUE(empty.piid == nullptr && empty.hrError == 0 && empty.pszSqlState == nullptr &&
              empty.lNativeError == 0 && empty.pszDescription == nullptr);

  const GUID iid = {0x0C733A8B, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
  OdbErrorInfo& held = ds.lastError();
  ASSERT_TAV_OK(TavCopyGuid(&held.piid, &iid));
  held.hrError = static_cast<int32_t>(0x80040E14u);
  held.pszSqlState = narrowCopy("23000");
  held.lNativeError = 2627;
  held.pszDescription = narrowCopy("Violation of PRIMARY KEY constraint");
  // Copies own their record and strings: a shared one would be freed twice.
  BareDataSource copy(ds);
  BareDataSource assigned;
  assigned = ds;
  OdbErrorInfo fromCopy{};
  copy.GetLastError(&fromCopy);

  OdbErrorInfo info{};
  ds.GetLastError(&info);
  ASSERT_NE(info.piid, nullptr);
  EXPECT_EQ(TavIsEqualGuid(*info.piid, iid), TAV_TRUE);
  EXPECT_STREQ(info.pszSqlState, "23000");
  EXPECT_STREQ(info.pszDescription, "Violation of PRIMARY KEY constraint");
  ASSERT_NE(fromCopy.pszDescription, nullptr);
  EXPECT_NE(fromCopy.pszDescription, info.pszDescription);
  EXPECT_STREQ(fromCopy.pszDescription, info.pszDescription);
  EXPECT_EQ(fromCopy.lNativeError, 2627);
  OdbFreeErrorInfo(&fromCopy);

  // The object keeps the numbers and gives up the rest; freeing a record
  // leaves the same.
  OdbErrorInfo again{};
  ds.GetLastError(&again);
  OdbFreeErrorInfo(&info);
  for (const OdbErrorInfo* left : {&again, &info}) {
    EXPECT_TRUE(left->piid == nullptr && left->pszSqlState == nullptr &&
                left->pszDescription == nullptr);
    EXPECT_EQ(left->hrError, static_cast<int32_t>(0x80040E14u));
    EXPECT_EQ(left->lNativeError, 2627);
  }
  OdbFreeErrorInfo(&info);  // a second release does nothing
  OdbFreeErrorInfo(nullptr);
}

}  // namespace
