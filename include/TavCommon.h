// The family's common functions: memory, UTF-16 strings, GUIDs and
// variants. Callers use them to release what the library hands out.
//
// Allocator arguments: null selects the family's default allocator (the one
// TavFreeMemory releases with; malloc/free). TAV_NO_MALLOC makes a function
// write into storage the caller already provides through the output pointer
// (*destination must then point to enough room: each function states how
// much; a null *destination gives E_INVALIDARG); TAV_NO_FREE is its
// matching release function and releases nothing. A caller's own allocator
// is used for every block; since no matching deallocator is passed, a
// function that fails after taking several blocks from it cannot hand them
// back (the output still receives none of them) - pair such allocators
// with arenas. With the default allocator every failure releases all.
//
// Results: S_OK; E_INVALIDARG for a null output pointer or malformed input;
// E_OUTOFMEMORY when an allocation fails. On failure outputs are left
// unchanged unless stated. All functions are thread-safe for distinct data.
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
// Null when the allocation fails (or for TAV_NO_MALLOC). Size 0 still gives
// a distinct block.
TAVODB_API void* TavAllocateMemory(size_t size, TavAllocator allocator = nullptr);
TAVODB_API void TavFreeMemory(void* memory, TavDeallocator deallocator = nullptr);
TAVODB_API void TavFreeMemory(char* string, TavDeallocator deallocator = nullptr);
TAVODB_API void TavFreeMemory(char16_t* string, TavDeallocator deallocator = nullptr);
TAVODB_API void TavFreeMemory(GUID* guid, TavDeallocator deallocator = nullptr);
// Releases the data the variant owns (bytes, characters, an array with its
// elements, recursively) and leaves the record itself to the caller: its
// pointers null and sizes zero, type and hasValue unchanged. The deallocator
// applies to that data; TAV_NO_FREE (the record itself is not the
// family's) releases the data with the default deallocator. Pointers are
// released whatever hasValue says, so a NULL record must carry null
// pointers (as every function here leaves it). Unknown tags own nothing.
TAVODB_API void TavFreeMemory(TavVariant* variant, TavDeallocator deallocator = nullptr);
// Releases memory that a COM call allocated with CoTaskMemAlloc.
TAVODB_API void TavCoTaskMemFree(void* memory);

// ---- UTF-16 strings (NUL-terminated, lengths in code units) ----
// Null counts as the empty string.
TAVODB_API size_t TavStrlen(const char16_t* string);
// 0 when equal, negative or positive by code unit order. Null sorts first.
TAVODB_API int TavStrcmp(const char16_t* left, const char16_t* right);
// OUT *destination: a new copy of source (null source gives null, for
// TAV_NO_MALLOC too). TAV_NO_MALLOC: room for TavStrlen(source) + 1 units.
TAVODB_API TavResult TavCopyString(char16_t** destination, const char16_t* source,
                                   TavAllocator allocator = nullptr);
// OUT *destination: first followed by second (a null one counts as empty;
// the result is always a string). TAV_NO_MALLOC: room for both lengths + 1
// units; the room may be first itself (appending in place).
TAVODB_API TavResult TavConcatString(char16_t** destination, const char16_t* first,
                                     const char16_t* second, TavAllocator allocator = nullptr);
// Splits source at every separator. OUT *parts: an array of *count strings,
// each allocated; release each with TavFreeMemory, then the array.
// Empty pieces are kept, so n separators always give n + 1 pieces and
// joining the pieces with the separator gives source back: "a,,b" gives
// "a", "", "b"; ",a," gives "", "a", ""; "" gives one empty piece. A null
// source gives *count 0 and a null array. TAV_NO_MALLOC: *parts points to
// room for the n + 1 piece pointers, each already pointing to room for its
// piece (TavStrlen(source) + 1 units always suffice).
TAVODB_API TavResult TavSplitString(char16_t*** parts, int32_t* count, const char16_t* source,
                                    char16_t separator, TavAllocator allocator = nullptr);
// Narrows UTF-16 into a new NUL-terminated string in the given code.
// TAV_CHARCODE_DEFAULT (0) is UTF-8 (an unpaired surrogate becomes U+FFFD);
// any other code gives E_INVALIDARG. Null source gives null. TAV_NO_MALLOC:
// room for 3 * TavStrlen(source) + 1 bytes always suffices.
TAVODB_API TavResult TavStringToAscii2(char** destination, const char16_t* source,
                                       TavCharCode code, TavAllocator allocator = nullptr);
// Copies a BSTR (length-prefixed; all its units, NUL-terminated) into a
// family string. Null BSTR gives null. TAV_NO_MALLOC: room for length + 1.
TAVODB_API TavResult TavDmaStringToString(char16_t** destination, const char16_t* bstr,
                                          TavAllocator allocator = nullptr);
// A BSTR copy of source (null for null source or no memory); release it
// with TavSysFreeString (null accepted).
TAVODB_API char16_t* TavSysAllocString(const char16_t* source);
TAVODB_API void TavSysFreeString(char16_t* bstr);

// Builds a UTF-16 string piece by piece; integers are written in decimal,
// null strings add nothing. Not thread-safe. When memory runs out the
// stream drops its text and is marked failed: later insertions are ignored,
// getString() gives "" and copyTo gives E_OUTOFMEMORY, until clear().
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
  // OUT *destination: a family-allocated copy of the text (TAV_NO_MALLOC:
  // room for getLength() + 1 units).
  TavResult copyTo(char16_t** destination, TavAllocator allocator = nullptr) const;
  // Empties the text and the failed mark; keeps the buffer.
  void clear();

 private:
  char16_t* _buffer;
  size_t _length;    // units of text, terminator not counted
  size_t _capacity;  // units allocated, terminator included
  bool _failed;
  bool append(const char16_t* text, size_t length);
  void fail();
};

// ---- GUIDs ----
// OUT *destination: a new copy (null source gives null and S_OK).
// TAV_NO_MALLOC: *destination points to a GUID.
TAVODB_API TavResult TavCopyGuid(GUID** destination, const GUID* source,
                                 TavAllocator allocator = nullptr);
TAVODB_API TavBoolean TavIsEqualGuid(const GUID& left, const GUID& right);
// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of either case,
// nothing before or after); anything else gives E_INVALIDARG and leaves
// *guid unchanged.
TAVODB_API TavResult TavStringToGuid(GUID* guid, const char16_t* text);
// OUT *destination: the upper-case braced text form (38 characters).
// TAV_NO_MALLOC: room for 39 units.
TAVODB_API TavResult TavGuidToString(char16_t** destination, const GUID& guid,
                                     TavAllocator allocator = nullptr);

// ---- variants ----
// Deep copy: bytes, characters and arrays (recursively) are duplicated; a
// copied string is NUL-terminated after its `length` units; null pointers
// stay null, and a zero-sized binary copies as null. A NULL (hasValue 0)
// copies as type and hasValue 0 with the value zeroed. destination is
// overwritten without being released and must not be source. The record
// is always the caller's: the allocator applies to its data, and
// TAV_NO_MALLOC takes that data from the default allocator. E_INVALIDARG
// for an unknown tag (anywhere in the tree), a hasValue other than 0 or 1,
// a null pointer with a non-zero size, or a negative array count. On
// failure destination is a NULL of source's type holding no data.
TAVODB_API TavResult TavCopyVariant(TavVariant* destination, const TavVariant* source,
                                    TavAllocator allocator = nullptr);
// OUT *array: count zeroed elements (count 0 gives an empty array with
// null elements; a negative count gives E_INVALIDARG). TAV_NO_MALLOC:
// *array points to the caller's array record whose elements point to room
// for count records; count is set and the records zeroed.
TAVODB_API TavResult TavAllocateVariants(TavVariantArray** array, int32_t count,
                                         TavAllocator allocator = nullptr);
// Releases every element's data, the elements and the array. TAV_NO_FREE:
// the array and its elements are the caller's; only the elements' data is
// released (with the default deallocator). Null is accepted.
TAVODB_API void TavFreeVariants(TavVariantArray* array, TavDeallocator deallocator = nullptr);

#endif  // TAV_COMMON_H
