// Path operations of the base library. Failures throw ModException (module
// Os) with the error number of ModErrorNumberFromErrno. Thread-safe as far as
// the file system is.
#ifndef MOD_OS_DRIVER_H
#define MOD_OS_DRIVER_H

#include <cstdint>

#include "Mod/ModUnicodeString.h"

class ModOsDriver {
 public:
  class File {
   public:
    // Creates the directory with the given permission bits (before umask).
    // With recursive, missing parents are created first with the same bits;
    // parents that exist are fine. A path that already exists throws
    // FileExists (2017), whatever it is, so callers can tell "already there".
    static void mkdir(const ModUnicodeString& path, uint32_t mode, bool recursive);
    static void unlink(const ModUnicodeString& path);
    // Replaces an existing target, as the system's rename does.
    static void rename(const ModUnicodeString& from, const ModUnicodeString& to);
  };
};

#endif  // MOD_OS_DRIVER_H
