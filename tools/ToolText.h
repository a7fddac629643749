// Text helpers of the command-line tool: UTF-8 (the terminal's) to and from
// the library's UTF-16, and the width a text takes on a terminal.
#ifndef TAVODB_TOOLS_TOOL_TEXT_H
#define TAVODB_TOOLS_TOOL_TEXT_H

#include <string>
#include <string_view>

namespace tavtool {

// Ill-formed input becomes U+FFFD; neither direction fails.
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// Terminal columns of a UTF-8 text: wide East Asian characters take two,
// combining marks none, everything else one.
size_t displayWidth(std::string_view utf8);

// Whitespace runs (newlines included) become one blank; the ends are trimmed.
std::string collapseWhitespace(std::string_view text);

}  // namespace tavtool

#endif  // TAVODB_TOOLS_TOOL_TEXT_H
