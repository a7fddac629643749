// The full-text part of the engine: the index structures of CREATE FULLTEXT
// INDEX and the store SQL of CONTAINS and SECTIONS, for each store.
#include "platform/engine/FullTextSql.h"

#include <algorithm>
#include <cctype>

#include "Mod/ModUnicodeString.h"
#include "platform/engine/EngineError.h"

namespace engine {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// -------------------------------------------------------------- full text ---

std::string ftsTable(const std::string& table, const std::string& column) {
  return lower(table) + "_" + lower(column) + "_fts";
}

// SQLite: whether the language tag `expression` names Japanese, Chinese or
// Korean, which are matched by characters (the trigram table).
std::string sqliteNgramLanguage(const std::string& expression) {
  const std::string tag = "('+' || replace(lower(" + expression + "), '-', '+') || '+')";
  return "(coalesce(instr(" + tag + ", '+ja+') + instr(" + tag + ", '+zh+') + instr(" + tag +
         ", '+ko+'), 0) > 0)";
}

// SQLite: the sections of row `row` (a table name or new/old) for one of the
// two full-text tables. The full-text rowid is the row's rowid times 65536
// plus the section number, so a row's sections form one rowid range.
std::string sqliteSectionRows(const std::string& row, const std::string& column, bool ngram) {
  // A trigger's new/old row needs no FROM entry; a table does.
  const std::string from = row == "new" || row == "old" ? "" : row + ", ";
  return "SELECT (" + row + ".rowid << 16) + c.key + 1, c.value FROM " + from + "json_each(" + row +
         "." + column + ") AS c LEFT JOIN json_each(" + row +
         ".ContentTextLanguage) AS l ON l.key = c.key WHERE c.type = 'text' AND c.key < 65535 "
         "AND " +
         (ngram ? "" : "NOT ") + sqliteNgramLanguage("l.value");
}

std::vector<std::string> sqliteFullTextIndex(const std::string& table, const std::string& column) {
  const std::string words = ftsTable(table, column);
  const std::string grams = words + "n";
  auto insertRows = [&](const std::string& row) {
    return "INSERT INTO " + words + "(rowid, body) " + sqliteSectionRows(row, column, false) +
           "; INSERT INTO " + grams + "(rowid, body) " + sqliteSectionRows(row, column, true) + ";";
  };
  auto deleteRows = [&](const std::string& row) {
    const std::string range =
        " WHERE rowid BETWEEN (" + row + ".rowid << 16) AND (" + row + ".rowid << 16) + 65535;";
    return "DELETE FROM " + words + range + " DELETE FROM " + grams + range;
  };
  return {
      "CREATE VIRTUAL TABLE " + words +
          " USING fts5(body, tokenize = 'unicode61 remove_diacritics 0')",
      "CREATE VIRTUAL TABLE " + grams + " USING fts5(body, tokenize = 'trigram')",
      "CREATE TRIGGER " + words + "_insert AFTER INSERT ON " + table + " BEGIN " +
          insertRows("new") + " END",
      "CREATE TRIGGER " + words + "_delete AFTER DELETE ON " + table + " BEGIN " +
          deleteRows("old") + " END",
      "CREATE TRIGGER " + words + "_update AFTER UPDATE OF " + column +
          ", ContentTextLanguage ON " + table + " BEGIN " + deleteRows("old") + " " +
          insertRows("new") + " END",
      "INSERT INTO " + words + "(rowid, body) " + sqliteSectionRows(table, column, false),
      "INSERT INTO " + grams + "(rowid, body) " + sqliteSectionRows(table, column, true),
  };
}

// PostgreSQL: functions shared by every full-text index of a database, and
// the GIN index of one column. The index holds, per row, the words of its
// word sections and every 1- to 3-character piece of its character sections;
// it finds candidate rows, and corvid_sections then checks each section on
// its own, so a phrase never spans two sections.
std::vector<std::string> postgresFullTextIndex(const std::string& table,
                                               const std::string& column) {
  return {
      "CREATE OR REPLACE FUNCTION corvid_ngram_language(lang text) RETURNS boolean "
      "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $corvid$ "
      "SELECT coalesce(('+' || replace(lower(lang), '-', '+') || '+') ~ '[+](ja|zh|ko)[+]', false) "
      "$corvid$",
      "CREATE OR REPLACE FUNCTION corvid_ngrams(t text) RETURNS text[] "
      "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $corvid$ "
      "SELECT coalesce(array_agg(DISTINCT substr(lower(t), i, n)), '{}') "
      "FROM generate_series(1, 3) AS n, generate_series(1, length(t) - n + 1) AS i "
      "$corvid$",
      "CREATE OR REPLACE FUNCTION corvid_lexeme(g text) RETURNS tsquery "
      "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $corvid$ "
      "SELECT ('''' || replace(replace(g, '\\', '\\\\'), '''', '''''') || '''')::tsquery "
      "$corvid$",
      "CREATE OR REPLACE FUNCTION corvid_document_vector(c text[], l text[]) RETURNS tsvector "
      "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $corvid$ "
      "SELECT to_tsvector('simple', coalesce(string_agg(u.t, ' ') "
      "FILTER (WHERE NOT corvid_ngram_language(u.lang)), '')) || "
      "array_to_tsvector(coalesce((SELECT array_agg(DISTINCT g) "
      "FROM unnest(c, l) AS v(t, lang), unnest(corvid_ngrams(v.t)) AS g "
      "WHERE corvid_ngram_language(v.lang)), '{}')) "
      "FROM unnest(c, l) AS u(t, lang) "
      "$corvid$",
      "CREATE OR REPLACE FUNCTION corvid_query(terms text[]) RETURNS tsquery "
      "LANGUAGE plpgsql IMMUTABLE PARALLEL SAFE AS $corvid$ "
      "DECLARE result tsquery; term_query tsquery; gram_query tsquery; term text; gram text; "
      "BEGIN "
      "FOREACH term IN ARRAY coalesce(terms, '{}') LOOP "
      "gram_query := NULL; "
      "FOR gram IN SELECT CASE WHEN length(term) < 3 THEN lower(term) "
      "ELSE substr(lower(term), i, 3) END "
      "FROM generate_series(1, greatest(length(term) - 2, 1)) AS i LOOP "
      "gram_query := CASE WHEN gram_query IS NULL THEN corvid_lexeme(gram) "
      "ELSE gram_query && corvid_lexeme(gram) END; "
      "END LOOP; "
      "term_query := phraseto_tsquery('simple', term) || gram_query; "
      "result := CASE WHEN result IS NULL THEN term_query ELSE result && term_query END; "
      "END LOOP; "
      "RETURN coalesce(result, ''::tsquery); "
      "END "
      "$corvid$",
      "CREATE OR REPLACE FUNCTION corvid_sections(c text[], l text[], terms text[]) "
      "RETURNS bigint[] LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $corvid$ "
      "SELECT coalesce(array_agg(u.i ORDER BY u.i), '{}') "
      "FROM unnest(c, l) WITH ORDINALITY AS u(t, lang, i) "
      "WHERE u.t IS NOT NULL AND cardinality(terms) > 0 AND CASE "
      "WHEN corvid_ngram_language(u.lang) THEN NOT EXISTS (SELECT 1 FROM unnest(terms) AS q "
      "WHERE strpos(lower(u.t), lower(q)) = 0) "
      "ELSE NOT EXISTS (SELECT 1 FROM unnest(terms) AS q "
      "WHERE NOT (to_tsvector('simple', u.t) @@ phraseto_tsquery('simple', q))) END "
      "$corvid$",
      "CREATE INDEX " + ftsTable(table, column) + " ON " + table +
          " USING gin (corvid_document_vector(" + column + ", ContentTextLanguage))",
  };
}

// ------------------------------------------------------- full-text binding ---

std::string quoteFts5(const std::string& term) {
  std::string quoted = "\"";
  for (char c : term) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// A LIKE pattern for `term` as a substring, its wildcards escaped with '\'.
std::string likePattern(const std::string& term) {
  std::string pattern = "%";
  for (char c : term) {
    if (c == '\\' || c == '%' || c == '_') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

// A column of the statement's row, qualified so that it never binds to a
// column of the full-text structures around it.
std::string columnText(const FullTextColumn& column, const std::string& name) {
  return column.row + "." + name;
}

// SQLite: the matching sections of the rows, as full-text rowids.
// `rowRange` restricts them to one row's range ("" for all rows).
std::string sqliteMatches(const Piece& piece, const std::vector<std::string>& terms,
                          const std::string& select, const std::string& rowRange,
                          std::vector<store::Value>& out) {
  const std::string words = ftsTable(piece.column.table, piece.column.column);
  std::string expression;
  for (const std::string& term : terms) {
    if (!expression.empty()) expression += " AND ";
    expression += quoteFts5(term);
  }
  std::string sql = "SELECT " + select + " FROM " + words + " WHERE " + words + " MATCH ?" +
                    rowRange + " UNION SELECT " + select + " FROM " + words + "n WHERE 1 = 1" +
                    rowRange;
  out.push_back(store::Value::text(ModUtf8ToUtf16(expression)));
  for (const std::string& term : terms) {
    // The trigram table serves LIKE from its index only without ESCAPE and
    // for at least three characters (a shorter pattern finds nothing there);
    // any other term takes ESCAPE, which makes SQLite scan the table.
    const std::size_t characters = static_cast<std::size_t>(
        std::count_if(term.begin(), term.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    const bool indexed = characters >= 3 && term.find_first_of("%_") == std::string::npos;
    sql += indexed ? " AND body LIKE ?" : " AND body LIKE ? ESCAPE '\\'";
    out.push_back(
        store::Value::text(ModUtf8ToUtf16(indexed ? "%" + term + "%" : likePattern(term))));
  }
  return sql;
}

}  // namespace

std::vector<std::string> fullTextIndexStatements(StoreKind store, const std::string& table,
                                                 const std::string& column) {
  return store == StoreKind::Sqlite ? sqliteFullTextIndex(table, column)
                                    : postgresFullTextIndex(table, column);
}

void bindFullText(const Piece& piece, StoreKind store, const std::vector<std::u16string>& terms16,
                  std::string& sql, std::vector<store::Value>& out) {
  std::vector<std::string> terms;
  for (const std::u16string& term : terms16) terms.push_back(ModUtf16ToUtf8(term));
  const bool contains = piece.kind == Piece::Kind::Contains;
  if (terms.empty()) {
    // A query without terms matches nothing.
    sql += contains ? "(1 = 0)" : store == StoreKind::Sqlite ? "'[]'" : "'{}'::bigint[]";
    return;
  }
  if (store == StoreKind::Postgres) {
    const std::string columns = columnText(piece.column, piece.column.column) + ", " +
                                columnText(piece.column, "ContentTextLanguage");
    std::vector<store::Value> array;
    for (const std::u16string& term : terms16) array.push_back(store::Value::text(term));
    if (contains) {
      sql += "(corvid_document_vector(" + columns + ") @@ corvid_query(?) AND corvid_sections(" +
             columns + ", ?) <> '{}')";
      out.push_back(store::Value::array(array));
    } else {
      sql += "corvid_sections(" + columns + ", ?)";
    }
    out.push_back(store::Value::array(std::move(array)));
    return;
  }
  const std::string rowid = columnText(piece.column, "rowid");
  if (contains) {
    sql += "(" + rowid + " IN (" + sqliteMatches(piece, terms, "rowid >> 16", "", out) + "))";
  } else {
    const std::string range =
        " AND rowid BETWEEN (" + rowid + " << 16) AND (" + rowid + " << 16) + 65535";
    sql += "(SELECT json_group_array(s) FROM (" +
           sqliteMatches(piece, terms, "rowid & 65535 AS s", range, out) + " ORDER BY 1))";
  }
}

std::vector<std::u16string> parseFullTextQuery(std::u16string_view query) {
  std::vector<std::u16string> terms;
  std::size_t i = 0;
  auto blank = [](char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\u3000';
  };
  while (i < query.size()) {
    if (blank(query[i])) {
      ++i;
      continue;
    }
    std::u16string term;
    if (query[i] == u'"') {
      for (++i; i < query.size(); ++i) {
        if (query[i] == u'"') {
          if (i + 1 < query.size() && query[i + 1] == u'"') {
            term += u'"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          term += query[i];
        }
      }
      // Blanks at the ends of a phrase carry no meaning.
      while (!term.empty() && blank(term.back())) term.pop_back();
      while (!term.empty() && blank(term.front())) term.erase(term.begin());
    } else {
      while (i < query.size() && !blank(query[i])) term += query[i++];
    }
    if (!term.empty()) terms.push_back(std::move(term));
  }
  return terms;
}

std::vector<uint32_t> readSectionNumbers(const store::Value& value) {
  std::vector<uint32_t> numbers;
  auto add = [&](int64_t number) {
    if (number < 1 || number > 65535) {
      throwEngineError(kStateBadValue, "section number out of range: " + std::to_string(number));
    }
    numbers.push_back(static_cast<uint32_t>(number));
  };
  switch (value.type()) {
    case store::ValueType::Null:
      break;
    case store::ValueType::Array:
      for (const store::Value& element : value.asArray()) add(element.asInteger());
      break;
    case store::ValueType::Text: {
      const std::string text = ModUtf16ToUtf8(value.asText());
      std::size_t i = 0;
      auto skipBlanks = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
      };
      auto bad = [&] {
        throwEngineError(kStateBadValue, "not a list of section numbers: " + text);
      };
      skipBlanks();
      if (i >= text.size() || text[i] != '[') bad();
      ++i;
      skipBlanks();
      if (i < text.size() && text[i] == ']') {
        ++i;
      } else {
        for (;;) {
          skipBlanks();
          int64_t number = 0;
          std::size_t digits = 0;
          while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) &&
                 digits < 18) {
            number = number * 10 + (text[i++] - '0');
            ++digits;
          }
          if (digits == 0) bad();
          add(number);
          skipBlanks();
          if (i < text.size() && text[i] == ',') {
            ++i;
            continue;
          }
          if (i < text.size() && text[i] == ']') {
            ++i;
            break;
          }
          bad();
        }
      }
      skipBlanks();
      if (i != text.size()) bad();
      break;
    }
    default:
      throwEngineError(kStateBadValue, std::string("not a list of section numbers: a ") +
                                           store::valueTypeName(value.type()));
  }
  return numbers;
}

}  // namespace engine
