#include "Com/ComMemory.h"

#include <malloc.h>

#include <cstdlib>

namespace {

// The one task allocator of the process. It has no state of its own, so its
// reference count is not kept: it can never be destroyed.
class TaskAllocator final : public IMalloc {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMalloc)) {
      *object = static_cast<IMalloc*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }

  void* Alloc(SIZE_T size) override { return CoTaskMemAlloc(size); }
  void* Realloc(void* memory, SIZE_T size) override { return CoTaskMemRealloc(memory, size); }
  void Free(void* memory) override { CoTaskMemFree(memory); }
  SIZE_T GetSize(void* memory) override {
    return memory == nullptr ? static_cast<SIZE_T>(-1) : malloc_usable_size(memory);
  }
  int DidAlloc(void*) override { return -1; }
  void HeapMinimize() override { malloc_trim(0); }
};

TaskAllocator taskAllocator;

}  // namespace

HRESULT CoGetMalloc(DWORD memoryContext, IMalloc** allocator) {
  if (allocator == nullptr) return E_INVALIDARG;
  if (memoryContext != MEMCTX_TASK) {
    *allocator = nullptr;
    return E_INVALIDARG;
  }
  *allocator = &taskAllocator;
  return S_OK;
}

void* CoTaskMemAlloc(SIZE_T size) {
  // A zero-sized request still yields a distinct block, as callers expect a
  // non-null result to mean success.
  return std::malloc(size == 0 ? 1 : size);
}

void* CoTaskMemRealloc(void* memory, SIZE_T size) {
  if (memory == nullptr) return CoTaskMemAlloc(size);
  if (size == 0) {
    std::free(memory);
    return nullptr;
  }
  return std::realloc(memory, size);
}

void CoTaskMemFree(void* memory) {
  std::free(memory);
}
