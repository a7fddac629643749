// Shared helpers of the test programs.
#ifndef TAVODB_TEST_SUPPORT_H
#define TAVODB_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "TavCommonTypes.h"

namespace tavtest {

// "TAV_E_NOTFOUND (0x8004021a)" for readable failures.
std::string describe(TavResult rc);

// A fresh empty directory under the system's temporary directory, removed
// with its contents when the object goes.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  const std::string& path() const { return _path; }

 private:
  std::string _path;
};

}  // namespace tavtest

#define ASSERT_TAV_OK(expression)                                                            \
  do {                                                                                       \
    const TavResult tav_rc_ = (expression);                                                  \
    ASSERT_EQ(tav_rc_, S_OK) << #expression << " returned " << ::tavtest::describe(tav_rc_); \
  } while (0)

#define EXPECT_TAV_RC(expected, expression)                                                        \
  do {                                                                                             \
    const TavResult tav_rc_ = (expression);                                                        \
    EXPECT_EQ(tav_rc_, (expected)) << #expression << " returned " << ::tavtest::describe(tav_rc_); \
  } while (0)

#endif  // TAVODB_TEST_SUPPORT_H
