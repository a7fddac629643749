// The chunked UTF-8 <-> UTF-16 conversions behind ModUtf8ToUtf16 and
// ModUtf16ToUtf8. ICU counts in int32_t, so longer text is converted in
// pieces split on character boundaries; the piece size is a parameter so
// that tests can place the split points.
#ifndef MOD_UNICODE_CONVERSION_H
#define MOD_UNICODE_CONVERSION_H

#include <cstddef>
#include <string>
#include <string_view>

// The piece size used by the public conversions (input units per ICU call).
inline constexpr size_t ModUnicodeConversionChunk = size_t{1} << 28;

// maxChunk must be at least 4. Invalid input becomes U+FFFD, never throws
// except std::bad_alloc.
std::u16string ModUtf8ToUtf16Chunked(std::string_view utf8, size_t maxChunk);
std::string ModUtf16ToUtf8Chunked(std::u16string_view utf16, size_t maxChunk);

#endif  // MOD_UNICODE_CONVERSION_H
