// TavVariant records for calls into the library, as the in-tree programs (the
// command-line tool, the benchmarks and the tests) build them. Records that
// carry data point at the caller's: the characters, bytes or array must
// outlive the call, and the library copies what it keeps.
#ifndef TAVODB_TOOLS_RECORDS_TAV_RECORDS_H
#define TAVODB_TOOLS_RECORDS_TAV_RECORDS_H

#include <cstdint>
#include <string>

#include "TavCommonTypes.h"

namespace tavrecords {

// A NULL of `type`, also what a rowset column record starts as.
inline TavVariant null(TavVariantType type) {
  TavVariant record{};
  record.type = type;
  return record;
}

inline TavVariant integer(int32_t value, TavVariantType type = TAV_VT_INT) {
  TavVariant record = null(type);
  record.hasValue = 1;
  record.value.intValue = value;
  return record;
}

inline TavVariant real(double value) {
  TavVariant record = null(TAV_VT_DOUBLE);
  record.hasValue = 1;
  record.value.doubleValue = value;
  return record;
}

// `chars` is NUL-terminated; `length` is stored as given.
inline TavVariant text(const char16_t* chars, uint32_t length) {
  TavVariant record = null(TAV_VT_STRING);
  record.hasValue = 1;
  record.value.string.chars = const_cast<char16_t*>(chars);
  record.value.string.length = length;
  return record;
}

inline TavVariant text(const char16_t* chars) {
  return text(chars, static_cast<uint32_t>(std::char_traits<char16_t>::length(chars)));
}

inline TavVariant text(const std::u16string& value) {
  return text(value.c_str(), static_cast<uint32_t>(value.size()));
}

inline TavVariant dateTime(const TavDateTime& value) {
  TavVariant record = null(TAV_VT_DATETIME);
  record.hasValue = 1;
  record.value.dateTime = value;
  return record;
}

inline TavVariant guid(const GUID& value) {
  TavVariant record = null(TAV_VT_GUID);
  record.hasValue = 1;
  record.value.guidValue = value;
  return record;
}

inline TavVariant binary(const void* data, uint32_t size) {
  TavVariant record = null(TAV_VT_BINARY);
  record.hasValue = 1;
  record.value.binary.data = const_cast<void*>(data);
  record.value.binary.size = size;
  return record;
}

inline TavVariant array(TavVariantArray* elements) {
  TavVariant record = null(TAV_VT_ARRAY);
  record.hasValue = 1;
  record.value.array = elements;
  return record;
}

}  // namespace tavrecords

#endif  // TAVODB_TOOLS_RECORDS_TAV_RECORDS_H
