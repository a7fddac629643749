#include <cstring>

#include "TavCommon.h"
#include "platform/tavcommon/TavMemoryInternal.h"

namespace {

bool isKnownTag(TavVariantType type) {
  switch (type) {
    case TAV_VT_BINARY:
    case TAV_VT_INT:
    case TAV_VT_DATETIME:
    case TAV_VT_DOUBLE:
    case TAV_VT_GUID:
    case TAV_VT_INT_ALT:
    case TAV_VT_STRING:
    case TAV_VT_ARRAY:
      return true;
  }
  return false;
}

// The record of a variant is always the caller's: TAV_NO_MALLOC and
// TAV_NO_FREE speak of it, and its data then uses the default allocator.
TavAllocator dataAllocator(TavAllocator allocator) {
  return allocator == TAV_NO_MALLOC ? nullptr : allocator;
}
TavDeallocator dataDeallocator(TavDeallocator deallocator) {
  return deallocator == TAV_NO_FREE ? nullptr : deallocator;
}

void releaseData(TavVariant* variant, TavDeallocator deallocator);

void releaseArray(TavVariantArray* array, TavDeallocator deallocator) {
  if (array == nullptr) return;
  for (int32_t i = 0; i < array->count && array->elements != nullptr; ++i) {
    releaseData(&array->elements[i], deallocator);
  }
  tavcommon::release(array->elements, deallocator);
  tavcommon::release(array, deallocator);
}

void releaseData(TavVariant* variant, TavDeallocator deallocator) {
  switch (variant->type) {
    case TAV_VT_BINARY:
      tavcommon::release(variant->value.binary.data, deallocator);
      variant->value.binary.data = nullptr;
      variant->value.binary.size = 0;
      break;
    case TAV_VT_STRING:
      tavcommon::release(variant->value.string.chars, deallocator);
      variant->value.string.chars = nullptr;
      variant->value.string.length = 0;
      break;
    case TAV_VT_ARRAY:
      releaseArray(variant->value.array, deallocator);
      variant->value.array = nullptr;
      break;
    default:
      break;
  }
}

TavResult copyVariant(TavVariant* destination, const TavVariant& source, TavAllocator allocator);

// OUT *destination: a deep copy of source (null stays null).
TavResult copyArray(TavVariantArray** destination, const TavVariantArray* source,
                    TavAllocator allocator) {
  if (source == nullptr) {
    *destination = nullptr;
    return S_OK;
  }
  if (source->count < 0 || (source->count > 0 && source->elements == nullptr)) {
    return E_INVALIDARG;
  }
  const TavDeallocator undo = tavcommon::undoFor(allocator);
  auto* array =
      static_cast<TavVariantArray*>(tavcommon::allocate(1, sizeof(TavVariantArray), allocator));
  if (array == nullptr) return E_OUTOFMEMORY;
  array->count = source->count;
  array->elements = nullptr;
  if (source->count > 0) {
    array->elements = static_cast<TavVariant*>(
        tavcommon::allocate(static_cast<size_t>(source->count), sizeof(TavVariant), allocator));
    if (array->elements == nullptr) {
      tavcommon::release(array, undo);
      return E_OUTOFMEMORY;
    }
  }
  for (int32_t i = 0; i < source->count; ++i) {
    const TavResult rc = copyVariant(&array->elements[i], source->elements[i], allocator);
    if (rc != S_OK) {
      // Elements before i hold their copies; element i holds none.
      array->count = i;
      releaseArray(array, undo);
      return rc;
    }
  }
  *destination = array;
  return S_OK;
}

// On failure *destination is a NULL of the source's type without data.
TavResult copyVariant(TavVariant* destination, const TavVariant& source, TavAllocator allocator) {
  TavVariant copy;
  std::memset(&copy, 0, sizeof copy);
  copy.type = source.type;
  *destination = copy;
  if (!isKnownTag(source.type) || (source.hasValue != 0 && source.hasValue != 1)) {
    return E_INVALIDARG;
  }
  copy.hasValue = source.hasValue;
  if (source.hasValue == 0) {
    *destination = copy;
    return S_OK;
  }
  switch (source.type) {
    case TAV_VT_BINARY: {
      const uint32_t size = source.value.binary.size;
      if (size == 0) break;
      if (source.value.binary.data == nullptr) return E_INVALIDARG;
      void* data = tavcommon::allocate(size, 1, allocator);
      if (data == nullptr) return E_OUTOFMEMORY;
      std::memcpy(data, source.value.binary.data, size);
      copy.value.binary.size = size;
      copy.value.binary.data = data;
      break;
    }
    case TAV_VT_STRING: {
      const uint32_t length = source.value.string.length;
      if (source.value.string.chars == nullptr) {
        if (length != 0) return E_INVALIDARG;
        break;
      }
      auto* chars = static_cast<char16_t*>(
          tavcommon::allocate(size_t{length} + 1, sizeof(char16_t), allocator));
      if (chars == nullptr) return E_OUTOFMEMORY;
      std::memcpy(chars, source.value.string.chars, size_t{length} * sizeof(char16_t));
      chars[length] = u'\0';
      copy.value.string.length = length;
      copy.value.string.chars = chars;
      break;
    }
    case TAV_VT_ARRAY: {
      const TavResult rc = copyArray(&copy.value.array, source.value.array, allocator);
      if (rc != S_OK) return rc;
      break;
    }
    default:
      // Plain values: the union is copied whole.
      copy.value = source.value;
      break;
  }
  *destination = copy;
  return S_OK;
}

}  // namespace

void TavFreeMemory(TavVariant* variant, TavDeallocator deallocator) {
  if (variant != nullptr) releaseData(variant, dataDeallocator(deallocator));
}

TavResult TavCopyVariant(TavVariant* destination, const TavVariant* source,
                         TavAllocator allocator) {
  if (destination == nullptr || destination == source) return E_INVALIDARG;
  if (source == nullptr) {
    std::memset(destination, 0, sizeof *destination);
    return E_INVALIDARG;
  }
  return copyVariant(destination, *source, dataAllocator(allocator));
}

TavResult TavAllocateVariants(TavVariantArray** array, int32_t count, TavAllocator allocator) {
  if (array == nullptr || count < 0) return E_INVALIDARG;
  if (allocator == TAV_NO_MALLOC) {
    TavVariantArray* room = *array;
    if (room == nullptr || (count > 0 && room->elements == nullptr)) return E_INVALIDARG;
    room->count = count;
    if (count > 0) std::memset(room->elements, 0, sizeof(TavVariant) * static_cast<size_t>(count));
    return S_OK;
  }
  auto* made =
      static_cast<TavVariantArray*>(tavcommon::allocate(1, sizeof(TavVariantArray), allocator));
  if (made == nullptr) return E_OUTOFMEMORY;
  made->count = count;
  made->elements = nullptr;
  if (count > 0) {
    made->elements = static_cast<TavVariant*>(
        tavcommon::allocate(static_cast<size_t>(count), sizeof(TavVariant), allocator));
    if (made->elements == nullptr) {
      tavcommon::release(made, tavcommon::undoFor(allocator));
      return E_OUTOFMEMORY;
    }
    std::memset(made->elements, 0, sizeof(TavVariant) * static_cast<size_t>(count));
  }
  *array = made;
  return S_OK;
}

void TavFreeVariants(TavVariantArray* array, TavDeallocator deallocator) {
  if (array == nullptr) return;
  if (deallocator != TAV_NO_FREE) {
    releaseArray(array, deallocator);
    return;
  }
  for (int32_t i = 0; i < array->count && array->elements != nullptr; ++i) {
    releaseData(&array->elements[i], nullptr);
  }
}
