#include "Mod/ModException.h"

#include <cerrno>
#include <system_error>
#include <utility>

int32_t ModErrorNumberFromErrno(int errnoValue) {
  switch (errnoValue) {
    case ENOENT:
      return ModOsErrorNumber::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ModOsErrorNumber::NotDirectory;
    case EACCES:
    case EPERM:
    case EROFS:
      return ModOsErrorNumber::PermissionDenied;
    case EEXIST:
    case ENOTEMPTY:
      return ModOsErrorNumber::FileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ModOsErrorNumber::DiskFull;
    case EIO:
      return ModOsErrorNumber::IoError;
    case EINVAL:
    case EBADF:
    case EISDIR:
    case ESPIPE:
      return ModOsErrorNumber::BadArgument;
    default:
      return ModOsErrorNumber::OtherOsError;
  }
}

ModException::ModException(ModModule module, int32_t errorNumber, ModErrorLevel level,
                           std::string detail)
    : _module(module), _errorNumber(errorNumber), _level(level), _detail(std::move(detail)) {}

void ModException::setError(ModModule module, int32_t errorNumber, ModErrorLevel level,
                            std::string detail) {
  _module = module;
  _errorNumber = errorNumber;
  _level = level;
  _detail = std::move(detail);
}

std::string ModException::toString() const {
  std::string text = "ModException(module " + std::to_string(static_cast<int32_t>(_module)) +
                     ", error " + std::to_string(_errorNumber) + ", level " +
                     std::to_string(static_cast<int32_t>(_level)) + ")";
  if (!_detail.empty()) text += ": " + _detail;
  return text;
}

void ModThrowOsError(ModModule module, int errnoValue, const std::string& context) {
  // generic_category().message is the thread-safe strerror.
  std::string detail = context + ": " + std::generic_category().message(errnoValue) + " (errno " +
                       std::to_string(errnoValue) + ")";
  throw ModException(module, ModErrorNumberFromErrno(errnoValue), ModErrorLevel::Error,
                     std::move(detail));
}
