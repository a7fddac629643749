// Replaces the family's default allocator for its lifetime: counts the
// blocks still outstanding and can make one allocation fail.
#ifndef TAVODB_TESTS_ALLOCATION_COUNTER_H
#define TAVODB_TESTS_ALLOCATION_COUNTER_H

#include <cstddef>

class AllocationCounter {
 public:
  // failAt: 0-based index of the allocation that returns null; -1 none.
  explicit AllocationCounter(long failAt = -1);
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  long allocations() const;
  long outstanding() const;
  bool failed() const;
};

#endif  // TAVODB_TESTS_ALLOCATION_COUNTER_H
