// The PostgreSQL driver's statement splitter and `?` rewriter, without a
// server: every quoting form must hide its `?` and `;`.
#include <gtest/gtest.h>

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

TEST(SplitStatements, NumbersMarkersWithinEachStatement) {
  const auto statements =
      splitStatements("INSERT INTO t VALUES (?, ?); UPDATE t SET a = ?;SELECT 1", true);
  ASSERT_EQ(statements.size(), 3u);
  EXPECT_EQ(statements[0].text, "INSERT INTO t VALUES ($1, $2)");
  EXPECT_EQ(statements[0].parameterCount, 2u);
  EXPECT_EQ(statements[1].text, " UPDATE t SET a = $1");
  EXPECT_EQ(statements[2].parameterCount, 0u);
}

TEST(SplitStatements, DropsStatementsOfOnlyBlanksAndComments) {
  EXPECT_TRUE(splitStatements(" ; ;\n-- only a comment\n; /* c */", true).empty());
  const auto statements = splitStatements("SELECT 1; -- trailing\n", true);
  ASSERT_EQ(statements.size(), 1u);
  EXPECT_EQ(statements[0].text, "SELECT 1");
}

TEST(SplitStatements, KeepsSemicolonsOfFunctionBodies) {
  const auto statements = splitStatements(
      "CREATE FUNCTION f(x int) RETURNS int AS $$ SELECT x + 1; $$ LANGUAGE sql; SELECT f(?)",
      true);
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0].parameterCount, 0u);
  EXPECT_EQ(statements[1].text, " SELECT f($1)");
}

TEST(SplitStatements, BackslashEscapesEveryStringWithoutStandardStrings) {
  const auto statements = splitStatements("SELECT 'a\\'?;', ?", false);
  ASSERT_EQ(statements.size(), 1u);
  EXPECT_EQ(statements[0].text, "SELECT 'a\\'?;', $1");
  EXPECT_EQ(statements[0].parameterCount, 1u);
}

}  // namespace
