// Helpers both drivers share: the text forms of date-times and bytes, and the
// running-statement guard that makes cancel() safe. Private to platform/store.
#ifndef TAVODB_PLATFORM_STORE_STORE_SUPPORT_H
#define TAVODB_PLATFORM_STORE_STORE_SUPPORT_H

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/store/Store.h"

namespace store::detail {

// "YYYY-MM-DD HH:MM:SS.mmm". Throws Error (Other, 22008) for a field out of
// range, so no store ever holds a date-time that would not read back.
std::string formatDateTime(const DateTime& value);

// Reads "YYYY-MM-DD", optionally followed by " HH:MM:SS" (or 'T' as the
// separator), a fraction of any length (digits past the millisecond are
// dropped) and a zone suffix ("Z", "+00", "+05:30"), which is ignored.
// False when the text is not of that form or a field is out of range.
bool parseDateTime(std::string_view text, DateTime& out /* OUT */);

// Lower-case hex digits, two per byte.
std::string toHex(const std::vector<uint8_t>& bytes);
// False on an odd length or a non-hex digit.
bool fromHex(std::string_view hex, std::vector<uint8_t>& out /* OUT */);

// Whether `text` contains `upper` (given in upper case) ignoring ASCII case;
// for declared column types.
bool containsIgnoringCase(std::string_view text, std::string_view upper);

// What makes cancel() safe from another thread: the flag saying a statement
// or fetch runs on the connection, and (by holding the lock) the lifetime of
// the driver handle cancel() uses. The connection's thread holds a Running
// scope around each call into the store; close() takes the lock to drop the
// handle.
class CancelGate {
 public:
  class Running {
   public:
    explicit Running(CancelGate& gate) : _gate(gate) { _gate.setRunning(true); }
    ~Running() { _gate.setRunning(false); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    CancelGate& _gate;
  };

  // Calls action() under the lock when a statement runs; never throws.
  template <typename Action>
  void whileRunning(Action action) noexcept {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_running) action();
  }
  // Calls action() under the lock (to replace or drop the cancel handle).
  template <typename Action>
  void locked(Action action) {
    std::lock_guard<std::mutex> lock(_mutex);
    action();
  }

 private:
  void setRunning(bool running) {
    std::lock_guard<std::mutex> lock(_mutex);
    _running = running;
  }
  std::mutex _mutex;  // guards _running and the driver's cancel handle
  bool _running = false;
};

// Errors the layer raises itself (not translated from a driver).
[[noreturn]] void throwClosed();
[[noreturn]] void throwParameterCount(std::size_t expected, std::size_t given);
[[noreturn]] void throwNotOneStatement();
[[noreturn]] void throwAlreadyInTransaction();
[[noreturn]] void throwRolledBack();

}  // namespace store::detail

#endif  // TAVODB_PLATFORM_STORE_STORE_SUPPORT_H
