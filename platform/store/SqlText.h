// Lexing pieces of SQL text shared by the statement rewriters of the store
// (the PostgreSQL `?` -> `$n` rewriting) and of the engine (its statement
// translator), so that both agree on where literals, quoted names, comments
// and dollar-quoted bodies end. Private to the library.
#ifndef TAVODB_PLATFORM_STORE_SQL_TEXT_H
#define TAVODB_PLATFORM_STORE_SQL_TEXT_H

#include <cstddef>
#include <string_view>

namespace store::sql {

// Identifier characters as PostgreSQL reads them; bytes of multi-byte UTF-8
// sequences count as letters.
bool isIdentifierStart(char c);
bool isIdentifierChar(char c);  // also digits and '$'

// Each returns the index just past the construct that starts at `start`, or
// std::string_view::npos when the text ends before it does.
//
// A quoted run opened by the quote character at `start`: the quote doubled
// stands for itself; with `backslashEscapes` a backslash takes the next
// character along.
std::size_t skipQuoted(std::string_view sql, std::size_t start, bool backslashEscapes);
// A block comment opened by "/*" at `start`; block comments nest.
std::size_t skipBlockComment(std::string_view sql, std::size_t start);
// A dollar-quoted body ($$...$$ or $tag$...$tag$) opened at `start`; 0 when
// no dollar quote starts there (a `$1` parameter, a lone `$`).
std::size_t skipDollarQuoted(std::string_view sql, std::size_t start);

}  // namespace store::sql

#endif  // TAVODB_PLATFORM_STORE_SQL_TEXT_H
