// The COM task allocator: memory that crosses an interface boundary (strings
// and arrays a provider hands out, BSTRs) comes from here and is released by
// the receiver with CoTaskMemFree or IMalloc::Free. It is the C heap, so the
// two sides need not agree on anything else.
#ifndef COM_COM_MEMORY_H
#define COM_COM_MEMORY_H

#include "Com/ComBase.h"

TAV_DEFINE_GUID(IID_IMalloc, 0x00000002, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                0x46);

inline constexpr DWORD MEMCTX_TASK = 1;

class IMalloc : public IUnknown {
 public:
  // Null when the memory is not available.
  virtual void* Alloc(SIZE_T size) = 0;
  // As CoTaskMemRealloc.
  virtual void* Realloc(void* memory, SIZE_T size) = 0;
  virtual void Free(void* memory) = 0;
  // The usable size of a block (at least what was asked for); (SIZE_T)-1
  // for a null pointer.
  virtual SIZE_T GetSize(void* memory) = 0;
  // -1: the allocator cannot tell whether it made the block (always here).
  virtual int DidAlloc(void* memory) = 0;
  virtual void HeapMinimize() = 0;
};
TAV_COM_INTERFACE(IMalloc, IUnknown, IID_IMalloc);

// OUT *allocator: the process's task allocator, one reference (it lives for
// the whole process; Release never destroys it). The context must be
// MEMCTX_TASK, else E_INVALIDARG; a null out-pointer gives E_INVALIDARG.
HRESULT CoGetMalloc(DWORD memoryContext, IMalloc** allocator);

// Null when the memory is not available. A size of 0 still gives a block.
void* CoTaskMemAlloc(SIZE_T size);
// Null memory allocates; size 0 frees and returns null. On failure null is
// returned and the old block stays valid.
void* CoTaskMemRealloc(void* memory, SIZE_T size);
// Null is accepted and ignored.
void CoTaskMemFree(void* memory);

#endif  // COM_COM_MEMORY_H
