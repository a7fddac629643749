// Replaces the family's default allocator for its lifetime: counts the
// blocks still outstanding and can make one allocation fail.
#ifndef TAVODB_TESTS_ALLOCATION_COUNTER_H
#define TAVODB_TESTS_ALLOCATION_COUNTER_H

#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "platform/tavcommon/TavMemoryInternal.h"

class AllocationCounter {
 public:
  // failAt: 0-based index of the allocation that returns null; -1 none.
  explicit AllocationCounter(long failAt = -1) {
    _allocations = 0;
    _outstanding = 0;
    _failAt = failAt;
    _failed = false;
    tavcommon::setDefaultAllocatorForTesting(&allocate, &release);
  }
  ~AllocationCounter() { tavcommon::setDefaultAllocatorForTesting(nullptr, nullptr); }
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  long allocations() const { return _allocations; }
  long outstanding() const { return _outstanding; }
  bool failed() const { return _failed; }

 private:
  static void* allocate(size_t size) {
    if (_allocations.fetch_add(1) == _failAt.load()) {
      _failed = true;
      return nullptr;
    }
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory != nullptr) ++_outstanding;
    return memory;
  }
  static void release(void* memory) {
    if (memory == nullptr) return;
    --_outstanding;
    std::free(memory);
  }

  static inline std::atomic<long> _allocations{0}, _outstanding{0}, _failAt{-1};
  static inline std::atomic<bool> _failed{false};
};

#endif  // TAVODB_TESTS_ALLOCATION_COUNTER_H
