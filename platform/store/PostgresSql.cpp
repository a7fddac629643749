#include "platform/store/PostgresSql.h"

#include "platform/store/SqlText.h"

namespace store::pg {

using store::sql::isIdentifierChar;
using store::sql::isIdentifierStart;

std::vector<SqlStatement> splitStatements(std::string_view sql, bool standardConformingStrings) {
  std::vector<SqlStatement> statements;
  SqlStatement current;
  bool hasContent = false;  // a token other than blanks and comments was seen
  auto finish = [&]() {
    if (hasContent) statements.push_back(std::move(current));
    current = SqlStatement();
    hasContent = false;
  };

  // An unterminated literal or comment runs to the end of the text.
  auto endOf = [&](std::size_t end) { return end == std::string_view::npos ? sql.size() : end; };
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    std::size_t next = i + 1;
    bool content = true;
    if (c == '\'') {
      // An E prefix (not the end of a longer word) turns on backslash escapes.
      const bool prefixed = i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') &&
                            (i < 2 || !isIdentifierChar(sql[i - 2]));
      next = endOf(store::sql::skipQuoted(sql, i, prefixed || !standardConformingStrings));
    } else if (c == '"') {
      next = endOf(store::sql::skipQuoted(sql, i, false));
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      next = end == std::string_view::npos ? sql.size() : end + 1;
      content = false;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      next = endOf(store::sql::skipBlockComment(sql, i));
      content = false;
    } else if (c == '$' && (i == 0 || !isIdentifierChar(sql[i - 1]))) {
      const std::size_t end = store::sql::skipDollarQuoted(sql, i);
      if (end != 0) next = endOf(end);
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
