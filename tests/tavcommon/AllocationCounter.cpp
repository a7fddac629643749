#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>

#include "platform/tavcommon/TavMemoryInternal.h"

namespace {

std::atomic<long> allocationCount{0};
std::atomic<long> outstandingCount{0};
std::atomic<long> failIndex{-1};
std::atomic<bool> hasFailed{false};

void* countingAllocate(size_t size) {
  const long index = allocationCount.fetch_add(1);
  if (index == failIndex.load()) {
    hasFailed = true;
    return nullptr;
  }
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory != nullptr) ++outstandingCount;
  return memory;
}

void countingFree(void* memory) {
  if (memory == nullptr) return;
  --outstandingCount;
  std::free(memory);
}

}  // namespace

AllocationCounter::AllocationCounter(long failAt) {
  allocationCount = 0;
  outstandingCount = 0;
  failIndex = failAt;
  hasFailed = false;
  tavcommon::setDefaultAllocatorForTesting(&countingAllocate, &countingFree);
}

AllocationCounter::~AllocationCounter() {
  tavcommon::setDefaultAllocatorForTesting(nullptr, nullptr);
}

long AllocationCounter::allocations() const {
  return allocationCount;
}
long AllocationCounter::outstanding() const {
  return outstandingCount;
}
bool AllocationCounter::failed() const {
  return hasFailed;
}
