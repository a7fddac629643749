// Allocation helpers shared by the units of the family's common functions,
// and the test hook that replaces the default allocator.
#ifndef PLATFORM_TAVCOMMON_TAV_MEMORY_INTERNAL_H
#define PLATFORM_TAVCOMMON_TAV_MEMORY_INTERNAL_H

#include <cstddef>

#include "TavCommon.h"

namespace tavcommon {

// A block from `allocator` (null: the default one); null on failure or for
// TAV_NO_MALLOC. count * unitSize overflowing size_t is a failure too.
void* allocate(size_t count, size_t unitSize, TavAllocator allocator);
// Releases through `deallocator` (null: the default one; TAV_NO_FREE:
// nothing). Null memory is ignored.
void release(void* memory, TavDeallocator deallocator);
// The deallocator that undoes `allocator` when a function must hand back
// what it took on failure: the default for null, none otherwise (a
// caller's own allocator has no known counterpart).
TavDeallocator undoFor(TavAllocator allocator);

// Where a result of `count` elements goes: the caller's room behind
// *destination for TAV_NO_MALLOC (E_INVALIDARG when null), else a new block
// (E_OUTOFMEMORY). *storage receives it; *destination is not written.
template <typename T>
TavResult obtainStorage(T* const* destination, size_t count, TavAllocator allocator, T** storage) {
  if (allocator == TAV_NO_MALLOC) {
    if (*destination == nullptr) return E_INVALIDARG;
    *storage = *destination;
    return S_OK;
  }
  *storage = static_cast<T*>(allocate(count, sizeof(T), allocator));
  return *storage == nullptr ? E_OUTOFMEMORY : S_OK;
}

// Replaces the default allocator and deallocator for tests that inject
// allocation failures or count blocks; both must be malloc-compatible, since
// blocks may cross a replacement. Null, null restores malloc and free.
void setDefaultAllocatorForTesting(TavAllocator allocator, TavDeallocator deallocator);

}  // namespace tavcommon

#endif  // PLATFORM_TAVCOMMON_TAV_MEMORY_INTERNAL_H
