#include "platform/store/PostgresSql.h"

namespace store::pg {

namespace {

bool isIdentifierStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool isIdentifierChar(char c) {
  return isIdentifierStart(c) || (c >= '0' && c <= '9') || c == '$';
}

// Index just past a quoted run starting at the opening quote `start`; the
// quote character doubled stands for itself; `backslashes` makes \x skip x.
std::size_t skipQuoted(std::string_view sql, std::size_t start, char quote, bool backslashes) {
  std::size_t i = start + 1;
  while (i < sql.size()) {
    const char c = sql[i];
    if (backslashes && c == '\\') {
      i += 2;
    } else if (c == quote) {
      if (i + 1 < sql.size() && sql[i + 1] == quote) {
        i += 2;
      } else {
        return i + 1;
      }
    } else {
      ++i;
    }
  }
  return sql.size();
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
  return sql.size();
}

// The dollar-quote tag ("$$" or "$name$") starting at `start`, or empty.
std::string_view dollarTag(std::string_view sql, std::size_t start) {
  std::size_t i = start + 1;
  if (i < sql.size() && sql[i] == '$') return sql.substr(start, 2);
  if (i >= sql.size() || !isIdentifierStart(sql[i])) return {};
  while (i < sql.size() && sql[i] != '$') {
    if (!isIdentifierChar(sql[i])) return {};
    ++i;
  }
  if (i >= sql.size()) return {};
  return sql.substr(start, i - start + 1);
}

}  // namespace

std::vector<SqlStatement> splitStatements(std::string_view sql, bool standardConformingStrings) {
  std::vector<SqlStatement> statements;
  SqlStatement current;
  bool hasContent = false;  // a token other than blanks and comments was seen
  auto finish = [&]() {
    if (hasContent) statements.push_back(std::move(current));
    current = SqlStatement();
    hasContent = false;
  };

  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    std::size_t next = i + 1;
    bool content = true;
    if (c == '\'') {
      // An E prefix (not the end of a longer word) turns on backslash escapes.
      const bool prefixed = i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') &&
                            (i < 2 || !isIdentifierChar(sql[i - 2]));
      next = skipQuoted(sql, i, '\'', prefixed || !standardConformingStrings);
    } else if (c == '"') {
      next = skipQuoted(sql, i, '"', false);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      next = end == std::string_view::npos ? sql.size() : end + 1;
      content = false;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      next = skipBlockComment(sql, i);
      content = false;
    } else if (c == '$' && (i == 0 || !isIdentifierChar(sql[i - 1]))) {
      const std::string_view tag = dollarTag(sql, i);
      if (!tag.empty()) {
        const std::size_t close = sql.find(tag, i + tag.size());
        next = close == std::string_view::npos ? sql.size() : close + tag.size();
      }
    } else if (isIdentifierStart(c)) {
      // Whole words at once, so a '$' inside a word is never a quote.
      while (next < sql.size() && isIdentifierChar(sql[next])) ++next;
    } else if (c == '?') {
      current.text += '$';
      current.text += std::to_string(++current.parameterCount);
      hasContent = true;
      i = next;
      continue;
    } else if (c == ';') {
      finish();
      i = next;
      continue;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      content = false;
    }
    current.text.append(sql.substr(i, next - i));
    hasContent = hasContent || content;
    i = next;
  }
  finish();
  return statements;
}

}  // namespace store::pg
