// The PostgreSQL driver's statement splitter and `?` rewriter, without a
// server: every quoting form must hide its `?` and `;`.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/store/PostgresSql.h"

namespace {

using Statements = std::vector<std::pair<std::string, std::size_t>>;  // text, markers

// One statement whose top-level markers, and only those, become $n.
Statements one(const char* text, std::size_t markers) {
  return {{text, markers}};
}

TEST(SplitStatements, RewritesTopLevelMarkersPerStatementAndDropsEmptyOnes) {
  const struct {
    const char* input;
    Statements statements;
    bool standardStrings = true;
  } cases[] = {
      {"SELECT ?, ?", one("SELECT $1, $2", 2)},
      {"SELECT '?;', ?", one("SELECT '?;', $1", 1)},
      {"SELECT 'it''s ?;' || ?", one("SELECT 'it''s ?;' || $1", 1)},
      // Standard strings: a backslash is an ordinary character.
      {"SELECT 'a\\' , ?", one("SELECT 'a\\' , $1", 1)},
      // E strings: \' does not end the literal.
      {"SELECT E'a\\'?;' , ?", one("SELECT E'a\\'?;' , $1", 1)},
      {"SELECT e'\\\\', ?", one("SELECT e'\\\\', $1", 1)},
      // A word ending in E is not an E prefix.
      {"SELECT name'x', ?", one("SELECT name'x', $1", 1)},
      {"SELECT \"we?ird;\"\"id\" FROM t WHERE a = ?",
       one("SELECT \"we?ird;\"\"id\" FROM t WHERE a = $1", 1)},
      {"SELECT ? -- what?; no\n, ?", one("SELECT $1 -- what?; no\n, $2", 2)},
      {"SELECT /* a /* nested ?; */ still ? */ ?",
       one("SELECT /* a /* nested ?; */ still ? */ $1", 1)},
      {"SELECT $$?;$$, ?", one("SELECT $$?;$$, $1", 1)},
      {"SELECT $fn$ a $x$ ?; $fn$, ?", one("SELECT $fn$ a $x$ ?; $fn$, $1", 1)},
      // $1 is a positional parameter, a$b an identifier: neither quotes.
      {"SELECT a$b, ?", one("SELECT a$b, $1", 1)},
      {"SELECT 'unterminated ?", one("SELECT 'unterminated ?", 0)},
      {"SELECT ?/*?", one("SELECT $1/*?", 1)},
      {"INSERT INTO t VALUES (?, ?); UPDATE t SET a = ?;SELECT 1",
       {{"INSERT INTO t VALUES ($1, $2)", 2}, {" UPDATE t SET a = $1", 1}, {"SELECT 1", 0}}},
      {" ; ;\n-- only a comment\n; /* c */", {}},
      {"SELECT 1; -- trailing\n", one("SELECT 1", 0)},
      // A function body keeps its semicolons.
      {"CREATE FUNCTION f(x int) RETURNS int AS $$ SELECT x + 1; $$ LANGUAGE sql; SELECT f(?)",
       {{"CREATE FUNCTION f(x int) RETURNS int AS $$ SELECT x + 1; $$ LANGUAGE sql", 0},
        {" SELECT f($1)", 1}}},
      // Without standard strings a backslash escapes the quote of any literal.
      {"SELECT 'a\\'?;', ?", one("SELECT 'a\\'?;', $1", 1), false},
  };
  for (const auto& c : cases) {
    Statements got;
    for (const auto& statement : store::pg::splitStatements(c.input, c.standardStrings)) {
      got.emplace_back(statement.text, statement.parameterCount);
    }
    EXPECT_EQ(got, c.statements) << c.input;
  }
}

}  // namespace
