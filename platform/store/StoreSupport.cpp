#include "platform/store/StoreSupport.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace store {

namespace {

[[noreturn]] void throwTypeMismatch(ValueType actual, const char* wanted) {
  throw Error(ErrorClass::Other, "42804", 0,
              std::string("value is ") + valueTypeName(actual) + ", not " + wanted);
}

}  // namespace

int64_t Value::asInteger() const {
  if (const auto* value = std::get_if<int64_t>(&_storage)) return *value;
  throwTypeMismatch(type(), "Integer");
}

double Value::asDouble() const {
  if (const auto* value = std::get_if<double>(&_storage)) return *value;
  throwTypeMismatch(type(), "Double");
}

const std::u16string& Value::asText() const {
  if (const auto* value = std::get_if<std::u16string>(&_storage)) return *value;
  if (const auto* tag = std::get_if<LanguageTag>(&_storage)) return tag->tag;
  throwTypeMismatch(type(), "Text");
}

const std::vector<uint8_t>& Value::asBytes() const {
  if (const auto* value = std::get_if<std::vector<uint8_t>>(&_storage)) return *value;
  throwTypeMismatch(type(), "Bytes");
}

const DateTime& Value::asDateTime() const {
  if (const auto* value = std::get_if<DateTime>(&_storage)) return *value;
  throwTypeMismatch(type(), "DateTime");
}

const std::vector<Value>& Value::asArray() const {
  if (const auto* value = std::get_if<std::vector<Value>>(&_storage)) return *value;
  throwTypeMismatch(type(), "Array");
}

const char* valueTypeName(ValueType type) {
  switch (type) {
    case ValueType::Null: return "Null";
    case ValueType::Integer: return "Integer";
    case ValueType::Double: return "Double";
    case ValueType::Text: return "Text";
    case ValueType::Bytes: return "Bytes";
    case ValueType::DateTime: return "DateTime";
    case ValueType::Array: return "Array";
    case ValueType::Language: return "Language";
  }
  return "?";
}

const char* errorClassName(ErrorClass errorClass) {
  switch (errorClass) {
    case ErrorClass::UniqueViolation: return "UniqueViolation";
    case ErrorClass::Deadlock: return "Deadlock";
    case ErrorClass::DiskFull: return "DiskFull";
    case ErrorClass::LogFull: return "LogFull";
    case ErrorClass::ConnectFailed: return "ConnectFailed";
    case ErrorClass::ConnectionLost: return "ConnectionLost";
    case ErrorClass::Cancelled: return "Cancelled";
    case ErrorClass::Other: return "Other";
  }
  return "?";
}

namespace detail {

namespace {

int daysInMonth(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool isValid(const DateTime& value) {
  return value.year >= 1 && value.year <= 9999 && value.month >= 1 && value.month <= 12 &&
         value.day >= 1 && value.day <= daysInMonth(value.year, value.month) &&
         value.hour >= 0 && value.hour <= 23 && value.minute >= 0 && value.minute <= 59 &&
         value.second >= 0 && value.second <= 59 && value.millisecond >= 0 &&
         value.millisecond <= 999;
}

// Reads exactly `width` digits at `position`.
bool readNumber(std::string_view text, std::size_t& position, std::size_t width, int& out) {
  if (position + width > text.size()) return false;
  for (std::size_t i = position; i < position + width; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  std::from_chars(text.data() + position, text.data() + position + width, out);
  position += width;
  return true;
}

bool expect(std::string_view text, std::size_t& position, char wanted) {
  if (position >= text.size() || text[position] != wanted) return false;
  ++position;
  return true;
}

bool isZoneSuffix(std::string_view rest) {
  if (rest == "Z") return true;
  if (rest.empty() || (rest[0] != '+' && rest[0] != '-')) return false;
  for (char c : rest.substr(1)) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != ':') return false;
  }
  return rest.size() > 1;
}

}  // namespace

std::string formatDateTime(const DateTime& value) {
  if (!isValid(value)) {
    throw Error(ErrorClass::Other, "22008", 0, "date-time field out of range");
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", value.year,
                value.month, value.day, value.hour, value.minute, value.second,
                value.millisecond);
  return buffer;
}

bool parseDateTime(std::string_view text, DateTime& out) {
  DateTime value;
  std::size_t position = 0;
  if (!readNumber(text, position, 4, value.year) || !expect(text, position, '-') ||
      !readNumber(text, position, 2, value.month) || !expect(text, position, '-') ||
      !readNumber(text, position, 2, value.day)) {
    return false;
  }
  if (position < text.size() && (text[position] == ' ' || text[position] == 'T')) {
    ++position;
    if (!readNumber(text, position, 2, value.hour) || !expect(text, position, ':') ||
        !readNumber(text, position, 2, value.minute) || !expect(text, position, ':') ||
        !readNumber(text, position, 2, value.second)) {
      return false;
    }
    if (position < text.size() && text[position] == '.') {
      ++position;
      int digits = 0;
      int millisecond = 0;
      while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
        if (digits < 3) millisecond = millisecond * 10 + (text[position] - '0');
        ++digits;
        ++position;
      }
      if (digits == 0) return false;
      for (; digits < 3; ++digits) millisecond *= 10;
      value.millisecond = millisecond;
    }
  }
  if (position < text.size() && !isZoneSuffix(text.substr(position))) return false;
  if (!isValid(value)) return false;
  out = value;
  return true;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    hex.push_back(digits[byte >> 4]);
    hex.push_back(digits[byte & 0x0f]);
  }
  return hex;
}

bool fromHex(std::string_view hex, std::vector<uint8_t>& out) {
  if (hex.size() % 2 != 0) return false;
  std::vector<uint8_t> bytes(hex.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto result = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, bytes[i], 16);
    if (result.ec != std::errc() || result.ptr != hex.data() + 2 * i + 2) return false;
  }
  out = std::move(bytes);
  return true;
}

bool containsIgnoringCase(std::string_view text, std::string_view upper) {
  if (upper.size() > text.size()) return false;
  for (std::size_t start = 0; start + upper.size() <= text.size(); ++start) {
    std::size_t i = 0;
    while (i < upper.size() &&
           std::toupper(static_cast<unsigned char>(text[start + i])) == upper[i]) {
      ++i;
    }
    if (i == upper.size()) return true;
  }
  return false;
}

void throwClosed() {
  throw Error(ErrorClass::ConnectionLost, "08003", 0, "the connection is closed");
}

void throwParameterCount(std::size_t expected, std::size_t given) {
  throw Error(ErrorClass::Other, "07001", 0,
              "the statements take " + std::to_string(expected) + " parameters, " +
                  std::to_string(given) + " given");
}

void throwNotOneStatement() {
  throw Error(ErrorClass::Other, "42601", 0, "a prepared statement must be exactly one statement");
}

void throwAlreadyInTransaction() {
  throw Error(ErrorClass::Other, "25001", 0, "a transaction is already open");
}

void throwRolledBack() {
  throw Error(ErrorClass::Other, "40000", 0,
              "the transaction was rolled back by the store after an earlier error");
}

}  // namespace detail
}  // namespace store
