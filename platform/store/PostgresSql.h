// The PostgreSQL driver's text work that needs no server: splitting a batch
// into statements and rewriting `?` markers to `$n`, and the array literal
// text form. Private to platform/store.
#ifndef TAVODB_PLATFORM_STORE_POSTGRES_SQL_H
#define TAVODB_PLATFORM_STORE_POSTGRES_SQL_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace store::pg {

struct SqlStatement {
  std::string text;                // `?` rewritten to $1, $2, ... within this statement
  std::size_t parameterCount = 0;  // how many `?` it had
};

// Splits `sql` on top-level ';' and rewrites each `?` to `$n`, numbering from
// 1 in each statement. Skipped without change: string literals ('...' with ''
// doubling; E'...' and, when standardConformingStrings is false, every '...'
// with backslash escapes), quoted identifiers ("..." with "" doubling),
// -- line comments, nested /* */ comments and dollar-quoted bodies ($$...$$,
// $tag$...$tag$). A '?' inside any of them is text, not a marker. Statements
// holding only blanks and comments are dropped. An unterminated literal or
// comment runs to the end of the text (the server reports the error).
std::vector<SqlStatement> splitStatements(std::string_view sql, bool standardConformingStrings);

}  // namespace store::pg

#endif  // TAVODB_PLATFORM_STORE_POSTGRES_SQL_H
