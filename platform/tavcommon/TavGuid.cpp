#include <cstring>

#include "TavCommon.h"
#include "platform/tavcommon/TavMemoryInternal.h"

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
constexpr size_t kTextLength = 38;
constexpr size_t kDashes[] = {9, 14, 19, 24};
// Positions of the 16 bytes' first hex digit, in GUID field order.
constexpr size_t kBytes[] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};

int hexValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  return -1;
}

}  // namespace

TavResult TavCopyGuid(GUID** destination, const GUID* source, TavAllocator allocator) {
  if (destination == nullptr) return E_INVALIDARG;
  if (source == nullptr) {
    *destination = nullptr;
    return S_OK;
  }
  GUID* storage = nullptr;
  const TavResult rc = tavcommon::obtainStorage(destination, 1, allocator, &storage);
  if (rc != S_OK) return rc;
  *storage = *source;
  *destination = storage;
  return S_OK;
}

TavBoolean TavIsEqualGuid(const GUID& left, const GUID& right) {
  const bool equal = left.Data1 == right.Data1 && left.Data2 == right.Data2 &&
                     left.Data3 == right.Data3 &&
                     std::memcmp(left.Data4, right.Data4, sizeof left.Data4) == 0;
  return equal ? TAV_TRUE : TAV_FALSE;
}

TavResult TavStringToGuid(GUID* guid, const char16_t* text) {
  if (guid == nullptr || text == nullptr) return E_INVALIDARG;
  for (size_t i = 0; i < kTextLength; ++i) {
    if (text[i] == u'\0') return E_INVALIDARG;
  }
  if (text[kTextLength] != u'\0' || text[0] != u'{' || text[kTextLength - 1] != u'}') {
    return E_INVALIDARG;
  }
  for (size_t dash : kDashes) {
    if (text[dash] != u'-') return E_INVALIDARG;
  }
  uint8_t bytes[16];
  for (size_t i = 0; i < 16; ++i) {
    const int high = hexValue(text[kBytes[i]]);
    const int low = hexValue(text[kBytes[i] + 1]);
    if (high < 0 || low < 0) return E_INVALIDARG;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  GUID parsed;
  parsed.Data1 = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
                 uint32_t{bytes[3]};
  parsed.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  parsed.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  std::memcpy(parsed.Data4, bytes + 8, 8);
  *guid = parsed;
  return S_OK;
}

TavResult TavGuidToString(char16_t** destination, const GUID& guid, TavAllocator allocator) {
  if (destination == nullptr) return E_INVALIDARG;
  char16_t* storage = nullptr;
  const TavResult rc = tavcommon::obtainStorage(destination, kTextLength + 1, allocator, &storage);
  if (rc != S_OK) return rc;
  const uint8_t bytes[16] = {static_cast<uint8_t>(guid.Data1 >> 24),
                             static_cast<uint8_t>(guid.Data1 >> 16),
                             static_cast<uint8_t>(guid.Data1 >> 8),
                             static_cast<uint8_t>(guid.Data1),
                             static_cast<uint8_t>(guid.Data2 >> 8),
                             static_cast<uint8_t>(guid.Data2),
                             static_cast<uint8_t>(guid.Data3 >> 8),
                             static_cast<uint8_t>(guid.Data3),
                             guid.Data4[0],
                             guid.Data4[1],
                             guid.Data4[2],
                             guid.Data4[3],
                             guid.Data4[4],
                             guid.Data4[5],
                             guid.Data4[6],
                             guid.Data4[7]};
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  storage[0] = u'{';
  for (size_t dash : kDashes) storage[dash] = u'-';
  for (size_t i = 0; i < 16; ++i) {
    storage[kBytes[i]] = kDigits[bytes[i] >> 4];
    storage[kBytes[i] + 1] = kDigits[bytes[i] & 0x0F];
  }
  storage[kTextLength - 1] = u'}';
  storage[kTextLength] = u'\0';
  *destination = storage;
  return S_OK;
}
