// The family's common functions: memory, UTF-16 strings, GUIDs and
// variants. Callers use them to release what the library hands out.
//
// Allocator arguments: null selects the family's default allocator (the one
// TavFreeMemory releases with). TAV_NO_MALLOC makes a function write into
// storage the caller already provides through the output pointer; TAV_NO_FREE
// is its matching release function and releases nothing.
#ifndef TAV_COMMON_H
#define TAV_COMMON_H

#include <cstddef>
#include <cstdint>

#include "TavCommonTypes.h"
#include "TavOdbExport.h"

using TavAllocator = void* (*)(size_t size);
using TavDeallocator = void (*)(void* memory);

// Sentinels, never called for memory.
TAVODB_API void* TavNoMalloc(size_t size);
TAVODB_API void TavNoFree(void* memory);
#define TAV_NO_MALLOC (&TavNoMalloc)
#define TAV_NO_FREE (&TavNoFree)

// ---- memory ----
// Null when the allocation fails (or for TAV_NO_MALLOC).
TAVODB_API void* TavAllocateMemory(size_t size, TavAllocator allocator = nullptr);
TAVODB_API void TavFreeMemory(void* memory, TavDeallocator deallocator = nullptr);
TAVODB_API void TavFreeMemory(char* string, TavDeallocator deallocator = nullptr);
TAVODB_API void TavFreeMemory(char16_t* string, TavDeallocator deallocator = nullptr);
TAVODB_API void TavFreeMemory(GUID* guid, TavDeallocator deallocator = nullptr);
// Releases the data the variant owns (bytes, characters, an array with its
// elements) and leaves the record itself to the caller, its pointers null.
TAVODB_API void TavFreeMemory(TavVariant* variant, TavDeallocator deallocator = nullptr);
// Releases memory that a COM call allocated with CoTaskMemAlloc.
TAVODB_API void TavCoTaskMemFree(void* memory);

// ---- UTF-16 strings (NUL-terminated, lengths in code units) ----
TAVODB_API size_t TavStrlen(const char16_t* string);
// 0 when equal, negative or positive by code unit order. Null sorts first.
TAVODB_API int TavStrcmp(const char16_t* left, const char16_t* right);
// OUT *destination: a new copy of source (null source gives null).
TAVODB_API TavResult TavCopyString(char16_t** destination, const char16_t* source,
                                   TavAllocator allocator = nullptr);
// OUT *destination: first followed by second.
TAVODB_API TavResult TavConcatString(char16_t** destination, const char16_t* first,
                                     const char16_t* second, TavAllocator allocator = nullptr);
// Splits source at every separator. OUT *parts: an array of *count strings,
// each allocated; release each with TavFreeMemory, then the array.
TAVODB_API TavResult TavSplitString(char16_t*** parts, int32_t* count, const char16_t* source,
                                    char16_t separator, TavAllocator allocator = nullptr);
// Narrows UTF-16 into a new NUL-terminated string in the given code.
TAVODB_API TavResult TavStringToAscii2(char** destination, const char16_t* source,
                                       TavCharCode code, TavAllocator allocator = nullptr);
// Copies a BSTR (length-prefixed) into a family string.
TAVODB_API TavResult TavDmaStringToString(char16_t** destination, const char16_t* bstr,
                                          TavAllocator allocator = nullptr);
TAVODB_API char16_t* TavSysAllocString(const char16_t* source);
TAVODB_API void TavSysFreeString(char16_t* bstr);

// Builds a UTF-16 string piece by piece. Not thread-safe.
class TAVODB_API TavCharStream {
 public:
  TavCharStream();
  ~TavCharStream();
  TavCharStream(const TavCharStream&) = delete;
  TavCharStream& operator=(const TavCharStream&) = delete;

  TavCharStream& operator<<(const char* text);  // ASCII/UTF-8
  TavCharStream& operator<<(const char16_t* text);
  TavCharStream& operator<<(int value);
  TavCharStream& operator<<(unsigned value);
  TavCharStream& operator<<(long value);
  TavCharStream& operator<<(unsigned long value);

  // The text so far, NUL-terminated; valid until the next insertion.
  const char16_t* getString() const;
  size_t getLength() const;
  // OUT *destination: a family-allocated copy of the text.
  TavResult copyTo(char16_t** destination, TavAllocator allocator = nullptr) const;
  void clear();

 private:
  char16_t* _buffer;
  size_t _length;
  size_t _capacity;
  bool append(const char16_t* text, size_t length);
};

// ---- GUIDs ----
// OUT *destination: a new copy (null source gives null and S_OK).
TAVODB_API TavResult TavCopyGuid(GUID** destination, const GUID* source,
                                 TavAllocator allocator = nullptr);
TAVODB_API TavBoolean TavIsEqualGuid(const GUID& left, const GUID& right);
// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of either case).
TAVODB_API TavResult TavStringToGuid(GUID* guid, const char16_t* text);
// OUT *destination: the upper-case braced text form (38 characters).
TAVODB_API TavResult TavGuidToString(char16_t** destination, const GUID& guid,
                                     TavAllocator allocator = nullptr);

// ---- variants ----
// Deep copy: bytes, characters and arrays (recursively) are duplicated.
// On failure destination holds no allocated data.
TAVODB_API TavResult TavCopyVariant(TavVariant* destination, const TavVariant* source,
                                    TavAllocator allocator = nullptr);
// OUT *array: count zeroed elements (count 0 gives an empty array).
TAVODB_API TavResult TavAllocateVariants(TavVariantArray** array, int32_t count,
                                         TavAllocator allocator = nullptr);
// Releases every element's data, the elements and the array.
TAVODB_API void TavFreeVariants(TavVariantArray* array, TavDeallocator deallocator = nullptr);

#endif  // TAV_COMMON_H
