#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "Com/ComVariant.h"
#include "Mod/ModUnicodeString.h"
#include "TavCommon.h"
#include "platform/tavcommon/TavMemoryInternal.h"

namespace {

// Copies `length` units and a terminator into storage. memmove: with
// TAV_NO_MALLOC the caller's room may overlap the source.
void placeString(char16_t* storage, const char16_t* text, size_t length) {
  if (length != 0) std::memmove(storage, text, length * sizeof(char16_t));
  storage[length] = u'\0';
}

TavResult copyUnits(char16_t** destination, const char16_t* source, size_t length,
                    TavAllocator allocator) {
  char16_t* storage = nullptr;
  const TavResult rc = tavcommon::obtainStorage(destination, length + 1, allocator, &storage);
  if (rc != S_OK) return rc;
  placeString(storage, source, length);
  *destination = storage;
  return S_OK;
}

}  // namespace

size_t TavStrlen(const char16_t* string) {
  if (string == nullptr) return 0;
  return std::char_traits<char16_t>::length(string);
}

int TavStrcmp(const char16_t* left, const char16_t* right) {
  if (left == nullptr || right == nullptr) {
    return (left == nullptr ? 0 : 1) - (right == nullptr ? 0 : 1);
  }
  for (;; ++left, ++right) {
    // char16_t is unsigned, so units above 0x7FFF sort last, as code
    // unit order requires.
    if (*left != *right) return *left < *right ? -1 : 1;
    if (*left == u'\0') return 0;
  }
}

TavResult TavCopyString(char16_t** destination, const char16_t* source, TavAllocator allocator) {
  if (destination == nullptr) return E_INVALIDARG;
  if (source == nullptr) {
    *destination = nullptr;
    return S_OK;
  }
  return copyUnits(destination, source, TavStrlen(source), allocator);
}

TavResult TavConcatString(char16_t** destination, const char16_t* first, const char16_t* second,
                          TavAllocator allocator) {
  if (destination == nullptr) return E_INVALIDARG;
  const size_t firstLength = TavStrlen(first);
  const size_t secondLength = TavStrlen(second);
  if (firstLength > SIZE_MAX - 1 - secondLength) return E_OUTOFMEMORY;
  char16_t* storage = nullptr;
  const TavResult rc =
      tavcommon::obtainStorage(destination, firstLength + secondLength + 1, allocator, &storage);
  if (rc != S_OK) return rc;
  // Second first: when the room is `first` itself, the units of first are
  // already in place and writing second does not disturb them.
  placeString(storage + firstLength, second, secondLength);
  if (firstLength != 0) std::memmove(storage, first, firstLength * sizeof(char16_t));
  *destination = storage;
  return S_OK;
}

TavResult TavSplitString(char16_t*** parts, int32_t* count, const char16_t* source,
                         char16_t separator, TavAllocator allocator) {
  if (parts == nullptr || count == nullptr) return E_INVALIDARG;
  if (source == nullptr) {
    *parts = nullptr;
    *count = 0;
    return S_OK;
  }
  const size_t length = TavStrlen(source);
  size_t pieceCount = 1;
  for (size_t i = 0; i < length; ++i) {
    if (source[i] == separator) ++pieceCount;
  }
  if (pieceCount > static_cast<size_t>(INT32_MAX)) return E_INVALIDARG;

  char16_t** array = nullptr;
  TavResult rc = tavcommon::obtainStorage(parts, pieceCount, allocator, &array);
  if (rc != S_OK) return rc;
  if (allocator == TAV_NO_MALLOC) {
    for (size_t i = 0; i < pieceCount; ++i) {
      if (array[i] == nullptr) return E_INVALIDARG;
    }
  }

  size_t made = 0;
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i < length && source[i] != separator) continue;
    // With TAV_NO_MALLOC the array already holds the caller's room for it.
    char16_t* piece = allocator == TAV_NO_MALLOC ? array[made] : nullptr;
    rc = copyUnits(&piece, source + start, i - start, allocator);
    if (rc != S_OK) break;
    array[made++] = piece;
    start = i + 1;
  }
  if (rc != S_OK) {
    const TavDeallocator undo = tavcommon::undoFor(allocator);
    for (size_t i = 0; i < made; ++i) tavcommon::release(array[i], undo);
    tavcommon::release(array, undo);
    return rc;
  }
  *parts = array;
  *count = static_cast<int32_t>(pieceCount);
  return S_OK;
}

TavResult TavStringToAscii2(char** destination, const char16_t* source, TavCharCode code,
                            TavAllocator allocator) {
  if (destination == nullptr || code != TAV_CHARCODE_DEFAULT) return E_INVALIDARG;
  if (source == nullptr) {
    *destination = nullptr;
    return S_OK;
  }
  std::string utf8;
  try {
    utf8 = ModUtf16ToUtf8(std::u16string_view(source, TavStrlen(source)));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  char* storage = nullptr;
  const TavResult rc = tavcommon::obtainStorage(destination, utf8.size() + 1, allocator, &storage);
  if (rc != S_OK) return rc;
  std::memcpy(storage, utf8.c_str(), utf8.size() + 1);
  *destination = storage;
  return S_OK;
}

TavResult TavDmaStringToString(char16_t** destination, const char16_t* bstr,
                               TavAllocator allocator) {
  if (destination == nullptr) return E_INVALIDARG;
  if (bstr == nullptr) {
    *destination = nullptr;
    return S_OK;
  }
  // The prefix gives the length; a BSTR may hold NUL units.
  return copyUnits(destination, bstr, SysStringLen(const_cast<char16_t*>(bstr)), allocator);
}

char16_t* TavSysAllocString(const char16_t* source) {
  return SysAllocString(source);
}

void TavSysFreeString(char16_t* bstr) {
  SysFreeString(bstr);
}
