#include "Com/ComVariant.h"

#include <cstring>
#include <limits>

#include "Com/ComMemory.h"

namespace {

// Layout of a BSTR block: the byte count, the code units, a NUL unit. The
// pointer handed out points just past the count.
constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* prefixOf(BSTR bstr) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(bstr) - kPrefix);
}

}  // namespace

BSTR SysAllocStringLen(const char16_t* text, UINT length) {
  // The byte count must fit the 32-bit prefix.
  if (length > (std::numeric_limits<uint32_t>::max() - kPrefix) / sizeof(char16_t) - 1) {
    return nullptr;
  }
  const size_t bytes = size_t{length} * sizeof(char16_t);
  auto* block = static_cast<char*>(CoTaskMemAlloc(kPrefix + bytes + sizeof(char16_t)));
  if (block == nullptr) return nullptr;
  const uint32_t byteCount = static_cast<uint32_t>(bytes);
  std::memcpy(block, &byteCount, kPrefix);
  BSTR bstr = reinterpret_cast<BSTR>(block + kPrefix);
  if (text != nullptr) {
    std::memcpy(bstr, text, bytes);
  } else {
    std::memset(bstr, 0, bytes);
  }
  bstr[length] = u'\0';
  return bstr;
}

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  size_t length = 0;
  while (text[length] != u'\0') ++length;
  if (length > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR bstr) {
  if (bstr != nullptr) CoTaskMemFree(prefixOf(bstr));
}

UINT SysStringByteLen(BSTR bstr) {
  return bstr == nullptr ? 0 : *prefixOf(bstr);
}

UINT SysStringLen(BSTR bstr) {
  return SysStringByteLen(bstr) / sizeof(char16_t);
}

void VariantInit(VARIANT* variant) {
  std::memset(variant, 0, sizeof *variant);
  variant->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  switch (variant->vt) {
    case VT_BSTR:
      SysFreeString(variant->bstrVal);
      break;
    case VT_EMPTY:
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  VariantInit(variant);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (destination == source) return S_OK;
  const HRESULT hr = VariantClear(destination);
  if (FAILED(hr)) return hr;
  switch (source->vt) {
    case VT_BSTR: {
      BSTR copy = nullptr;
      if (source->bstrVal != nullptr) {
        copy = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (copy == nullptr) return E_OUTOFMEMORY;
      }
      *destination = *source;
      destination->bstrVal = copy;
      return S_OK;
    }
    case VT_EMPTY:
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
      *destination = *source;
      return S_OK;
    default:
      return DISP_E_BADVARTYPE;
  }
}
