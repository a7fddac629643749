#include "platform/engine/StatementTranslator.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>

#include "Mod/ModUnicodeString.h"
#include "platform/engine/EngineError.h"
#include "platform/engine/FullTextSql.h"
#include "platform/store/SqlText.h"

namespace engine {

namespace {

// ---------------------------------------------------------------- lexer ---

struct Token {
  enum class Kind { Space, Word, QuotedName, String, Parameter, Punct, Other };
  Kind kind;
  std::string text;
};

[[noreturn]] void syntaxError(const std::string& message) {
  throwEngineError(kStateSyntax, message);
}

// The end of the construct that starts at `start`, as a store::sql skip
// function gave it; text that ends before the construct does is refused.
std::size_t endOrFail(std::size_t end, const char* unterminated) {
  if (end == std::string_view::npos) syntaxError(unterminated);
  return end;
}

// Splits SQL into tokens; string literals, quoted names, comments and
// dollar-quoted bodies are single tokens, so a `?` or keyword inside them is
// never taken for one.
std::vector<Token> tokenize(const std::string& sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  const std::size_t n = sql.size();
  auto push = [&](Token::Kind kind, std::size_t begin, std::size_t end) {
    tokens.push_back(Token{kind, sql.substr(begin, end - begin)});
  };
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    const std::size_t begin = i;
    if (std::isspace(c)) {
      while (i < n && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
      push(Token::Kind::Space, begin, i);
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
      push(Token::Kind::Space, begin, i);
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      i = endOrFail(store::sql::skipBlockComment(sql, i), "unterminated comment");
      push(Token::Kind::Space, begin, i);
    } else if (c == '\'') {
      // E'...' strings take backslash escapes.
      const bool escapes = !tokens.empty() && tokens.back().kind == Token::Kind::Word &&
                           (tokens.back().text == "E" || tokens.back().text == "e");
      i = endOrFail(store::sql::skipQuoted(sql, i, escapes), "unterminated string literal");
      push(Token::Kind::String, begin, i);
    } else if (c == '"' || c == '`') {
      i = endOrFail(store::sql::skipQuoted(sql, i, false), "unterminated quoted name");
      push(Token::Kind::QuotedName, begin, i);
    } else if (c == '$') {
      const std::size_t end = store::sql::skipDollarQuoted(sql, i);
      if (end != 0) {
        i = endOrFail(end, "unterminated dollar-quoted string");
        push(Token::Kind::String, begin, i);
      } else {
        // A $n parameter of the store's own syntax, or a lone '$'.
        ++i;
        while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_')) ++i;
        push(Token::Kind::Other, begin, i);
      }
    } else if (c == '?') {
      ++i;
      if (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) {
        syntaxError("numbered parameters (?NNN) are not supported; use ?");
      }
      push(Token::Kind::Parameter, begin, i);
    } else if (store::sql::isIdentifierStart(static_cast<char>(c))) {
      while (i < n && store::sql::isIdentifierChar(sql[i])) ++i;
      push(Token::Kind::Word, begin, i);
    } else if (std::isdigit(c)) {
      while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
      push(Token::Kind::Other, begin, i);
    } else {
      ++i;
      push(Token::Kind::Punct, begin, i);
    }
  }
  return tokens;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A cursor over the significant tokens (no white space or comments).
class Reader {
 public:
  explicit Reader(const std::vector<Token>& tokens) {
    for (const Token& token : tokens) {
      if (token.kind != Token::Kind::Space) _tokens.push_back(&token);
    }
  }
  bool atEnd() const { return _position >= _tokens.size(); }
  const Token* peek(std::size_t ahead = 0) const {
    return _position + ahead < _tokens.size() ? _tokens[_position + ahead] : nullptr;
  }
  bool isKeyword(const char* word, std::size_t ahead = 0) const {
    const Token* token = peek(ahead);
    return token && token->kind == Token::Kind::Word && upper(token->text) == word;
  }
  bool isPunct(char c, std::size_t ahead = 0) const {
    const Token* token = peek(ahead);
    return token && token->kind == Token::Kind::Punct && token->text[0] == c;
  }
  bool acceptKeyword(const char* word) {
    if (!isKeyword(word)) return false;
    ++_position;
    return true;
  }
  bool acceptPunct(char c) {
    if (!isPunct(c)) return false;
    ++_position;
    return true;
  }
  void expectKeyword(const char* word, const char* context) {
    if (!acceptKeyword(word)) syntaxError(std::string("expected ") + word + " in " + context);
  }
  void expectPunct(char c, const char* context) {
    if (!acceptPunct(c)) syntaxError(std::string("expected '") + c + "' in " + context);
  }
  // A plain identifier: letters, digits and '_', not starting with a digit.
  std::string expectName(const char* context) {
    const Token* token = peek();
    if (!token || token->kind != Token::Kind::Word ||
        !std::all_of(token->text.begin(), token->text.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        })) {
      syntaxError(std::string("expected a plain name in ") + context);
    }
    ++_position;
    return token->text;
  }
  // The end of the statement: nothing or a single ';'.
  void expectEnd(const char* context) {
    acceptPunct(';');
    if (!atEnd()) syntaxError(std::string("unexpected text after ") + context);
  }

 private:
  std::vector<const Token*> _tokens;
  std::size_t _position = 0;
};

// ----------------------------------------------------------- transactions ---

std::shared_ptr<Translation> parseBegin(Reader& reader) {
  auto translation = std::make_shared<Translation>();
  translation->kind = Translation::Kind::Begin;
  bool accessMode = false, isolation = false, snapshot = false;
  std::optional<store::IsolationLevel> level;
  bool first = true;
  while (!reader.atEnd() && !reader.isPunct(';')) {
    // Characteristics are separated by commas; the library also puts one
    // before the isolation level when it names no access mode.
    if (!reader.acceptPunct(',') && !first) reader.expectPunct(',', "START TRANSACTION");
    first = false;
    if (reader.acceptKeyword("READ")) {
      if (accessMode) syntaxError("the access mode is given twice in START TRANSACTION");
      accessMode = true;
      if (reader.acceptKeyword("WRITE")) {
        translation->readOnly = false;
      } else {
        reader.expectKeyword("ONLY", "START TRANSACTION READ");
        translation->readOnly = true;
      }
    } else if (reader.acceptKeyword("USING")) {
      reader.expectKeyword("SNAPSHOT", "START TRANSACTION USING");
      if (snapshot) syntaxError("USING SNAPSHOT is given twice in START TRANSACTION");
      snapshot = true;
    } else if (reader.acceptKeyword("ISOLATION")) {
      reader.expectKeyword("LEVEL", "START TRANSACTION ISOLATION");
      if (isolation) syntaxError("the isolation level is given twice in START TRANSACTION");
      isolation = true;
      if (reader.acceptKeyword("SERIALIZABLE")) {
        level = store::IsolationLevel::Serializable;
      } else if (reader.acceptKeyword("REPEATABLE")) {
        reader.expectKeyword("READ", "ISOLATION LEVEL REPEATABLE");
        level = store::IsolationLevel::RepeatableRead;
      } else {
        reader.expectKeyword("READ", "ISOLATION LEVEL");
        if (reader.acceptKeyword("COMMITTED")) {
          level = store::IsolationLevel::ReadCommitted;
        } else {
          reader.expectKeyword("UNCOMMITTED", "ISOLATION LEVEL READ");
          level = store::IsolationLevel::ReadUncommitted;
        }
      }
    } else {
      syntaxError("unknown transaction characteristic in START TRANSACTION");
    }
  }
  reader.expectEnd("START TRANSACTION");
  if (snapshot && !(accessMode && translation->readOnly)) {
    syntaxError("USING SNAPSHOT needs READ ONLY");
  }
  translation->snapshot = snapshot;
  translation->level = level.value_or(store::IsolationLevel::ReadCommitted);
  // A snapshot is a repeatable read: the whole transaction sees one state,
  // so a weaker level asked for beside it is raised.
  if (snapshot && translation->level < store::IsolationLevel::RepeatableRead) {
    translation->level = store::IsolationLevel::RepeatableRead;
  }
  return translation;
}

// ------------------------------------------------------------ statements ---

bool isClauseWord(const std::string& upperWord) {
  static const std::set<std::string> words = {
      "WHERE",   "JOIN",      "INNER",   "LEFT",   "RIGHT",   "FULL",      "OUTER",  "CROSS",
      "NATURAL", "ON",        "USING",   "GROUP",  "ORDER",   "LIMIT",     "OFFSET", "UNION",
      "EXCEPT",  "INTERSECT", "SET",     "WINDOW", "HAVING",  "RETURNING", "FETCH",  "FOR",
      "VALUES",  "SELECT",    "INDEXED", "NOT",    "DEFAULT", "AS"};
  return words.count(upperWord) > 0;
}

bool isWord(const Token* token) {
  return token && token->kind == Token::Kind::Word;
}
bool isPunct(const Token* token, char c) {
  return token && token->kind == Token::Kind::Punct && token->text[0] == c;
}

// The tables of one statement (significant tokens), all lower case.
struct Tables {
  std::map<std::string, std::string> byName;  // alias (or table) -> table
  // Per table, the names its rows are reached by: the alias where it has
  // one, else the table name.
  std::map<std::string, std::set<std::string>> rowNames;
};

Tables collectTables(const std::vector<const Token*>& tokens) {
  Tables tables;
  auto at = [&](std::size_t i) { return i < tokens.size() ? tokens[i] : nullptr; };
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (!isWord(tokens[i])) continue;
    const std::string word = upper(tokens[i]->text);
    if (word != "FROM" && word != "JOIN" && word != "UPDATE" && word != "INTO") continue;
    std::size_t j = i + 1;
    for (;;) {
      if (!isWord(at(j)) || isClauseWord(upper(at(j)->text))) break;
      std::string table = lower(at(j)->text);
      ++j;
      while (isPunct(at(j), '.') && isWord(at(j + 1))) {  // schema.table
        table = lower(at(j + 1)->text);
        j += 2;
      }
      tables.byName.emplace(table, table);
      if (isWord(at(j)) && upper(at(j)->text) == "AS") ++j;
      if (isWord(at(j)) && !isClauseWord(upper(at(j)->text))) {
        const std::string alias = lower(at(j)->text);
        tables.byName[alias] = table;
        tables.rowNames[table].insert(alias);
        ++j;
      } else {
        tables.rowNames[table].insert(table);
      }
      // A comma continues a FROM list.
      if (word != "FROM" || !isPunct(at(j), ',')) break;
      ++j;
    }
  }
  return tables;
}

struct ColumnReference {
  std::string text;  // as written
  FullTextColumn column;
};

// Reads "[qualifier.]column" at tokens[i], advancing i.
ColumnReference readColumn(const std::vector<const Token*>& tokens, std::size_t& i,
                           const char* context) {
  auto at = [&](std::size_t k) { return k < tokens.size() ? tokens[k] : nullptr; };
  ColumnReference reference;
  if (!isWord(at(i))) syntaxError(std::string("expected a column name in ") + context);
  if (isPunct(at(i + 1), '.')) {
    if (!isWord(at(i + 2))) syntaxError(std::string("expected a column name in ") + context);
    reference.column.qualifier = at(i)->text;
    reference.column.column = lower(at(i + 2)->text);
    reference.text = at(i)->text + "." + at(i + 2)->text;
    i += 3;
  } else {
    reference.column.column = lower(at(i)->text);
    reference.text = at(i)->text;
    i += 1;
  }
  return reference;
}

void resolveTable(FullTextColumn& column, const Tables& tables, const char* context) {
  if (!column.qualifier.empty()) {
    const auto found = tables.byName.find(lower(column.qualifier));
    column.table = found != tables.byName.end() ? found->second : lower(column.qualifier);
    column.row = column.qualifier;
    return;
  }
  if (tables.rowNames.size() != 1) {
    syntaxError(std::string("qualify the column of ") + context +
                " with its table: the statement names " + std::to_string(tables.rowNames.size()) +
                " tables");
  }
  const auto& [table, rowNames] = *tables.rowNames.begin();
  if (rowNames.size() != 1) {
    syntaxError(std::string("qualify the column of ") + context +
                " with its table: the statement names " + table + " under several names");
  }
  column.table = table;
  column.row = *rowNames.begin();
}

void appendText(std::vector<Piece>& pieces, const std::string& text) {
  if (!pieces.empty() && pieces.back().kind == Piece::Kind::Text) {
    pieces.back().text += text;
  } else {
    Piece piece;
    piece.text = text;
    pieces.push_back(std::move(piece));
  }
}

// Whether the significant tokens first..last make a whole select item with
// no name of its own: nothing but the item's start before them, and the
// item's end after them.
bool isWholeItem(const std::vector<const Token*>& tokens, std::size_t first, std::size_t last) {
  const Token* before = first > 0 ? tokens[first - 1] : nullptr;
  const Token* after = last + 1 < tokens.size() ? tokens[last + 1] : nullptr;
  const bool starts =
      isPunct(before, ',') ||
      (isWord(before) && (upper(before->text) == "SELECT" || upper(before->text) == "DISTINCT" ||
                          upper(before->text) == "ALL"));
  const bool ends = !after || isPunct(after, ',') || isPunct(after, ';') ||
                    (isWord(after) && upper(after->text) == "FROM");
  return starts && ends;
}

std::string quoteName(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// Translates one statement of a batch (its tokens, white space included).
void translateOne(const std::vector<Token>& all, Translation& translation, bool last) {
  std::vector<const Token*> tokens;   // significant tokens
  std::vector<std::size_t> position;  // index in `all` of each significant token
  for (std::size_t k = 0; k < all.size(); ++k) {
    if (all[k].kind != Token::Kind::Space) {
      tokens.push_back(&all[k]);
      position.push_back(k);
    }
  }
  const auto tables = collectTables(tokens);
  auto at = [&](std::size_t k) { return k < tokens.size() ? tokens[k] : nullptr; };

  std::vector<Piece> pieces;
  int depth = 0;
  enum { BeforeSelect, InSelectList, AfterSelectList } select = BeforeSelect;
  std::size_t item = 0;
  bool starItemSeen = false;
  // SECTIONS items after a * item, counted from the end once the list ends.
  std::vector<std::size_t> countedFromEnd;
  auto endSelectList = [&]() {
    select = AfterSelectList;
    for (std::size_t index : countedFromEnd) {
      Translation::SectionColumn& section = translation.sectionColumns[index];
      section.position = item + 1 - section.position;
    }
  };
  std::size_t next = 0;  // next token of `all` to copy as text
  auto copyUpTo = [&](std::size_t end) {
    std::string text;
    for (; next < end; ++next) text += all[next].text;
    if (!text.empty()) appendText(pieces, text);
  };

  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token* token = tokens[i];
    if (isPunct(token, '(')) ++depth;
    if (isPunct(token, ')')) --depth;
    if (depth == 0 && isWord(token)) {
      const std::string word = upper(token->text);
      if (word == "SELECT" && select == BeforeSelect) {
        select = InSelectList;
      } else if (word == "FROM" && select == InSelectList) {
        endSelectList();
      }
    }
    if (depth == 0 && select == InSelectList && isPunct(token, ',')) ++item;
    if (depth == 0 && select == InSelectList && isPunct(token, '*') &&
        (isWholeItem(tokens, i, i) ||
         (i >= 2 && isPunct(tokens[i - 1], '.') && isWholeItem(tokens, i - 2, i)))) {
      if (!countedFromEnd.empty()) {
        syntaxError("SECTIONS() cannot stand between two * items");
      }
      starItemSeen = true;
    }

    if (token->kind == Token::Kind::Parameter) {
      copyUpTo(position[i]);
      Piece piece;
      piece.kind = Piece::Kind::Parameter;
      piece.parameter = translation.parameterCount++;
      pieces.push_back(std::move(piece));
      next = position[i] + 1;
      continue;
    }
    if (!isWord(token) || !isPunct(at(i + 1), '(')) continue;
    const std::string word = upper(token->text);
    if (word != "CONTAINS" && word != "SECTIONS") continue;

    copyUpTo(position[i]);
    const char* context = word == "CONTAINS" ? "CONTAINS()" : "SECTIONS()";
    std::size_t j = i + 2;
    ColumnReference reference = readColumn(tokens, j, context);
    resolveTable(reference.column, tables, context);
    Piece piece;
    piece.column = reference.column;
    piece.text = reference.text;
    if (word == "CONTAINS") {
      if (!isPunct(at(j), ',') || !at(j + 1) || at(j + 1)->kind != Token::Kind::Parameter) {
        syntaxError("CONTAINS() takes a column and a ? for the query");
      }
      j += 2;
      piece.kind = Piece::Kind::Contains;
      piece.parameter = translation.parameterCount++;
    } else {
      piece.kind = Piece::Kind::Sections;
      if (!(depth == 0 && select == InSelectList)) {
        syntaxError("SECTIONS() must be an item of the outermost select list");
      }
      if (last) {
        if (starItemSeen) countedFromEnd.push_back(translation.sectionColumns.size());
        translation.sectionColumns.push_back({item, starItemSeen});
      }
    }
    if (!isPunct(at(j), ')')) syntaxError(std::string("expected ')' to close ") + context);
    pieces.push_back(std::move(piece));
    next = position[j] + 1;
    if (depth == 0 && select == InSelectList && isWholeItem(tokens, i, j)) {
      // Named as written rather than after the store SQL it becomes.
      std::string name;
      for (std::size_t k = position[i]; k <= position[j]; ++k) name += all[k].text;
      appendText(pieces, " AS " + quoteName(name));
    }
    i = j;
  }
  copyUpTo(all.size());
  if (select == InSelectList) endSelectList();

  // SECTIONS reads the query of the CONTAINS on the same column.
  for (Piece& piece : pieces) {
    if (piece.kind != Piece::Kind::Sections) continue;
    const Piece* match = nullptr;
    for (const Piece& other : pieces) {
      if (other.kind == Piece::Kind::Contains && other.column.table == piece.column.table &&
          other.column.column == piece.column.column &&
          lower(other.column.row) == lower(piece.column.row)) {
        match = &other;
      }
    }
    if (!match) {
      syntaxError("SECTIONS(" + piece.text + ") needs CONTAINS(" + piece.text +
                  ", ?) in the same statement");
    }
    piece.parameter = match->parameter;
  }
  for (Piece& piece : pieces) {
    if (piece.kind == Piece::Kind::Text && !translation.pieces.empty() &&
        translation.pieces.back().kind == Piece::Kind::Text) {
      translation.pieces.back().text += piece.text;
    } else {
      translation.pieces.push_back(std::move(piece));
    }
  }
}

}  // namespace

std::shared_ptr<const Translation> translate(std::u16string_view statement, StoreKind store) {
  const std::string sql = ModUtf16ToUtf8(statement);
  const std::vector<Token> tokens = tokenize(sql);
  Reader reader(tokens);

  if (reader.isKeyword("START") && reader.isKeyword("TRANSACTION", 1)) {
    reader.acceptKeyword("START");
    reader.acceptKeyword("TRANSACTION");
    return parseBegin(reader);
  }
  if (reader.isKeyword("COMMIT") || reader.isKeyword("ROLLBACK")) {
    auto translation = std::make_shared<Translation>();
    translation->kind =
        reader.isKeyword("COMMIT") ? Translation::Kind::Commit : Translation::Kind::Rollback;
    reader.acceptKeyword(translation->kind == Translation::Kind::Commit ? "COMMIT" : "ROLLBACK");
    // Other forms (ROLLBACK TO SAVEPOINT ...) go to the store unchanged.
    if (reader.atEnd() || (reader.isPunct(';') && !reader.peek(1))) return translation;
  }
  if (reader.isKeyword("CREATE") && reader.isKeyword("FULLTEXT", 1)) {
    reader.acceptKeyword("CREATE");
    reader.acceptKeyword("FULLTEXT");
    reader.expectKeyword("INDEX", "CREATE FULLTEXT INDEX");
    reader.expectKeyword("ON", "CREATE FULLTEXT INDEX");
    const std::string table = reader.expectName("CREATE FULLTEXT INDEX");
    reader.expectPunct('(', "CREATE FULLTEXT INDEX");
    const std::string column = reader.expectName("CREATE FULLTEXT INDEX");
    reader.expectPunct(')', "CREATE FULLTEXT INDEX");
    reader.expectEnd("CREATE FULLTEXT INDEX");
    auto translation = std::make_shared<Translation>();
    translation->kind = Translation::Kind::CreateFullTextIndex;
    translation->ddl = fullTextIndexStatements(store, table, column);
    return translation;
  }

  // Split the batch at top-level ';' and translate each statement.
  auto translation = std::make_shared<Translation>();
  std::vector<std::vector<Token>> statements(1);
  int depth = 0;
  for (const Token& token : tokens) {
    statements.back().push_back(token);
    if (isPunct(&token, '(')) ++depth;
    if (isPunct(&token, ')')) --depth;
    if (depth == 0 && isPunct(&token, ';')) statements.emplace_back();
  }
  std::size_t nonEmpty = 0;
  std::size_t lastNonEmpty = 0;
  for (std::size_t k = 0; k < statements.size(); ++k) {
    const bool empty = std::all_of(statements[k].begin(), statements[k].end(), [](const Token& t) {
      return t.kind == Token::Kind::Space || isPunct(&t, ';');
    });
    if (!empty) {
      ++nonEmpty;
      lastNonEmpty = k;
    }
  }
  translation->singleStatement = nonEmpty <= 1;
  for (std::size_t k = 0; k < statements.size(); ++k) {
    translateOne(statements[k], *translation, k == lastNonEmpty);
  }
  for (const Piece& piece : translation->pieces) {
    if (piece.kind == Piece::Kind::Text) {
      translation->staticSql += piece.text;
    } else if (piece.kind == Piece::Kind::Parameter) {
      translation->staticSql += '?';
    } else {
      translation->isStatic = false;
    }
  }
  if (!translation->isStatic) translation->staticSql.clear();
  return translation;
}

void bindTranslation(const Translation& translation, StoreKind store,
                     std::vector<store::Value>& parameters, std::string& sql,
                     std::vector<store::Value>& storeParameters) {
  if (parameters.size() != translation.parameterCount) {
    throwEngineError("07001", "the statement takes " + std::to_string(translation.parameterCount) +
                                  " parameters, " + std::to_string(parameters.size()) + " given");
  }
  sql.clear();
  storeParameters.clear();
  storeParameters.reserve(parameters.size());
  for (const Piece& piece : translation.pieces) {
    switch (piece.kind) {
      case Piece::Kind::Text:
        sql += piece.text;
        break;
      case Piece::Kind::Parameter:
        sql += '?';
        storeParameters.push_back(std::move(parameters[piece.parameter]));
        break;
      case Piece::Kind::Contains:
      case Piece::Kind::Sections: {
        const store::Value& query = parameters[piece.parameter];
        std::vector<std::u16string> terms;
        if (query.type() == store::ValueType::Text) {
          terms = parseFullTextQuery(query.asText());
        } else if (!query.isNull()) {
          throwEngineError(kStateBadValue, "the query of CONTAINS() must be a text");
        }
        bindFullText(piece, store, terms, sql, storeParameters);
        break;
      }
    }
  }
}

}  // namespace engine
