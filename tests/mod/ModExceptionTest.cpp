#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "Mod/ModException.h"

namespace {

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

}  // namespace
