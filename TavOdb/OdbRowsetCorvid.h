// The engine backend's rowset: runs one statement (a text or a prepared
// statement) on the engine session of an OdbSessionCorvid and hands its
// tuples to the caller one at a time. In section mode the first value of a
// row is a list of section numbers, collected with GetSectionNumbers.
//
// Threads: one thread at a time, except Cancel, which another thread may
// call (through OdbSessionCorvid::CancelCommand) while a row is fetched.
#ifndef TAVODB_ODB_ROWSET_CORVID_H
#define TAVODB_ODB_ROWSET_CORVID_H

#include <cstdint>
#include <vector>

#include "TavOdb/OdbRowset.h"

class OdbPrepareStatement;
namespace Corvid::Client {
class ResultSet;
}
namespace Corvid::Common {
class Data;
template <class T>
class ObjectPointer;
}  // namespace Corvid::Common

class TAVODB_API OdbRowsetCorvid : public OdbRowset {
 public:
  // Modes of GetNextRow.
  static constexpr int kAllColumns = 0;
  static constexpr int kSectionMode = 1;
  static constexpr int kFirstTwoColumns = 2;

  OdbRowsetCorvid();
  // Reads what is left of a partly read result, detaches from the session
  // and closes the result.
  ~OdbRowsetCorvid() override;

  // Runs command with params on session (an OdbSessionCorvid). fetchRows is
  // not used by the engine.
  TavResult Initialize(OdbSession* session, const char16_t* command, int fetchRows, int paramCount,
                       const TavVariant* params, int columnCount, TavVariant* columns) override;
  // Runs a prepared statement of session's database.
  TavResult Initialize(OdbSession* session, OdbPrepareStatement* statement, int fetchRows,
                       int paramCount, const TavVariant* params, int columnCount,
                       TavVariant* columns);
  // Mode kSectionMode: column 0 receives the number of section numbers of
  // the row's first value; kFirstTwoColumns fills at most two columns; any
  // other mode every column. TAV_E_NOTFOUND after the last row.
  TavResult GetNextRow(int mode) override;
  // TAV_E_NOTSUPPORTED.
  TavResult GetNextRow2(int skip, int mode) override;
  // OUT values[0..count): the section numbers of the last section-mode row;
  // count must be their number (E_INVALIDARG otherwise).
  TavResult GetSectionNumbers(TavVariant* values, int count) override;
  // Stops the running statement; the fetch in progress, or the next one,
  // fails. Callable from another thread.
  void Cancel();

  // For callers that do not know the result's shape in advance (tools):
  // OUT *names: the statement's result column names as string records
  // (release with TavFreeVariants); an empty array for a statement without
  // result columns. Runs the statement if no row was read yet.
  TavResult GetColumnNames(TavVariantArray** names);
  // Replaces the caller's column records after Initialize: the values in
  // the old ones are freed and later rows go into the new ones.
  TavResult BindColumns(int columnCount, TavVariant* columns);

 protected:
  // Reads and gives back every remaining tuple.
  void GetFullRow();

 private:
  void startRowset(OdbSession* session, int fetchRows, int columnCount, TavVariant* columns);
  void takeColumns(int columnCount, TavVariant* columns);
  // Frees column j's value and gives the record back the type the caller
  // asked for.
  void clearColumn(int j);
  // Reads value into column j (see _stringBuffers).
  TavResult readColumn(int j, const Corvid::Common::ObjectPointer<Corvid::Common::Data>& value);

  Corvid::Client::ResultSet* _pResultSet;
  int32_t _rowState;  // 1 rows may be pending, 0 exhausted, -1 failed
  int32_t _sectionCount;
  TavVariant* _pSections;
  // The column types the caller asked for, taken at the first row.
  std::vector<TavVariantType> _presetTypes;
  // The text buffer this rowset allocated for each column record and its
  // room in code units (without the NUL): a later row's text that fits is
  // copied into it instead of into a new buffer.
  struct StringBuffer {
    const char16_t* chars = nullptr;
    size_t room = 0;
  };
  std::vector<StringBuffer> _stringBuffers;
};

#endif  // TAVODB_ODB_ROWSET_CORVID_H
