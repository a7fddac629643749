// The PostgreSQL driver's statement splitter and `?` rewriter, without a
// server: every quoting form must hide its `?` and `;`.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/store/PostgresSql.h"

namespace {

using store::pg::splitStatements;

struct Case {
  const char* input;
  const char* output;
  std::size_t parameters;
};

class OneStatement : public ::testing::TestWithParam<Case> {};

TEST_P(OneStatement, RewritesOnlyTopLevelMarkers) {
  const Case& c = GetParam();
  const auto statements = splitStatements(c.input, true);
  ASSERT_EQ(statements.size(), 1u) << c.input;
  EXPECT_EQ(statements[0].text, c.output);
  EXPECT_EQ(statements[0].parameterCount, c.parameters);
}

INSTANTIATE_TEST_SUITE_P(
    Quoting, OneStatement,
    ::testing::Values(
        Case{"SELECT ?, ?", "SELECT $1, $2", 2},
        Case{"SELECT '?;', ?", "SELECT '?;', $1", 1},
        Case{"SELECT 'it''s ?;' || ?", "SELECT 'it''s ?;' || $1", 1},
        // Standard strings: a backslash is an ordinary character.
        Case{"SELECT 'a\\' , ?", "SELECT 'a\\' , $1", 1},
        // E strings: \' does not end the literal.
        Case{"SELECT E'a\\'?;' , ?", "SELECT E'a\\'?;' , $1", 1},
        Case{"SELECT e'\\\\', ?", "SELECT e'\\\\', $1", 1},
        // A word ending in E is not an E prefix.
        Case{"SELECT name'x', ?", "SELECT name'x', $1", 1},
        Case{"SELECT \"we?ird;\"\"id\" FROM t WHERE a = ?",
             "SELECT \"we?ird;\"\"id\" FROM t WHERE a = $1", 1},
        Case{"SELECT ? -- what?; no\n, ?", "SELECT $1 -- what?; no\n, $2", 2},
        Case{"SELECT /* a /* nested ?; */ still ? */ ?", "SELECT /* a /* nested ?; */ still ? */ $1",
             1},
        Case{"SELECT $$?;$$, ?", "SELECT $$?;$$, $1", 1},
        Case{"SELECT $fn$ a $x$ ?; $fn$, ?", "SELECT $fn$ a $x$ ?; $fn$, $1", 1},
        // $1 is a positional parameter, a$b an identifier: neither quotes.
        Case{"SELECT a$b, ?", "SELECT a$b, $1", 1},
        Case{"SELECT 'unterminated ?", "SELECT 'unterminated ?", 0},
        Case{"SELECT ?/*?", "SELECT $1/*?", 1}));

TEST(SplitStatements, NumbersMarkersPerStatementAndDropsEmptyOnes) {
  const struct {
    const char* input;
    bool standardStrings;
    std::vector<std::pair<std::string, std::size_t>> statements;  // text, markers
  } cases[] = {
      {"INSERT INTO t VALUES (?, ?); UPDATE t SET a = ?;SELECT 1",
       true,
       {{"INSERT INTO t VALUES ($1, $2)", 2}, {" UPDATE t SET a = $1", 1}, {"SELECT 1", 0}}},
      {" ; ;\n-- only a comment\n; /* c */", true, {}},
      {"SELECT 1; -- trailing\n", true, {{"SELECT 1", 0}}},
      // A function body keeps its semicolons.
      {"CREATE FUNCTION f(x int) RETURNS int AS $$ SELECT x + 1; $$ LANGUAGE sql; SELECT f(?)",
       true,
       {{"CREATE FUNCTION f(x int) RETURNS int AS $$ SELECT x + 1; $$ LANGUAGE sql", 0},
        {" SELECT f($1)", 1}}},
      // Without standard strings a backslash escapes the quote of any literal.
      {"SELECT 'a\\'?;', ?", false, {{"SELECT 'a\\'?;', $1", 1}}},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<std::string, std::size_t>> got;
    for (const auto& statement : splitStatements(c.input, c.standardStrings)) {
      got.emplace_back(statement.text, statement.parameterCount);
    }
    EXPECT_EQ(got, c.statements) << c.input;
  }
}

}  // namespace
