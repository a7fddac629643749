// The platform file layer itself: fault injection and path operations.
// Open modes and the errno mapping are covered through OdbFile.
#include <sys/stat.h>

#include <cerrno>

#include "FileTestUtil.h"
#include "Mod/ModException.h"
#include "Mod/ModOsDriver.h"
#include "Mod/ModPureFile.h"

namespace filetest {
namespace {

using ModFileFault::Call;

class ModFileTest : public FileTest {
 protected:
  ModUnicodeString path(const std::string& name) const {
    return ModUnicodeString(u16(nativePath(name)));
  }

  // The error number of the ModException that body throws, or 0.
  template <typename Body>
  static int32_t errorOf(Body body) {
    try {
      body();
    } catch (const ModException& e) {
      return e.getErrorNumber();
    }
    return 0;
  }
};

TEST_F(ModFileTest, InjectedFaultsReportTheirErrnoOnceAfterSkipping) {
  ModPureFile file(path("c.bin"));
  file.open(ModPureFile::writeMode);
  ModFileFault::inject(Call::Write, ENOSPC, 1);
  EXPECT_EQ(file.write("a", 1), 1u);  // skipped
  EXPECT_EQ(errorOf([&] { file.write("b", 1); }), ModOsErrorNumber::DiskFull);
  EXPECT_EQ(file.write("c", 1), 1u);  // once only
  ModFileFault::inject(Call::Seek, EIO);
  EXPECT_EQ(errorOf([&] { file.seek(0, ModPureFile::seekSet); }), ModOsErrorNumber::IoError);
  file.seek(0, ModPureFile::seekSet);
  ModFileFault::inject(Call::Read, EIO);
  uint8_t byte = 0;
  EXPECT_EQ(errorOf([&] { file.read(&byte, 1); }), ModOsErrorNumber::IoError);
  EXPECT_EQ(file.read(&byte, 1), 1u);
  EXPECT_EQ(byte, 'a');

  // A failing close still releases the descriptor.
  ModFileFault::inject(Call::Close, ENOSPC);
  EXPECT_EQ(errorOf([&] { file.close(); }), ModOsErrorNumber::DiskFull);
  EXPECT_FALSE(file.isOpened());
  EXPECT_EQ(errorOf([&] { file.close(); }), 0);

  ModFileFault::inject(Call::Open, EACCES);
  EXPECT_EQ(errorOf([&] { file.open(ModPureFile::readMode); }), ModOsErrorNumber::PermissionDenied);
  EXPECT_FALSE(file.isOpened());
  ModFileFault::reset();
  file.open(ModPureFile::readMode);
  EXPECT_EQ(readWhole(nativePath("c.bin")), (Bytes{'a', 'c'}));
}

TEST_F(ModFileTest, MkdirCreatesMissingParentsWithTheGivenMode) {
  const std::string deep = nativePath("one/two/three");
  ModOsDriver::File::mkdir(ModUnicodeString(u16(deep + "/")), 0700, true);
  struct stat status {};
  ASSERT_EQ(::stat(deep.c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(nativePath("one").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);

  EXPECT_EQ(errorOf([&] { ModOsDriver::File::mkdir(ModUnicodeString(u16(deep)), 0700, true); }),
            ModOsErrorNumber::FileExists);
  EXPECT_EQ(errorOf([&] {
              ModOsDriver::File::mkdir(ModUnicodeString(u16(nativePath("x/y"))), 0700, false);
            }),
            ModOsErrorNumber::FileNotFound);
  writeWhole(nativePath("plain"), Bytes{1});
  EXPECT_EQ(errorOf([&] {
              ModOsDriver::File::mkdir(ModUnicodeString(u16(nativePath("plain/sub"))), 0700, true);
            }),
            ModOsErrorNumber::NotDirectory);
}

}  // namespace
}  // namespace filetest
