#include <gtest/gtest.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "Mod/ModException.h"

namespace {

TEST(ModErrorNumberFromErrno, MapsEveryErrnoOfTheTable) {
  const std::vector<std::pair<int, int32_t>> table = {
      {ENOENT, 2002}, {ENOTDIR, 2013}, {ENAMETOOLONG, 2013}, {ELOOP, 2013},     {EACCES, 2016},
      {EPERM, 2016},  {EROFS, 2016},   {EEXIST, 2017},       {ENOTEMPTY, 2017}, {ENOSPC, 2028},
      {EDQUOT, 2028}, {EFBIG, 2028},   {EIO, 2201},          {EINVAL, 2202},    {EBADF, 2202},
      {EISDIR, 2202}, {ESPIPE, 2202},  {EAGAIN, 2999},       {EMFILE, 2999},    {0, 2999},
  };
  for (const auto& [errnoValue, expected] : table) {
    EXPECT_EQ(ModErrorNumberFromErrno(errnoValue), expected) << "errno " << errnoValue;
  }
}

TEST(ModException, ThrowOsErrorCarriesModuleNumberAndContext) {
  try {
    ModThrowOsError(ModModule::File, ENOSPC, "write /data/x.db");
    FAIL() << "no exception";
  } catch (const ModException& exception) {
    EXPECT_EQ(exception.getErrorModule(), ModModule::File);
    EXPECT_EQ(exception.getErrorNumber(), ModOsErrorNumber::DiskFull);
    EXPECT_EQ(exception.getErrorLevel(), ModErrorLevel::Error);
    const std::string text = exception.toString();
    EXPECT_EQ(text.rfind("ModException(module 2, error 2028, level 2): write /data/x.db: ", 0), 0u)
        << text;
    EXPECT_NE(text.find("(errno " + std::to_string(ENOSPC) + ")"), std::string::npos) << text;
  }
}

TEST(ModException, SetErrorReplacesEverythingAndTextOmitsEmptyDetail) {
  ModException exception(ModModule::File, 2002, ModErrorLevel::Error, "old");
  exception.setError(ModModule::Memory, 7, ModErrorLevel::Fatal);
  EXPECT_EQ(exception.getErrorModule(), ModModule::Memory);
  EXPECT_EQ(exception.getErrorNumber(), 7);
  EXPECT_EQ(exception.getErrorLevel(), ModErrorLevel::Fatal);
  EXPECT_EQ(exception.toString(), "ModException(module 3, error 7, level 3)");
}

}  // namespace
