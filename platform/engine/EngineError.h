// The engine's failures: the one translation of store errors into engine
// exceptions, and the engine's own errors. Private to platform/engine.
#ifndef TAVODB_PLATFORM_ENGINE_ENGINE_ERROR_H
#define TAVODB_PLATFORM_ENGINE_ENGINE_ERROR_H

#include <string>

#include "Mod/ModUnicodeString.h"

namespace store {
class Error;
}

namespace engine {

// SQLSTATEs of the engine's own errors.
inline constexpr const char* kStateGeneral = "HY000";
inline constexpr const char* kStateSyntax = "42601";
inline constexpr const char* kStateCast = "22018";
inline constexpr const char* kStateBadValue = "22023";
inline constexpr const char* kStateIndex = "2202E";
inline constexpr const char* kStateNotOpen = "08003";

// Throws the engine exception for a store error: unique violation ->
// UniquenessViolation, deadlock and a lock wait that gave up (55P03) ->
// Deadlock, disk full and log full ->
// DiskFull (naming `databaseName`), cancelled -> Cancelled, connection lost ->
// ConnectionLost, anything else -> Object. The SQLSTATE, native code and
// message travel unchanged.
[[noreturn]] void throwStoreError(const store::Error& error, const ModUnicodeString& databaseName);

// Throws Corvid::Exception::Object with `sqlState` and `message`.
[[noreturn]] void throwEngineError(const char* sqlState, const std::string& message);

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_ENGINE_ERROR_H
