// The full-text part of the engine (see StatementTranslator.h for the
// statement forms). Each store keeps, per indexed column, structures that
// see every section on its own:
// - SQLite: two FTS5 tables, <table>_<column>_fts (unicode61, for the words
//   of space-separated languages) and <table>_<column>_ftsn (trigram, for
//   Japanese, Chinese and Korean), kept by triggers. A section's rowid is
//   its row's rowid times 65536 plus its number, so a row's sections form
//   one rowid range (rows up to rowid 2^47, sections up to 65535).
// - PostgreSQL: a GIN index over corvid_document_vector(column,
//   ContentTextLanguage), which finds candidate rows, and corvid_sections(),
//   which checks each section of a candidate on its own.
// Private to platform/engine.
#ifndef TAVODB_PLATFORM_ENGINE_FULL_TEXT_SQL_H
#define TAVODB_PLATFORM_ENGINE_FULL_TEXT_SQL_H

#include <string>
#include <string_view>
#include <vector>

#include "platform/engine/StatementTranslator.h"
#include "platform/store/Store.h"

namespace engine {

// The statements that create the full-text index of `column` of `table`
// (plain names), to be run in order in one transaction.
std::vector<std::string> fullTextIndexStatements(StoreKind store, const std::string& table,
                                                 const std::string& column);

// Appends to `sql` the store SQL of a CONTAINS or SECTIONS piece for the
// query `terms`, and to `out` the parameters its `?` markers take. No terms
// match nothing.
void bindFullText(const Piece& piece, StoreKind store, const std::vector<std::u16string>& terms,
                  std::string& sql, std::vector<store::Value>& out);

// The terms of a full-text query (see the file comment); empty when it has
// none.
std::vector<std::u16string> parseFullTextQuery(std::u16string_view query);

// Section numbers as SECTIONS delivers them from the store: a JSON array of
// integers (SQLite) or an integer array (PostgreSQL). Throws
// Corvid::Exception::Object when the value is neither.
std::vector<uint32_t> readSectionNumbers(const store::Value& value);

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_FULL_TEXT_SQL_H
