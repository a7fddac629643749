#include "ResultTable.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "ToolText.h"

namespace tavtool {
namespace {

std::string realText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string arrayElementText(const Cell& element) {
  if (element.kind == Cell::Kind::Null) return "NULL";
  const std::string text = cellText(element, "NULL");
  const bool plain = !text.empty() && element.kind != Cell::Kind::Array &&
                     text.find_first_of(",{}\" \t\n\\") == std::string::npos;
  if (plain) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

std::string tableText(const Cell& cell) {
  std::string out;
  for (char c : cellText(cell, "NULL")) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

bool isNumber(const Cell& cell) {
  return cell.kind == Cell::Kind::Integer || cell.kind == Cell::Kind::Real;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

nlohmann::ordered_json jsonValue(const Cell& cell) {
  switch (cell.kind) {
    case Cell::Kind::Null:
      return nullptr;
    case Cell::Kind::Integer:
      return cell.integer;
    case Cell::Kind::Real:
      return cell.real;
    case Cell::Kind::Text:
      return cell.text;
    case Cell::Kind::Array: {
      auto array = nlohmann::ordered_json::array();
      for (const Cell& element : cell.elements) array.push_back(jsonValue(element));
      return array;
    }
  }
  return nullptr;
}

}  // namespace

std::string cellText(const Cell& cell, const std::string& null) {
  switch (cell.kind) {
    case Cell::Kind::Null:
      return null;
    case Cell::Kind::Integer:
      return std::to_string(cell.integer);
    case Cell::Kind::Real:
      return realText(cell.real);
    case Cell::Kind::Text:
      return cell.text;
    case Cell::Kind::Array: {
      std::string out = "{";
      for (size_t i = 0; i < cell.elements.size(); ++i) {
        if (i > 0) out += ',';
        out += arrayElementText(cell.elements[i]);
      }
      return out + '}';
    }
  }
  return null;
}

void printTable(std::ostream& out, const ResultTable& table) {
  const size_t count = table.columns.size();
  std::vector<std::vector<std::string>> texts;
  std::vector<size_t> widths(count);
  for (size_t c = 0; c < count; ++c) widths[c] = displayWidth(table.columns[c]);
  for (const auto& row : table.rows) {
    auto& line = texts.emplace_back();
    for (size_t c = 0; c < count; ++c) {
      line.push_back(tableText(row[c]));
      widths[c] = std::max(widths[c], displayWidth(line.back()));
    }
  }
  auto pad = [&](const std::string& text, size_t width, bool right) {
    const std::string fill(width - displayWidth(text), ' ');
    return right ? fill + text : text + fill;
  };
  auto emit = [&](auto cellOf) {
    std::string line;
    for (size_t c = 0; c < count; ++c) {
      if (c > 0) line += " | ";
      line += cellOf(c);
    }
    // Trailing blanks of the last column carry nothing.
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
  };
  emit([&](size_t c) { return pad(table.columns[c], widths[c], false); });
  std::string rule;
  for (size_t c = 0; c < count; ++c) {
    if (c > 0) rule += "-+-";
    rule += std::string(widths[c], '-');
  }
  out << rule << '\n';
  for (size_t r = 0; r < texts.size(); ++r) {
    emit([&](size_t c) { return pad(texts[r][c], widths[c], isNumber(table.rows[r][c])); });
  }
  out << '(' << table.rows.size() << (table.rows.size() == 1 ? " row)" : " rows)") << '\n';
}

void printCsv(std::ostream& out, const ResultTable& table) {
  auto emit = [&](auto fieldOf) {
    for (size_t c = 0; c < table.columns.size(); ++c) {
      if (c > 0) out << ',';
      out << csvField(fieldOf(c));
    }
    out << '\n';
  };
  emit([&](size_t c) { return table.columns[c]; });
  for (const auto& row : table.rows) emit([&](size_t c) { return cellText(row[c], ""); });
}

void printJson(std::ostream& out, const ResultTable& table) {
  auto rows = nlohmann::ordered_json::array();
  for (const auto& row : table.rows) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (size_t c = 0; c < table.columns.size(); ++c) object[table.columns[c]] = jsonValue(row[c]);
    rows.push_back(std::move(object));
  }
  // Invalid UTF-8 cannot come from the library's UTF-16, but a replacement
  // character is still better than an exception here.
  out << rows.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace tavtool
