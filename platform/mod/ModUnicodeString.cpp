#include "Mod/ModUnicodeString.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <new>

#include "platform/mod/ModUnicodeConversion.h"

namespace {

constexpr UChar32 kReplacement = 0xFFFD;

bool isUtf8Continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Where the piece starting at `start` ends: never inside a UTF-8 sequence.
// A sequence is at most four bytes, so its lead byte lies at most three
// bytes before a continuation byte; a run of stray continuation bytes is
// split anywhere, since each of them becomes one U+FFFD either way.
size_t utf8PieceEnd(std::string_view text, size_t start, size_t maxChunk) {
  size_t end = start + maxChunk;
  if (end >= text.size()) return text.size();
  for (size_t pos = end; pos > start && end - pos <= 3; --pos) {
    if (!isUtf8Continuation(text[pos])) return pos;
  }
  return end;
}

// Where the piece starting at `start` ends: never between a surrogate pair.
size_t utf16PieceEnd(std::u16string_view text, size_t start, size_t maxChunk) {
  size_t end = start + maxChunk;
  if (end >= text.size()) return text.size();
  if (U16_IS_LEAD(text[end - 1]) && U16_IS_TRAIL(text[end])) --end;
  return end;
}

void appendUtf16(std::u16string& out, std::string_view piece) {
  const size_t offset = out.size();
  // A UTF-8 piece never yields more UTF-16 units than it has bytes.
  out.resize(offset + piece.size());
  int32_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data() + offset, static_cast<int32_t>(piece.size()), &written,
                       piece.data(), static_cast<int32_t>(piece.size()), kReplacement, nullptr,
                       &status);
  // ICU fails only on too small a buffer or a null argument, neither possible
  // here; treat it as the allocation failure it would amount to.
  if (U_FAILURE(status)) throw std::bad_alloc();
  out.resize(offset + static_cast<size_t>(written));
}

void appendUtf8(std::string& out, std::u16string_view piece) {
  const size_t offset = out.size();
  // One UTF-16 unit gives at most three bytes (a pair gives four for two).
  const size_t capacity = piece.size() * 3;
  out.resize(offset + capacity);
  int32_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data() + offset, static_cast<int32_t>(capacity), &written, piece.data(),
                     static_cast<int32_t>(piece.size()), kReplacement, nullptr, &status);
  if (U_FAILURE(status)) throw std::bad_alloc();
  out.resize(offset + static_cast<size_t>(written));
}

// Replaces out with the conversion of text, done in pieces of at most
// maxChunk units that end where pieceEnd says.
template <class Out, class In, class PieceEnd, class Append>
void assignConverted(Out& out, In text, size_t maxChunk, PieceEnd pieceEnd, Append append) {
  out.clear();
  out.reserve(text.size());
  for (size_t start = 0; start < text.size();) {
    const size_t end = pieceEnd(text, start, maxChunk);
    append(out, text.substr(start, end - start));
    start = end;
  }
}

void assignUtf16(std::u16string& out, std::string_view utf8, size_t maxChunk) {
  assignConverted(out, utf8, maxChunk, utf8PieceEnd, appendUtf16);
}

void assignUtf8(std::string& out, std::u16string_view utf16, size_t maxChunk) {
  assignConverted(out, utf16, maxChunk, utf16PieceEnd, appendUtf8);
}

}  // namespace

std::u16string ModUtf8ToUtf16Chunked(std::string_view utf8, size_t maxChunk) {
  std::u16string out;
  assignUtf16(out, utf8, maxChunk);
  return out;
}

std::string ModUtf16ToUtf8Chunked(std::u16string_view utf16, size_t maxChunk) {
  std::string out;
  assignUtf8(out, utf16, maxChunk);
  return out;
}

std::u16string ModUtf8ToUtf16(std::string_view utf8) {
  return ModUtf8ToUtf16Chunked(utf8, ModUnicodeConversionChunk);
}

void ModUtf8ToUtf16(std::string_view utf8, std::u16string& out) {
  assignUtf16(out, utf8, ModUnicodeConversionChunk);
}

std::string ModUtf16ToUtf8(std::u16string_view utf16) {
  return ModUtf16ToUtf8Chunked(utf16, ModUnicodeConversionChunk);
}

void ModUtf16ToUtf8(std::u16string_view utf16, std::string& out) {
  assignUtf8(out, utf16, ModUnicodeConversionChunk);
}

ModUnicodeString::ModUnicodeString(const char16_t* text) {
  if (text != nullptr) _text = text;
}

ModUnicodeString::ModUnicodeString(const char16_t* text, size_t length) {
  if (text != nullptr) _text.assign(text, length);
}

ModUnicodeString::ModUnicodeString(const char* text, ModKanjiCode /*code: UTF-8 only*/) {
  if (text != nullptr) _text = ModUtf8ToUtf16(text);
}

int ModUnicodeString::compare(const ModUnicodeString& other) const {
  // char16_t compares unsigned, which is code-unit order.
  const int result = _text.compare(other._text);
  return (result > 0) - (result < 0);
}

std::string ModUnicodeString::getString(ModKanjiCode /*code: UTF-8 only*/) const {
  return ModUtf16ToUtf8(_text);
}

char16_t* ModUnicodeString::allocateCopy() const {
  char16_t* copy = new char16_t[_text.size() + 1];
  _text.copy(copy, _text.size());
  copy[_text.size()] = u'\0';
  return copy;
}
