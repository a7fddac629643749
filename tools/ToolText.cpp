#include "ToolText.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cctype>

namespace tavtool {

std::u16string toUtf16(std::string_view utf8) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  return std::u16string(text.getBuffer(), static_cast<size_t>(text.length()));
}

std::string toUtf8(std::u16string_view utf16) {
  std::string out;
  icu::UnicodeString(false, utf16.data(), static_cast<int32_t>(utf16.size())).toUTF8String(out);
  return out;
}

size_t displayWidth(std::string_view utf8) {
  size_t width = 0;
  int32_t offset = 0;
  const auto length = static_cast<int32_t>(utf8.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
  while (offset < length) {
    UChar32 c = 0;
    U8_NEXT(bytes, offset, length, c);
    if (c < 0) {
      ++width;  // an ill-formed byte still occupies a cell as U+FFFD
      continue;
    }
    const auto category = static_cast<UCharCategory>(u_charType(c));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK) continue;
    const auto eaw = static_cast<UEastAsianWidth>(u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH));
    width += (eaw == U_EA_WIDE || eaw == U_EA_FULLWIDTH) ? 2 : 1;
  }
  return width;
}

std::string collapseWhitespace(std::string_view text) {
  std::string out;
  bool pendingBlank = false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) out += ' ';
    pendingBlank = false;
    out += c;
  }
  return out;
}

}  // namespace tavtool
