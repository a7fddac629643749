// `tavodb engine`: one statement through the engine backend.
#ifndef TAVODB_TOOLS_ENGINE_COMMAND_H
#define TAVODB_TOOLS_ENGINE_COMMAND_H

#include <cstdint>
#include <string>
#include <vector>

#include "ResultTable.h"
#include "TavCommonTypes.h"

class OdbSessionCorvid;

namespace tavtool {

// Statement parameters given on the command line, as TavVariant records
// that point into storage this object owns.
//   null        NULL
//   i:42        integer (32 bits)       d:1.5     double
//   s:text      text                    x:00ff    binary, hex digits
//   t:2026-12-05 10:30:00.250           date-time (time and milliseconds optional)
//   g:{0C7FF16C-38E3-11D0-97AB-00C04FC2AD98}      GUID
//   anything else: an integer when it is one that fits in 32 bits, else text.
// Throws ToolFailure (E_INVALIDARG) for a malformed typed parameter.
class Parameters {
 public:
  explicit Parameters(const std::vector<std::string>& arguments);
  Parameters(const Parameters&) = delete;
  Parameters& operator=(const Parameters&) = delete;

  int count() const { return static_cast<int>(_records.size()); }
  const TavVariant* records() const { return _records.empty() ? nullptr : _records.data(); }

 private:
  TavVariant parse(const std::string& argument, size_t index);

  std::vector<std::u16string> _texts;
  std::vector<std::vector<uint8_t>> _bytes;
  std::vector<TavVariant> _records;
};

// Whether the statement is run as a query (a rowset) rather than staged as
// a command: it starts with SELECT, WITH, VALUES, PRAGMA, EXPLAIN, SHOW or
// TABLE, or has a RETURNING clause.
bool isQuery(const std::string& statement);

// Runs a query and collects its rows. types: one letter per column (s text,
// i integer, d double, b binary, t date-time, g GUID); columns past its end
// are read as text. Throws ToolFailure.
ResultTable runQuery(OdbSessionCorvid& session, const std::string& statement,
                     const Parameters& parameters, const std::string& types);


// Stages the statement with PutCommand and runs it with FlushCommand.
// Throws ToolFailure.
void runCommand(OdbSessionCorvid& session, const std::string& statement,
                const Parameters& parameters);

}  // namespace tavtool

#endif  // TAVODB_TOOLS_ENGINE_COMMAND_H
