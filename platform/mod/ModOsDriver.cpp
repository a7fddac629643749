#include "Mod/ModOsDriver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "Mod/ModException.h"
#include "platform/mod/ModFileFault.h"

namespace {

using ModFileFault::Call;

// Runs one system call, or fails it with an injected errno.
template <typename Function>
int checked(Call call, Function function) {
  if (const int injected = ModFileFault::take(call)) {
    errno = injected;
    return -1;
  }
  return function();
}

[[noreturn]] void fail(const char* operation, const std::string& path) {
  ModThrowOsError(ModModule::Os, errno, std::string(operation) + " " + path);
}

}  // namespace

void ModOsDriver::File::mkdir(const ModUnicodeString& path, uint32_t mode, bool recursive) {
  std::string native = ModUtf16ToUtf8(path.str());
  // "a/b/" names the directory "a/b"; without this its last component would
  // be made as a parent and then reported as already there.
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (const int injected = ModFileFault::take(Call::Mkdir)) {
    errno = injected;
    fail("mkdir", native);
  }
  if (recursive) {
    // Each proper prefix ending before a '/' is a parent. One that exists
    // (made by someone else meanwhile, too) is fine; one that is not a
    // directory makes the next mkdir fail with ENOTDIR.
    for (size_t slash = native.find('/', 1); slash != std::string::npos;
         slash = native.find('/', slash + 1)) {
      if (native[slash - 1] == '/') continue;
      const std::string parent = native.substr(0, slash);
      if (::mkdir(parent.c_str(), static_cast<mode_t>(mode)) < 0 && errno != EEXIST) {
        fail("mkdir", parent);
      }
    }
  }
  if (::mkdir(native.c_str(), static_cast<mode_t>(mode)) < 0) fail("mkdir", native);
}

void ModOsDriver::File::unlink(const ModUnicodeString& path) {
  const std::string native = ModUtf16ToUtf8(path.str());
  if (checked(Call::Unlink, [&] { return ::unlink(native.c_str()); }) < 0) fail("unlink", native);
}

void ModOsDriver::File::rename(const ModUnicodeString& from, const ModUnicodeString& to) {
  const std::string nativeFrom = ModUtf16ToUtf8(from.str());
  const std::string nativeTo = ModUtf16ToUtf8(to.str());
  if (checked(Call::Rename, [&] { return ::rename(nativeFrom.c_str(), nativeTo.c_str()); }) < 0) {
    fail("rename", nativeFrom + " -> " + nativeTo);
  }
}
