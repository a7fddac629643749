// Translation of engine statements into the SQL of one store. The engine
// accepts the store's own SQL with `?` parameters and adds these forms
// (keywords in any case, tokens separated by any white space):
//
//   START TRANSACTION [READ WRITE | READ ONLY [, USING SNAPSHOT]]
//                     [, ISOLATION LEVEL {READ UNCOMMITTED | READ COMMITTED |
//                                         REPEATABLE READ | SERIALIZABLE}]
//   COMMIT
//   ROLLBACK
//   CREATE FULLTEXT INDEX ON <table> ( <column> )
//   ... CONTAINS ( [<table or alias>.]<column> , ? ) ...   a predicate
//   SELECT ..., SECTIONS ( [<table or alias>.]<column> ), ...  a select item
//
// A SECTIONS or CONTAINS that makes a whole select item without a name of
// its own is named as written ("SECTIONS(Content)"), not after the SQL it
// becomes.
//
// A full-text column is an array of texts (SQLite: a "TEXT ARRAY" column;
// PostgreSQL: text[]) whose sections are its elements, numbered from 1. The
// language of section i is element i of the array column ContentTextLanguage
// of the same table; sections in Japanese, Chinese or Korean are matched as
// character sequences, the others word by word (case-insensitively).
// CONTAINS is true when one section holds every term of the query bound to
// its `?`: terms are separated by blanks, a double-quoted run is one phrase
// ("" inside it stands for a quote), and a phrase never spans two sections.
// SECTIONS yields the numbers of the sections that match the CONTAINS of the
// same column in the same statement, in ascending order.
//
// Private to platform/engine. Failures throw Corvid::Exception::Object
// (SQLSTATE 42601 for a statement the engine cannot read).
#ifndef TAVODB_PLATFORM_ENGINE_STATEMENT_TRANSLATOR_H
#define TAVODB_PLATFORM_ENGINE_STATEMENT_TRANSLATOR_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/store/Store.h"

namespace engine {

enum class StoreKind { Sqlite, Postgres };

// A full-text column as a statement names it.
struct FullTextColumn {
  std::string qualifier;  // as written before the '.', empty when none
  std::string table;      // the table it resolves to, lower case
  std::string column;     // lower case
  // The name the statement reaches the row by: the qualifier, else the alias
  // (or, without one, the name) of the statement's one table. The store SQL
  // qualifies by it, so that the row is the statement's and not one of the
  // full-text structures the translation brings in.
  std::string row;
};

// One piece of a translated statement.
struct Piece {
  enum class Kind { Text, Parameter, Contains, Sections };
  Kind kind = Kind::Text;
  std::string text;           // Text: store SQL
  std::size_t parameter = 0;  // Parameter, Contains, Sections: caller's parameter holding
                              // the value or the full-text query
  FullTextColumn column;      // Contains, Sections
};

struct Translation {
  enum class Kind { Statement, Begin, Commit, Rollback, CreateFullTextIndex };
  Kind kind = Kind::Statement;

  // Begin.
  store::IsolationLevel level = store::IsolationLevel::ReadCommitted;
  bool readOnly = false;
  bool snapshot = false;  // the snapshot is taken at once, not at the first read

  // Statement.
  std::vector<Piece> pieces;
  std::size_t parameterCount = 0;  // `?` markers the caller binds
  // The result columns made by SECTIONS, as select item positions: counted
  // from the first item (0 = first), or from the last (1 = last) when a *
  // item comes before, since how many columns a * gives shows only in the
  // result.
  struct SectionColumn {
    std::size_t position = 0;
    bool fromEnd = false;
    friend bool operator==(const SectionColumn&, const SectionColumn&) = default;
  };
  std::vector<SectionColumn> sectionColumns;
  bool singleStatement = true;
  // The store SQL when no piece depends on parameter values (no CONTAINS or
  // SECTIONS); the caller's parameters then pass through in order.
  std::string staticSql;
  bool isStatic = true;

  // CreateFullTextIndex: statements to run in order, in one transaction.
  std::vector<std::string> ddl;
};

// Parses `statement`. Throws Corvid::Exception::Object (42601) when an
// engine form is malformed or a full-text column cannot be resolved.
std::shared_ptr<const Translation> translate(std::u16string_view statement, StoreKind store);

// The store SQL and parameters of one run of a Statement translation that is
// not static (a static one runs its staticSql with the caller's parameters as
// they are). `parameters` has one value per caller `?`; the values are moved
// out into `storeParameters`, and `sql` is filled. Throws
// Corvid::Exception::Object (07001) when the count is wrong.
void bindTranslation(const Translation& translation, StoreKind store,
                     std::vector<store::Value>& parameters, std::string& sql /* OUT */,
                     std::vector<store::Value>& storeParameters /* OUT */);

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_STATEMENT_TRANSLATOR_H
