#include "platform/store/SqlText.h"

namespace store::sql {

bool isIdentifierStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool isIdentifierChar(char c) {
  return isIdentifierStart(c) || (c >= '0' && c <= '9') || c == '$';
}

std::size_t skipQuoted(std::string_view sql, std::size_t start, bool backslashEscapes) {
  const char quote = sql[start];
  std::size_t i = start + 1;
  while (i < sql.size()) {
    const char c = sql[i];
    if (backslashEscapes && c == '\\') {
      i += 2;
    } else if (c != quote) {
      ++i;
    } else if (i + 1 < sql.size() && sql[i + 1] == quote) {
      i += 2;
    } else {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

std::size_t skipBlockComment(std::string_view sql, std::size_t start) {
  std::size_t depth = 0;
  std::size_t i = start;
  while (i + 1 < sql.size()) {
    if (sql[i] == '/' && sql[i + 1] == '*') {
      ++depth;
      i += 2;
    } else if (sql[i] == '*' && sql[i + 1] == '/') {
      i += 2;
      if (--depth == 0) return i;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

std::size_t skipDollarQuoted(std::string_view sql, std::size_t start) {
  // The tag: "$$" or "$name$" with a name that starts like an identifier.
  std::size_t i = start + 1;
  if (i < sql.size() && sql[i] != '$') {
    if (!isIdentifierStart(sql[i])) return 0;
    while (i < sql.size() && sql[i] != '$') {
      if (!isIdentifierChar(sql[i])) return 0;
      ++i;
    }
  }
  if (i >= sql.size()) return 0;
  const std::string_view tag = sql.substr(start, i - start + 1);
  const std::size_t close = sql.find(tag, i + 1);
  return close == std::string_view::npos ? close : close + tag.size();
}

}  // namespace store::sql
