#include <charconv>
#include <cstring>
#include <new>
#include <string>

#include "Mod/ModUnicodeString.h"
#include "TavCommon.h"
#include "platform/tavcommon/TavMemoryInternal.h"

namespace {

constexpr size_t kInitialCapacity = 64;

template <typename Integer>
void appendInteger(TavCharStream& stream, Integer value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  char16_t wide[24];
  const size_t length = static_cast<size_t>(result.ptr - digits);
  for (size_t i = 0; i < length; ++i) wide[i] = static_cast<char16_t>(digits[i]);
  wide[length] = u'\0';
  stream << wide;
}

}  // namespace

TavCharStream::TavCharStream() : _buffer(nullptr), _length(0), _capacity(0), _failed(false) {}

TavCharStream::~TavCharStream() {
  tavcommon::release(_buffer, nullptr);
}

void TavCharStream::fail() {
  // A partial text (a statement cut short) must never be used, so the whole
  // text goes and copyTo reports the failure.
  tavcommon::release(_buffer, nullptr);
  _buffer = nullptr;
  _length = 0;
  _capacity = 0;
  _failed = true;
}

bool TavCharStream::append(const char16_t* text, size_t length) {
  if (_failed) return false;
  if (length > SIZE_MAX - 1 - _length) {
    fail();
    return false;
  }
  const size_t needed = _length + length + 1;  // with the terminator
  if (needed > _capacity) {
    size_t capacity = _capacity == 0 ? kInitialCapacity : _capacity;
    while (capacity < needed) capacity = capacity > SIZE_MAX / 2 ? needed : capacity * 2;
    auto* grown = static_cast<char16_t*>(tavcommon::allocate(capacity, sizeof(char16_t), nullptr));
    if (grown == nullptr) {
      fail();
      return false;
    }
    if (_length != 0) std::memcpy(grown, _buffer, _length * sizeof(char16_t));
    tavcommon::release(_buffer, nullptr);
    _buffer = grown;
    _capacity = capacity;
  }
  if (length != 0) std::memcpy(_buffer + _length, text, length * sizeof(char16_t));
  _length += length;
  _buffer[_length] = u'\0';
  return true;
}

TavCharStream& TavCharStream::operator<<(const char* text) {
  if (text == nullptr || _failed) return *this;
  try {
    const std::u16string wide = ModUtf8ToUtf16(text);
    append(wide.data(), wide.size());
  } catch (const std::bad_alloc&) {
    fail();
  }
  return *this;
}

TavCharStream& TavCharStream::operator<<(const char16_t* text) {
  if (text != nullptr) append(text, TavStrlen(text));
  return *this;
}

TavCharStream& TavCharStream::operator<<(int value) {
  appendInteger(*this, value);
  return *this;
}
TavCharStream& TavCharStream::operator<<(unsigned value) {
  appendInteger(*this, value);
  return *this;
}
TavCharStream& TavCharStream::operator<<(long value) {
  appendInteger(*this, value);
  return *this;
}
TavCharStream& TavCharStream::operator<<(unsigned long value) {
  appendInteger(*this, value);
  return *this;
}

const char16_t* TavCharStream::getString() const {
  return _buffer == nullptr ? u"" : _buffer;
}

size_t TavCharStream::getLength() const {
  return _length;
}

TavResult TavCharStream::copyTo(char16_t** destination, TavAllocator allocator) const {
  if (_failed) return E_OUTOFMEMORY;
  return TavCopyString(destination, getString(), allocator);
}

void TavCharStream::clear() {
  _length = 0;
  _failed = false;
  if (_buffer != nullptr) _buffer[0] = u'\0';
}
