// The rows of one statement as the tool prints them, and the three ways it
// prints them: an aligned table, CSV and JSON.
#ifndef TAVODB_TOOLS_RESULT_TABLE_H
#define TAVODB_TOOLS_RESULT_TABLE_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tavtool {

// One value of a result: SQL NULL, a number, a text or an engine array.
struct Cell {
  enum class Kind { Null, Integer, Real, Text, Array };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string text;            // UTF-8; binary values are hex digits here
  std::vector<Cell> elements;  // Kind::Array
};

struct ResultTable {
  std::vector<std::string> columns;
  std::vector<std::vector<Cell>> rows;
};

// The text of a cell in table and CSV output: numbers in their shortest
// exact form, arrays as {a,b} (elements quoted when they hold a comma, a
// brace, a quote, a blank or nothing), NULL as `null`.
std::string cellText(const Cell& cell, const std::string& null);

// Columns separated by " | ", a dashed line under the names, numbers
// right-aligned, newlines and tabs shown as \n and \t, then "(N rows)".
void printTable(std::ostream& out, const ResultTable& table);
// A header line, then one line per row; fields quoted the RFC 4180 way
// when needed; NULL as an empty field.
void printCsv(std::ostream& out, const ResultTable& table);
// An array of objects keyed by column name; numbers, texts, arrays and null
// as JSON values.
void printJson(std::ostream& out, const ResultTable& table);

}  // namespace tavtool

#endif  // TAVODB_TOOLS_RESULT_TABLE_H
