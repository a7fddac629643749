// Translation of the engine's statement forms, without a store.
#include <gtest/gtest.h>

#include "Corvid/Exception.h"
#include "platform/engine/FullTextSql.h"
#include "platform/engine/StatementTranslator.h"

using engine::StoreKind;
using engine::Translation;
using store::IsolationLevel;

namespace {

std::shared_ptr<const Translation> sqlite(const char16_t* text) {
  return engine::translate(text, StoreKind::Sqlite);
}

TEST(EngineTranslator, TransactionStatementsOfTheLibrary) {
  struct Case {
    const char16_t* text;
    IsolationLevel level;
    bool readOnly;
    bool snapshot;
  };
  const Case cases[] = {
      {u"START TRANSACTION", IsolationLevel::ReadCommitted, false, false},
      {u"START TRANSACTION READ WRITE , ISOLATION LEVEL READ UNCOMMITTED",
       IsolationLevel::ReadUncommitted, false, false},
      {u"START TRANSACTION READ ONLY , ISOLATION LEVEL READ COMMITTED",
       IsolationLevel::ReadCommitted, true, false},
      {u"START TRANSACTION READ ONLY , USING SNAPSHOT , ISOLATION LEVEL SERIALIZABLE",
       IsolationLevel::Serializable, true, true},
      // A snapshot raises a weaker level to repeatable read.
      {u"START TRANSACTION READ ONLY , USING SNAPSHOT , ISOLATION LEVEL READ COMMITTED",
       IsolationLevel::RepeatableRead, true, true},
      {u"START TRANSACTION , ISOLATION LEVEL REPEATABLE READ", IsolationLevel::RepeatableRead,
       false, false},
      {u"  start   transaction\tread write;", IsolationLevel::ReadCommitted, false, false},
  };
  for (const Case& c : cases) {
    for (StoreKind store : {StoreKind::Sqlite, StoreKind::Postgres}) {
      const auto translation = engine::translate(c.text, store);
      ASSERT_EQ(translation->kind, Translation::Kind::Begin) << ModUtf16ToUtf8(c.text);
      EXPECT_EQ(translation->level, c.level) << ModUtf16ToUtf8(c.text);
      EXPECT_EQ(translation->readOnly, c.readOnly) << ModUtf16ToUtf8(c.text);
      EXPECT_EQ(translation->snapshot, c.snapshot) << ModUtf16ToUtf8(c.text);
    }
  }
  EXPECT_EQ(sqlite(u"COMMIT")->kind, Translation::Kind::Commit);
  EXPECT_EQ(sqlite(u"rollback ;")->kind, Translation::Kind::Rollback);
  // Other ROLLBACK forms belong to the store.
  EXPECT_EQ(sqlite(u"ROLLBACK TO SAVEPOINT a")->kind, Translation::Kind::Statement);
}

TEST(EngineTranslator, MalformedTransactionStatementsAreRefused) {
  for (const char16_t* text :
       {u"START TRANSACTION READ", u"START TRANSACTION READ WRITE READ ONLY",
        u"START TRANSACTION READ WRITE , USING SNAPSHOT", u"START TRANSACTION , ISOLATION LEVEL",
        u"START TRANSACTION , ISOLATION LEVEL READ SOMETHING", u"START TRANSACTION NOW"}) {
    try {
      sqlite(text);
      ADD_FAILURE() << ModUtf16ToUtf8(text) << " was accepted";
    } catch (const Corvid::Exception::Object& error) {
      EXPECT_EQ(error.getSqlState(), "42601") << ModUtf16ToUtf8(text);
    }
  }
}

TEST(EngineTranslator, QuestionMarksInLiteralsAndCommentsAreNoParameters) {
  const auto translation =
      sqlite(u"select '?', \"a?\", $x$ ? $x$ -- ?\n /* ? /* ? */ */ , ? from t where a = ?");
  EXPECT_EQ(translation->parameterCount, 2u);
  EXPECT_TRUE(translation->singleStatement);
  EXPECT_FALSE(sqlite(u"insert into t values (?); select ?")->singleStatement);
  EXPECT_THROW(sqlite(u"select 'unterminated"), Corvid::Exception::Object);
  EXPECT_THROW(sqlite(u"select ?1"), Corvid::Exception::Object);
}

TEST(EngineTranslator, SectionsMustPairWithContainsAndBeASelectItem) {
  const auto translation = sqlite(
      u"select d.id, SECTIONS(d.Content) from Doc d where CONTAINS(d.Content, ?) and d.id > ?");
  EXPECT_EQ(translation->parameterCount, 2u);
  using Section = engine::Translation::SectionColumn;
  EXPECT_EQ(translation->sectionColumns, (std::vector<Section>{Section{1, false}}));
  // After a * item a SECTIONS item is found from the end of the result.
  EXPECT_EQ(sqlite(u"select *, SECTIONS(Content), id from Doc where CONTAINS(Content, ?)")
                ->sectionColumns,
            (std::vector<Section>{Section{2, true}}));
  EXPECT_EQ(sqlite(u"select SECTIONS(Content), d.* from Doc d where CONTAINS(Content, ?)")
                ->sectionColumns,
            (std::vector<Section>{Section{0, false}}));
  EXPECT_EQ(sqlite(u"select a * 2, SECTIONS(Content) from Doc where CONTAINS(Content, ?)")
                ->sectionColumns,
            (std::vector<Section>{Section{1, false}}));
  EXPECT_THROW(sqlite(u"select d.*, SECTIONS(Content), * from Doc d where CONTAINS(Content, ?)"),
               Corvid::Exception::Object);

  EXPECT_THROW(sqlite(u"select SECTIONS(Content) from Doc"), Corvid::Exception::Object);
  EXPECT_THROW(sqlite(u"select id from Doc where id in (select SECTIONS(Content) from Doc "
                      u"where CONTAINS(Content, ?))"),
               Corvid::Exception::Object);
  // An unqualified column needs a statement of one table.
  EXPECT_THROW(sqlite(u"select a.id from Doc a, Doc2 b where CONTAINS(Content, ?)"),
               Corvid::Exception::Object);
  EXPECT_THROW(sqlite(u"select id from Doc where CONTAINS(Content, 'literal')"),
               Corvid::Exception::Object);
}

// The store SQL of a full-text column reads the statement's row, however
// the column is qualified, and the item keeps the name it was written with.
TEST(EngineTranslator, FullTextColumnsReadTheStatementsRow) {
  auto bind = [](const char16_t* text, StoreKind store) {
    const auto translation = engine::translate(text, store);
    std::vector<store::Value> parameters(translation->parameterCount, store::Value::text(u"alpha"));
    std::string sql;
    std::vector<store::Value> bound;
    engine::bindTranslation(*translation, store, parameters, sql, bound);
    return sql;
  };
  std::string sql =
      bind(u"select SECTIONS(Content), id from Doc where CONTAINS(Content, ?)", StoreKind::Sqlite);
  EXPECT_NE(sql.find("(doc.rowid << 16) + 65535"), std::string::npos) << sql;
  EXPECT_NE(sql.find("(doc.rowid IN ("), std::string::npos) << sql;
  EXPECT_NE(sql.find(") AS \"SECTIONS(Content)\", id from"), std::string::npos) << sql;
  sql = bind(u"select SECTIONS(Content) hits from Doc AS x where CONTAINS(x.Content, ?)",
             StoreKind::Sqlite);
  EXPECT_NE(sql.find("(x.rowid << 16) + 65535"), std::string::npos) << sql;
  EXPECT_EQ(sql.find("AS \"SECTIONS"), std::string::npos) << sql;
  sql = bind(u"select id, CONTAINS(Doc.Content, ?) from Doc", StoreKind::Postgres);
  EXPECT_NE(sql.find("corvid_sections(Doc.content, Doc.ContentTextLanguage, ?)"), std::string::npos)
      << sql;
  EXPECT_NE(sql.find(" AS \"CONTAINS(Doc.Content, ?)\" from"), std::string::npos) << sql;

  // A table that the statement names twice needs the qualifier.
  EXPECT_THROW(sqlite(u"select a.id from Doc a, Doc b where CONTAINS(Content, ?)"),
               Corvid::Exception::Object);
}

TEST(EngineTranslator, FullTextQueriesAreBoundPerStore) {
  const auto translation = sqlite(u"select id from Doc where CONTAINS(Content, ?)");
  std::vector<store::Value> parameters{store::Value::text(u"alpha \"beta gamma\"")};
  std::string sql;
  std::vector<store::Value> bound;
  engine::bindTranslation(*translation, StoreKind::Sqlite, parameters, sql, bound);
  EXPECT_NE(sql.find("doc_content_fts MATCH ?"), std::string::npos) << sql;
  ASSERT_EQ(bound.size(), 3u);  // the MATCH expression and one LIKE per term
  EXPECT_EQ(bound[0].asText(), u"\"alpha\" AND \"beta gamma\"");
  EXPECT_EQ(bound[2].asText(), u"%beta gamma%");
  EXPECT_EQ(sql.find("ESCAPE"), std::string::npos) << sql;

  // Wildcards in a term are matched literally.
  std::vector<store::Value> wild{store::Value::text(u"50%_off")};
  engine::bindTranslation(*translation, StoreKind::Sqlite, wild, sql, bound);
  EXPECT_NE(sql.find("ESCAPE"), std::string::npos) << sql;
  EXPECT_EQ(bound[1].asText(), u"%50\\%\\_off%");

  std::vector<store::Value> none{store::Value()};
  engine::bindTranslation(*translation, StoreKind::Sqlite, none, sql, bound);
  EXPECT_NE(sql.find("(1 = 0)"), std::string::npos) << sql;
  EXPECT_TRUE(bound.empty());

  std::vector<store::Value> wrongCount;
  EXPECT_THROW(engine::bindTranslation(*translation, StoreKind::Sqlite, wrongCount, sql, bound),
               Corvid::Exception::Object);
}

TEST(EngineTranslator, QueryTermsAndPhrases) {
  using Terms = std::vector<std::u16string>;
  EXPECT_EQ(engine::parseFullTextQuery(u"  one two\u3000three "),
            (Terms{u"one", u"two", u"three"}));
  EXPECT_EQ(engine::parseFullTextQuery(u"\" a \"\"quoted\"\" phrase \" x"),
            (Terms{u"a \"quoted\" phrase", u"x"}));
  EXPECT_EQ(engine::parseFullTextQuery(u"\"unterminated phrase"), (Terms{u"unterminated phrase"}));
  EXPECT_TRUE(engine::parseFullTextQuery(u" \"\"  ").empty());
}

TEST(EngineTranslator, SectionNumbersFromEitherStore) {
  EXPECT_EQ(engine::readSectionNumbers(store::Value::text(u"[1, 3,7]")),
            (std::vector<uint32_t>{1, 3, 7}));
  EXPECT_TRUE(engine::readSectionNumbers(store::Value::text(u"[]")).empty());
  EXPECT_EQ(engine::readSectionNumbers(
                store::Value::array({store::Value::integer(2), store::Value::integer(5)})),
            (std::vector<uint32_t>{2, 5}));
  EXPECT_THROW(engine::readSectionNumbers(store::Value::text(u"[1,")), Corvid::Exception::Object);
  EXPECT_THROW(engine::readSectionNumbers(store::Value::text(u"[0]")), Corvid::Exception::Object);
}

}  // namespace
