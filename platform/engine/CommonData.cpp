// The engine's value classes.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "Corvid/Common.h"
#include "Corvid/Exception.h"
#include "Mod/ModException.h"
#include "platform/engine/EngineError.h"

namespace Corvid::Common {

namespace {

ObjectPointer<Data> failedCast(const Data& from, DataType::Type to, bool throwOnFailure) {
  if (throwOnFailure) {
    engine::throwEngineError(engine::kStateCast, "cannot cast a value of type " +
                                                     std::to_string(from.getType()) + " to type " +
                                                     std::to_string(to));
  }
  return {};
}

// Integer conversions shared by the numeric types: `value` to the integer
// type `to` when it fits.
ObjectPointer<Data> integerTo(int64_t value, DataType::Type to) {
  switch (to) {
    case DataType::Integer:
      if (value >= std::numeric_limits<int32_t>::min() &&
          value <= std::numeric_limits<int32_t>::max()) {
        return new IntegerData(static_cast<int32_t>(value));
      }
      return {};
    case DataType::Integer64:
      return new Integer64Data(value);
    case DataType::UnsignedInteger:
      if (value >= 0 && value <= std::numeric_limits<uint32_t>::max()) {
        return new UnsignedIntegerData(static_cast<uint32_t>(value));
      }
      return {};
    case DataType::Double:
      return new DoubleData(static_cast<double>(value));
    case DataType::String:
      return new StringData(ModUnicodeString(ModUtf8ToUtf16(std::to_string(value))));
    default:
      return {};
  }
}

ObjectPointer<Data> castInteger(const Data& from, int64_t value, DataType::Type to,
                                bool throwOnFailure) {
  ObjectPointer<Data> result = integerTo(value, to);
  return result ? result : failedCast(from, to, throwOnFailure);
}

int daysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool validDateTime(int year, int month, int day, int hour, int minute, int second,
                   int millisecond) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= daysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
         minute <= 59 && second >= 0 && second <= 59 && millisecond >= 0 && millisecond <= 999;
}

// Reads a whole decimal number of type T from `text`.
template <class T>
bool parseNumber(const std::string& text, T& out) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [next, error] = std::from_chars(begin, end, out);
  return error == std::errc() && next == end && begin != end;
}

// "YYYY-MM-DD", optionally " HH:MM:SS" (or 'T') and ".f" up to milliseconds.
bool parseDateTime(const std::string& text, int field[7]) {
  for (int i = 0; i < 7; ++i) field[i] = i < 3 ? 1 : 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &field[0], &field[1], &field[2], &consumed) != 3 ||
      consumed != 10) {
    return false;
  }
  std::size_t position = 10;
  if (position < text.size()) {
    if (text[position] != ' ' && text[position] != 'T') return false;
    consumed = 0;
    if (std::sscanf(text.c_str() + position + 1, "%2d:%2d:%2d%n", &field[3], &field[4], &field[5],
                    &consumed) != 3 ||
        consumed != 8) {
      return false;
    }
    position += 9;
    if (position < text.size()) {
      if (text[position] != '.') return false;
      int digits = 0;
      int millisecond = 0;
      for (++position; position < text.size(); ++position, ++digits) {
        const char c = text[position];
        if (c < '0' || c > '9') return false;
        if (digits < 3) millisecond = millisecond * 10 + (c - '0');
      }
      if (digits == 0) return false;
      for (; digits < 3; ++digits) millisecond *= 10;
      field[6] = millisecond;
    }
  }
  return validDateTime(field[0], field[1], field[2], field[3], field[4], field[5], field[6]);
}

ModUnicodeString ascii(const std::string& text) {
  return ModUnicodeString(ModUtf8ToUtf16(text));
}

}  // namespace

// ------------------------------------------------------------------ Data ---

Data::~Data() = default;

DataType::Type Data::getElementType() const {
  return DataType::Undefined;
}

ObjectPointer<Data> Data::cast(DataType::Type type, bool throwOnFailure) const {
  if (type == getType()) return self();
  return failedCast(*this, type, throwOnFailure);
}

ObjectPointer<Data> Data::self() const {
  if (_references.load(std::memory_order_acquire) > 0) {
    return ObjectPointer<Data>(const_cast<Data*>(this));
  }
  return copy();
}

// --------------------------------------------------------------- numbers ---

ObjectPointer<Data> IntegerData::cast(DataType::Type type, bool throwOnFailure) const {
  if (type == DataType::Integer) return self();
  return castInteger(*this, _value, type, throwOnFailure);
}
ModUnicodeString IntegerData::toString() const {
  return ascii(std::to_string(_value));
}
ObjectPointer<Data> IntegerData::copy() const {
  return new IntegerData(_value);
}

ObjectPointer<Data> Integer64Data::cast(DataType::Type type, bool throwOnFailure) const {
  if (type == DataType::Integer64) return self();
  return castInteger(*this, _value, type, throwOnFailure);
}
ModUnicodeString Integer64Data::toString() const {
  return ascii(std::to_string(_value));
}
ObjectPointer<Data> Integer64Data::copy() const {
  return new Integer64Data(_value);
}

ObjectPointer<Data> UnsignedIntegerData::cast(DataType::Type type, bool throwOnFailure) const {
  if (type == DataType::UnsignedInteger) return self();
  return castInteger(*this, _value, type, throwOnFailure);
}
ModUnicodeString UnsignedIntegerData::toString() const {
  return ascii(std::to_string(_value));
}
ObjectPointer<Data> UnsignedIntegerData::copy() const {
  return new UnsignedIntegerData(_value);
}

ObjectPointer<Data> DoubleData::cast(DataType::Type type, bool throwOnFailure) const {
  switch (type) {
    case DataType::Double:
      return self();
    case DataType::String:
      return new StringData(toString());
    case DataType::Integer:
    case DataType::Integer64:
    case DataType::UnsignedInteger:
      // Only whole numbers convert; a fraction would be lost silently.
      if (std::isfinite(_value) && std::trunc(_value) == _value && std::fabs(_value) < 9.2e18) {
        return castInteger(*this, static_cast<int64_t>(_value), type, throwOnFailure);
      }
      break;
    default:
      break;
  }
  return failedCast(*this, type, throwOnFailure);
}
ModUnicodeString DoubleData::toString() const {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, _value);
  return ascii(std::string(buffer, result.ptr));
}
ObjectPointer<Data> DoubleData::copy() const {
  return new DoubleData(_value);
}

// ---------------------------------------------------------------- String ---

ObjectPointer<Data> StringData::cast(DataType::Type type, bool throwOnFailure) const {
  const std::string text = type == DataType::String ? std::string() : _value.getString();
  switch (type) {
    case DataType::String:
      return self();
    case DataType::Integer:
    case DataType::Integer64:
    case DataType::UnsignedInteger: {
      int64_t value = 0;
      if (parseNumber(text, value)) return castInteger(*this, value, type, throwOnFailure);
      break;
    }
    case DataType::Double: {
      double value = 0;
      if (parseNumber(text, value)) return new DoubleData(value);
      break;
    }
    case DataType::DateTime: {
      int field[7];
      if (parseDateTime(text, field)) {
        return new DateTimeData(field[0], field[1], field[2], field[3], field[4], field[5],
                                field[6]);
      }
      break;
    }
    case DataType::Language:
      try {
        return new LanguageData(ModLanguageSet(_value));
      } catch (const ModException&) {
        break;
      }
    default:
      break;
  }
  return failedCast(*this, type, throwOnFailure);
}
ObjectPointer<Data> StringData::copy() const {
  return new StringData(_value);
}

// ---------------------------------------------------------------- Binary ---

BinaryData::BinaryData(const void* data, std::size_t size, bool copy, std::size_t offset)
    : _size(size) {
  const uint8_t* start = size == 0 ? nullptr : static_cast<const uint8_t*>(data) + offset;
  if (copy) {
    if (size > 0) _owned.assign(start, start + size);
    _data = _owned.data();
  } else {
    _data = start;
  }
}

BinaryData::BinaryData(std::vector<uint8_t> bytes)
    : _owned(std::move(bytes)), _data(_owned.data()), _size(_owned.size()) {}

ObjectPointer<Data> BinaryData::cast(DataType::Type type, bool throwOnFailure) const {
  if (type == DataType::Binary) return self();
  return failedCast(*this, type, throwOnFailure);
}
ModUnicodeString BinaryData::toString() const {
  static const char digits[] = "0123456789abcdef";
  std::u16string text;
  text.reserve(_size * 2);
  for (std::size_t i = 0; i < _size; ++i) {
    text.push_back(static_cast<char16_t>(digits[_data[i] >> 4]));
    text.push_back(static_cast<char16_t>(digits[_data[i] & 15]));
  }
  return ModUnicodeString(std::move(text));
}
ObjectPointer<Data> BinaryData::copy() const {
  return new BinaryData(_data, _size, true, 0);
}

// -------------------------------------------------------------- DateTime ---

DateTimeData::DateTimeData(int year, int month, int day, int hour, int minute, int second,
                           int millisecond, int precision) {
  if (!validDateTime(year, month, day, hour, minute, second, millisecond) || precision < 0 ||
      precision > 3) {
    char text[96];
    std::snprintf(text, sizeof text, "invalid date-time %d-%d-%d %d:%d:%d.%d (precision %d)", year,
                  month, day, hour, minute, second, millisecond, precision);
    engine::throwEngineError(engine::kStateBadValue, text);
  }
  static const int unit[] = {1000, 100, 10, 1};
  _year = year;
  _month = month;
  _day = day;
  _hour = hour;
  _minute = minute;
  _second = second;
  _millisecond = millisecond - millisecond % unit[precision];
  _precision = precision;
}

ObjectPointer<Data> DateTimeData::cast(DataType::Type type, bool throwOnFailure) const {
  if (type == DataType::DateTime) return self();
  if (type == DataType::String) return new StringData(toString());
  return failedCast(*this, type, throwOnFailure);
}
ModUnicodeString DateTimeData::toString() const {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", _year, _month, _day, _hour,
                _minute, _second, _millisecond);
  return ascii(text);
}
ObjectPointer<Data> DateTimeData::copy() const {
  return new DateTimeData(*this);
}

// -------------------------------------------------------------- Language ---

ObjectPointer<Data> LanguageData::cast(DataType::Type type, bool throwOnFailure) const {
  if (type == DataType::Language) return self();
  if (type == DataType::String) return new StringData(toString());
  return failedCast(*this, type, throwOnFailure);
}
ModUnicodeString LanguageData::toString() const {
  return _value.getName();
}
ObjectPointer<Data> LanguageData::copy() const {
  return new LanguageData(_value);
}

// ------------------------------------------------------------------ Null ---

NullData::NullData() {
  addReference();
}

NullData* NullData::getInstance() {
  // Never freed: values on other threads may still point to it while the
  // process exits.
  static NullData* const instance = new NullData();
  return instance;
}
ModUnicodeString NullData::toString() const {
  return ModUnicodeString(u"(null)");
}
ObjectPointer<Data> NullData::copy() const {
  return getInstance();
}

// ---------------------------------------------------------------- arrays ---

void DataArrayData::throwIndexOutOfRange(std::size_t index) const {
  engine::throwEngineError(engine::kStateIndex, "array index " + std::to_string(index) +
                                                    " out of range (count " +
                                                    std::to_string(_elements.size()) + ")");
}

void DataArrayData::setElement(std::size_t index, const ObjectPointer<Data>& element) {
  if (index >= _elements.size()) _elements.resize(index + 1);
  _elements[index] = element;
}

ModUnicodeString DataArrayData::toString() const {
  std::u16string text = u"{";
  for (std::size_t i = 0; i < _elements.size(); ++i) {
    if (i > 0) text += u",";
    text += _elements[i] ? _elements[i]->toString().str() : std::u16string(u"(null)");
  }
  text += u"}";
  return ModUnicodeString(std::move(text));
}

ObjectPointer<Data> DataArrayData::copy() const {
  DataArrayData* array = new DataArrayData();
  array->_elements = _elements;
  return array;
}

uint32_t UnsignedIntegerArrayData::getElement(std::size_t index) const {
  if (index >= _values.size()) {
    engine::throwEngineError(engine::kStateIndex, "array index " + std::to_string(index) +
                                                      " out of range (count " +
                                                      std::to_string(_values.size()) + ")");
  }
  return _values[index];
}

void UnsignedIntegerArrayData::setElement(std::size_t index, uint32_t value) {
  if (index >= _values.size()) _values.resize(index + 1, 0);
  _values[index] = value;
}

ModUnicodeString UnsignedIntegerArrayData::toString() const {
  std::string text = "{";
  for (std::size_t i = 0; i < _values.size(); ++i) {
    if (i > 0) text += ",";
    text += std::to_string(_values[i]);
  }
  text += "}";
  return ascii(text);
}

ObjectPointer<Data> UnsignedIntegerArrayData::copy() const {
  return new UnsignedIntegerArrayData(_values);
}

}  // namespace Corvid::Common
