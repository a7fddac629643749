// UTF-16 strings of the base library, and the UTF-8 <-> UTF-16 conversions
// every layer uses (through ICU; invalid input becomes U+FFFD).
#ifndef MOD_UNICODE_STRING_H
#define MOD_UNICODE_STRING_H

#include <cstddef>
#include <string>
#include <string_view>

std::u16string ModUtf8ToUtf16(std::string_view utf8);
// Replaces `out` with the UTF-16 form of `utf8`, reusing out's storage.
void ModUtf8ToUtf16(std::string_view utf8, std::u16string& out);
std::string ModUtf16ToUtf8(std::u16string_view utf16);
// Replaces `out` with the UTF-8 form of `utf16`, reusing out's storage.
void ModUtf16ToUtf8(std::u16string_view utf16, std::string& out);

enum class ModKanjiCode : int { utf8 = 0 };

class ModUnicodeString {
 public:
  ModUnicodeString() = default;
  ModUnicodeString(const char16_t* text);  // null gives the empty string
  ModUnicodeString(const char16_t* text, size_t length);
  ModUnicodeString(std::u16string text) : _text(std::move(text)) {}
  ModUnicodeString(const char* text, ModKanjiCode code);

  // Code-unit order: negative, 0 or positive.
  int compare(const ModUnicodeString& other) const;
  bool operator==(const ModUnicodeString& other) const { return _text == other._text; }
  bool operator<(const ModUnicodeString& other) const { return compare(other) < 0; }

  size_t getLength() const { return _text.size(); }
  const char16_t* c_str() const { return _text.c_str(); }
  const std::u16string& str() const { return _text; }
  std::string getString(ModKanjiCode code = ModKanjiCode::utf8) const;
  // Replaces the text with `length` code units at `text`, reusing this
  // string's storage when it is large enough.
  ModUnicodeString& assign(const char16_t* text, size_t length) {
    _text.assign(text, length);
    return *this;
  }
  // A new[]-allocated NUL-terminated copy; the caller deletes it with delete[].
  char16_t* allocateCopy() const;

 private:
  std::u16string _text;
};

#endif  // MOD_UNICODE_STRING_H
