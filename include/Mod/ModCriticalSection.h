// A recursive lock with a lock count, and its RAII guard. Each lock of the
// library documents beside its definition what it guards.
#ifndef MOD_CRITICAL_SECTION_H
#define MOD_CRITICAL_SECTION_H

#include <mutex>

class ModCriticalSection {
 public:
  ModCriticalSection() = default;
  ModCriticalSection(const ModCriticalSection&) = delete;
  ModCriticalSection& operator=(const ModCriticalSection&) = delete;

  void lock() { _mutex.lock(); }
  bool try_lock() { return _mutex.try_lock(); }
  void unlock() { _mutex.unlock(); }

 private:
  std::recursive_mutex _mutex;
};

// Holds the lock for its scope, released on every exit including throws.
using ModAutoCriticalSection = std::lock_guard<ModCriticalSection>;

#endif  // MOD_CRITICAL_SECTION_H
