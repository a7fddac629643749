// The base library's exception: a module, an error number and a level.
// File operations report errno through ModOsErrorNumber so that every caller
// sees the same base-library numbers.
#ifndef MOD_EXCEPTION_H
#define MOD_EXCEPTION_H

#include <cstdint>
#include <string>

// Base-library error numbers that callers map to results.
namespace ModOsErrorNumber {
inline constexpr int32_t FileNotFound = 2002;       // ENOENT
inline constexpr int32_t NotDirectory = 2013;       // ENOTDIR, ENAMETOOLONG, ELOOP
inline constexpr int32_t PermissionDenied = 2016;   // EACCES, EPERM, EROFS
inline constexpr int32_t FileExists = 2017;         // EEXIST, ENOTEMPTY
inline constexpr int32_t DiskFull = 2028;           // ENOSPC, EDQUOT, EFBIG
inline constexpr int32_t IoError = 2201;            // EIO
inline constexpr int32_t BadArgument = 2202;        // EINVAL, EBADF, EISDIR, ESPIPE
inline constexpr int32_t OtherOsError = 2999;       // anything else
}  // namespace ModOsErrorNumber

// The one conversion from errno to a base-library error number.
int32_t ModErrorNumberFromErrno(int errnoValue);

enum class ModErrorLevel : int32_t { Warning = 1, Error = 2, Fatal = 3 };

enum class ModModule : int32_t { Base = 0, Os = 1, File = 2, Memory = 3, Language = 4 };

class ModException {
 public:
  ModException() = default;
  ModException(ModModule module, int32_t errorNumber, ModErrorLevel level,
               std::string detail = {});

  void setError(ModModule module, int32_t errorNumber, ModErrorLevel level,
                std::string detail = {});
  ModModule getErrorModule() const { return _module; }
  int32_t getErrorNumber() const { return _errorNumber; }
  ModErrorLevel getErrorLevel() const { return _level; }
  // "ModException(module 2, error 2002, level 2): <detail>"
  std::string toString() const;

 private:
  ModModule _module = ModModule::Base;
  int32_t _errorNumber = 0;
  ModErrorLevel _level = ModErrorLevel::Error;
  std::string _detail;
};

// Throws ModException for errno (module Os or File) with the given context.
[[noreturn]] void ModThrowOsError(ModModule module, int errnoValue, const std::string& context);

#endif  // MOD_EXCEPTION_H
