// Helpers both drivers share: the text forms of date-times and bytes, and the
// running-statement guard that makes cancel() safe. Private to platform/store.
#ifndef TAVODB_PLATFORM_STORE_STORE_SUPPORT_H
#define TAVODB_PLATFORM_STORE_STORE_SUPPORT_H

#include <atomic>
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
    explicit Running(CancelGate& gate) : _gate(gate) { _gate._running.store(true); }
    ~Running() { _gate.leave(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    CancelGate& _gate;
  };

  // Calls action() under the lock when a statement runs; never throws.
  template <typename Action>
  void whileRunning(Action action) noexcept {
    std::lock_guard<std::mutex> lock(_mutex);
    _cancelling.store(true);
    if (_running.load()) action();
    _cancelling.store(false);
  }
  // Calls action() under the lock (to replace or drop the cancel handle).
  template <typename Action>
  void locked(Action action) {
    std::lock_guard<std::mutex> lock(_mutex);
    action();
  }

 private:
  // The running flag is set and cleared without the lock, as every fetch
  // does it twice per row. Both sides store their own flag and then read the
  // other's, sequentially consistent: a cancel either sees the statement
  // finished and does nothing, or is seen here and waited for, so no cancel
  // reaches the store after the statement's scope has ended.
  void leave() noexcept {
    _running.store(false);
    if (_cancelling.load()) {
      // A cancel saw the statement running: wait until it is done with it.
      std::lock_guard<std::mutex> wait(_mutex);
    }
  }
  std::mutex _mutex;  // held across a cancel; guards the driver's cancel handle
  std::atomic<bool> _running{false};
  std::atomic<bool> _cancelling{false};
};

// Errors the layer raises itself (not translated from a driver).
[[noreturn]] void throwClosed();
[[noreturn]] void throwParameterCount(std::size_t expected, std::size_t given);
[[noreturn]] void throwNotOneStatement();
[[noreturn]] void throwAlreadyInTransaction();
[[noreturn]] void throwRolledBack();

}  // namespace store::detail

#endif  // TAVODB_PLATFORM_STORE_STORE_SUPPORT_H
