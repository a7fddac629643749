#include "EngineCommand.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <regex>

#include "EngineConnection.h"
#include "TavCommon.h"
#include "TavOdb/OdbRowsetCorvid.h"
#include "TavOdb/OdbSessionCorvid.h"
#include "ToolText.h"

namespace tavtool {
namespace {

[[noreturn]] void badParameter(size_t index, const std::string& argument, const char* why) {
  throw ToolFailure(E_INVALIDARG,
                    "parameter " + std::to_string(index + 1) + " \"" + argument + "\": " + why);
}

// The whole text as a Number; out of range counts as not a number.
template <class Number>
bool parseNumber(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && stop == end;
}

std::string upperWord(const std::string& statement, size_t& position) {
  // "(SELECT ...) UNION ..." is a query too: skip the opening parentheses.
  while (
      position < statement.size() &&
      (std::isspace(static_cast<unsigned char>(statement[position])) || statement[position] == '('))
    ++position;
  std::string word;
  while (position < statement.size() &&
         std::isalpha(static_cast<unsigned char>(statement[position])))
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(statement[position++])));
  return word;
}

std::string hexText(const void* data, uint32_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint32_t i = 0; i < size; ++i) {
    const auto byte = static_cast<const uint8_t*>(data)[i];
    out += digits[byte >> 4];
    out += digits[byte & 15];
  }
  return out;
}

Cell toCell(const TavVariant& value) {
  Cell cell;
  if (value.hasValue == 0) return cell;
  switch (value.type) {
    case TAV_VT_INT:
    case TAV_VT_INT_ALT:
      cell.kind = Cell::Kind::Integer;
      cell.integer = value.value.intValue;
      break;
    case TAV_VT_DOUBLE:
      cell.kind = Cell::Kind::Real;
      cell.real = value.value.doubleValue;
      break;
    case TAV_VT_STRING:
      cell.kind = Cell::Kind::Text;
      cell.text = toUtf8(std::u16string_view(value.value.string.chars, value.value.string.length));
      break;
    case TAV_VT_BINARY:
      cell.kind = Cell::Kind::Text;
      cell.text = hexText(value.value.binary.data, value.value.binary.size);
      break;
    case TAV_VT_DATETIME: {
      const TavDateTime& t = value.value.dateTime;
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month,
                    t.day, t.hour, t.minute, t.second, t.millisecond);
      cell.kind = Cell::Kind::Text;
      cell.text = buffer;
      break;
    }
    case TAV_VT_GUID: {
      char16_t* text = nullptr;
      check(TavGuidToString(&text, value.value.guidValue), "formatting a GUID");
      cell.kind = Cell::Kind::Text;
      cell.text = toUtf8(text);
      TavFreeMemory(text);
      break;
    }
    case TAV_VT_ARRAY:
      cell.kind = Cell::Kind::Array;
      if (value.value.array != nullptr) {
        for (int32_t i = 0; i < value.value.array->count; ++i)
          cell.elements.push_back(toCell(value.value.array->elements[i]));
      }
      break;
  }
  return cell;
}

TavVariantType columnType(char letter) {
  switch (letter) {
    case 's':
      return TAV_VT_STRING;
    case 'i':
      return TAV_VT_INT;
    case 'd':
      return TAV_VT_DOUBLE;
    case 'b':
      return TAV_VT_BINARY;
    case 't':
      return TAV_VT_DATETIME;
    case 'g':
      return TAV_VT_GUID;
    default:
      throw ToolFailure(E_INVALIDARG, std::string("--types: unknown column type '") + letter +
                                          "' (use s, i, d, b, t or g)");
  }
}

}  // namespace

Parameters::Parameters(const std::vector<std::string>& arguments) {
  // Records point into _texts and _bytes: reserve so they never move.
  _texts.reserve(arguments.size());
  _bytes.reserve(arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) _records.push_back(parse(arguments[i], i));
}

TavVariant Parameters::parse(const std::string& argument, size_t index) {
  TavVariant record{};
  record.type = TAV_VT_STRING;
  if (argument == "null") return record;
  record.hasValue = 1;
  const bool typed = argument.size() >= 2 && argument[1] == ':' &&
                     std::string("idsxtg").find(argument[0]) != std::string::npos;
  const std::string body = typed ? argument.substr(2) : argument;
  const char kind = typed ? argument[0] : (parseNumber(body, record.value.intValue) ? 'i' : 's');
  switch (kind) {
    case 'i':
      record.type = TAV_VT_INT;
      if (!parseNumber(body, record.value.intValue))
        badParameter(index, argument, "not a 32-bit integer");
      break;
    case 'd':
      record.type = TAV_VT_DOUBLE;
      if (!parseNumber(body, record.value.doubleValue))
        badParameter(index, argument, "not a number");
      break;
    case 'x': {
      record.type = TAV_VT_BINARY;
      auto& bytes = _bytes.emplace_back();
      if (body.size() % 2 != 0) badParameter(index, argument, "odd number of hex digits");
      for (size_t p = 0; p < body.size(); p += 2) {
        uint8_t byte = 0;
        const char* end = body.data() + p + 2;
        if (std::from_chars(body.data() + p, end, byte, 16).ptr != end)
          badParameter(index, argument, "not hex digits");
        bytes.push_back(byte);
      }
      record.value.binary.size = static_cast<uint32_t>(bytes.size());
      record.value.binary.data = bytes.empty() ? nullptr : bytes.data();
      break;
    }
    case 't': {
      record.type = TAV_VT_DATETIME;
      static const std::regex pattern(
          R"((\d{4})-(\d{2})-(\d{2})(?:[ T](\d{2}):(\d{2}):(\d{2})(?:\.(\d{1,3}))?)?)");
      std::smatch match;
      if (!std::regex_match(body, match, pattern)) {
        badParameter(index, argument, "not YYYY-MM-DD[ HH:MM:SS[.mmm]]");
      }
      auto part = [&](int n) { return match[n].matched ? std::stoi(match[n].str()) : 0; };
      std::string millis = match[7].matched ? match[7].str() : "0";
      millis.resize(3, '0');  // ".25" is 250 milliseconds
      record.value.dateTime = {static_cast<int16_t>(part(1)),          static_cast<int8_t>(part(2)),
                               static_cast<int8_t>(part(3)),           static_cast<int8_t>(part(4)),
                               static_cast<int8_t>(part(5)),           static_cast<int8_t>(part(6)),
                               static_cast<int16_t>(std::stoi(millis))};
      break;
    }
    case 'g':
      record.type = TAV_VT_GUID;
      if (TavStringToGuid(&record.value.guidValue, toUtf16(body).c_str()) != S_OK)
        badParameter(index, argument, "not a braced GUID");
      break;
    default: {
      const std::u16string& text = _texts.emplace_back(toUtf16(body));
      record.value.string.chars = const_cast<char16_t*>(text.c_str());
      record.value.string.length = static_cast<uint32_t>(text.size());
      break;
    }
  }
  return record;
}

bool isQuery(const std::string& statement) {
  size_t position = 0;
  const std::string first = upperWord(statement, position);
  for (const char* word : {"SELECT", "WITH", "VALUES", "PRAGMA", "EXPLAIN", "SHOW", "TABLE"}) {
    if (first == word) return true;
  }
  static const std::regex returning(R"(\bRETURNING\b)", std::regex::icase);
  return std::regex_search(statement, returning);
}

ResultTable runQuery(OdbSessionCorvid& session, const std::string& statement,
                     const Parameters& parameters, const std::string& types) {
  ResultTable table;
  // The rowset frees the values it placed in these records, so they outlive it.
  std::vector<TavVariant> columns;
  OdbRowset* created = nullptr;
  check(session.CreateRowset(&created), "creating a rowset");
  auto release = [&session](OdbRowset* rowset) { session.ReleaseRowset(&rowset); };
  std::unique_ptr<OdbRowset, decltype(release)> holder(created, release);
  if (created == nullptr) throw ToolFailure(E_OUTOFMEMORY, "creating a rowset failed");
  auto* rowset = static_cast<OdbRowsetCorvid*>(created);

  // The shape of the result is unknown until the statement runs: start with
  // no columns, ask for the names, then bind one record per column.
  check(rowset->Initialize(&session, toUtf16(statement).c_str(), 100, parameters.count(),
                           parameters.records(), 0, nullptr),
        "running the statement");
  TavVariantArray* names = nullptr;
  check(rowset->GetColumnNames(&names), "reading the result's column names");
  std::unique_ptr<TavVariantArray, void (*)(TavVariantArray*)> namesHolder(
      names, [](TavVariantArray* array) { TavFreeVariants(array); });
  for (int32_t i = 0; i < names->count; ++i) {
    const TavVariant& name = names->elements[i];
    table.columns.push_back(
        toUtf8(std::u16string_view(name.value.string.chars, name.value.string.length)));
  }
  if (types.size() > table.columns.size()) {
    throw ToolFailure(E_INVALIDARG, "--types names " + std::to_string(types.size()) +
                                        " columns, the result has " +
                                        std::to_string(table.columns.size()));
  }
  for (size_t c = 0; c < table.columns.size(); ++c) {
    TavVariant record{};
    record.type = c < types.size() ? columnType(types[c]) : TAV_VT_STRING;
    columns.push_back(record);
  }
  if (columns.empty()) return table;
  check(rowset->BindColumns(static_cast<int>(columns.size()), columns.data()),
        "binding the columns");

  TavResult rc = S_OK;
  while ((rc = rowset->GetNextRow(OdbRowsetCorvid::kAllColumns)) == S_OK) {
    auto& row = table.rows.emplace_back();
    for (const TavVariant& column : columns) row.push_back(toCell(column));
  }
  if (rc != TAV_E_NOTFOUND) check(rc, "reading row " + std::to_string(table.rows.size() + 1));
  return table;
}

void runCommand(OdbSessionCorvid& session, const std::string& statement,
                const Parameters& parameters) {
  check(session.PutCommand(toUtf16(statement).c_str(), parameters.count(), parameters.records()),
        "staging the statement");
  check(session.FlushCommand(), "running the statement");
}

}  // namespace tavtool
