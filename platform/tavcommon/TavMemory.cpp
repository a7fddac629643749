#include <atomic>
#include <cstdlib>
#include <limits>

#include "Com/ComMemory.h"
#include "TavCommon.h"
#include "platform/tavcommon/TavMemoryInternal.h"

namespace {

std::atomic<TavAllocator> testAllocator{nullptr};
std::atomic<TavDeallocator> testDeallocator{nullptr};

void* defaultAllocate(size_t size) {
  if (TavAllocator hook = testAllocator.load(std::memory_order_acquire)) return hook(size);
  // Size 0 still yields a distinct block, so null always means failure.
  return std::malloc(size == 0 ? 1 : size);
}

void defaultFree(void* memory) {
  if (TavDeallocator hook = testDeallocator.load(std::memory_order_acquire)) {
    hook(memory);
  } else {
    std::free(memory);
  }
}

}  // namespace

namespace tavcommon {

void* allocate(size_t count, size_t unitSize, TavAllocator allocator) {
  if (allocator == TAV_NO_MALLOC) return nullptr;
  if (unitSize != 0 && count > std::numeric_limits<size_t>::max() / unitSize) return nullptr;
  const size_t size = count * unitSize;
  return allocator == nullptr ? defaultAllocate(size) : allocator(size);
}

void release(void* memory, TavDeallocator deallocator) {
  if (memory == nullptr || deallocator == TAV_NO_FREE) return;
  if (deallocator == nullptr) {
    defaultFree(memory);
  } else {
    deallocator(memory);
  }
}

TavDeallocator undoFor(TavAllocator allocator) {
  return allocator == nullptr ? nullptr : TAV_NO_FREE;
}

void setDefaultAllocatorForTesting(TavAllocator allocator, TavDeallocator deallocator) {
  testAllocator.store(allocator, std::memory_order_release);
  testDeallocator.store(deallocator, std::memory_order_release);
}

}  // namespace tavcommon

void* TavNoMalloc(size_t) {
  return nullptr;
}
void TavNoFree(void*) {}

void* TavAllocateMemory(size_t size, TavAllocator allocator) {
  return tavcommon::allocate(size, 1, allocator);
}

void TavFreeMemory(void* memory, TavDeallocator deallocator) {
  tavcommon::release(memory, deallocator);
}
void TavFreeMemory(char* string, TavDeallocator deallocator) {
  tavcommon::release(string, deallocator);
}
void TavFreeMemory(char16_t* string, TavDeallocator deallocator) {
  tavcommon::release(string, deallocator);
}
void TavFreeMemory(GUID* guid, TavDeallocator deallocator) {
  tavcommon::release(guid, deallocator);
}

void TavCoTaskMemFree(void* memory) {
  CoTaskMemFree(memory);
}
