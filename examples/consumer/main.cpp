// A program built only against the installed headers and library: derives
// a data source, and runs a small engine query from start to finish.
#include <TavCommon.h>
#include <TavOdb/OdbDataSourceCorvid.h>
#include <TavOdb/OdbRowsetCorvid.h>
#include <TavOdb/OdbSessionCorvid.h>
#include <TavOdb/TavOdb.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class ConsumerDataSource : public OdbDataSource {
 public:
  TavResult Initialize(const char16_t*, const char16_t*, const char16_t*,
                       const char16_t*) override {
    return S_OK;
  }
  TavResult CreateSession(OdbSession** session) override {
    *session = nullptr;
    return TAV_E_NOTSUPPORTED;
  }
};

bool runEngineQuery(const std::u16string& directory) {
  if (OdbDataSource::InitializeCorvid(directory.c_str()) != S_OK) return false;
  bool ok = false;
  {
    OdbDataSourceCorvid dataSource;
    dataSource.Initialize(u"engine", u"documents", u"", u"");
    OdbSession* session = nullptr;
    dataSource.CreateSession(&session);
    if (session != nullptr && session->Initialize(&dataSource, ODB_POOL_CACHED) == S_OK) {
      TavVariant id{TAV_VT_INT, 1, {}};
      id.value.intValue = 42;
      session->PutCommand(u"CREATE TABLE Doc (id INTEGER, title TEXT)", 0, nullptr);
      session->PutCommand(u"INSERT INTO Doc VALUES (?, 'hello')", 1, &id);
      OdbRowset* rowset = nullptr;
      if (session->FlushCommand() == S_OK && session->CreateRowset(&rowset) == S_OK) {
        TavVariant columns[2] = {{TAV_VT_INT, 0, {}}, {TAV_VT_STRING, 0, {}}};
        if (rowset->Initialize(session, u"SELECT id, title FROM Doc", 1, 0, nullptr, 2, columns) ==
                S_OK &&
            rowset->GetNextRow(0) == S_OK) {
          ok = columns[0].value.intValue == 42 &&
               std::u16string(columns[1].value.string.chars) == u"hello" &&
               rowset->GetNextRow(0) == TAV_E_NOTFOUND;
        }
        session->ReleaseRowset(&rowset);
      }
    }
    dataSource.ReleaseSession(&session);
  }
  OdbDataSource::TerminateCorvid();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool registered = false;
  {
    ConsumerDataSource dataSource;
    registered = OdbDataSource::checkEnable(&dataSource) == TAV_TRUE;
  }
  char16_t* copy = nullptr;
  const bool copied = TavCopyString(&copy, u"document") == S_OK && TavStrlen(copy) == 8;
  TavFreeMemory(copy);
  const std::string directory = argc > 1 ? argv[1] : ".";
  const bool queried = runEngineQuery(std::u16string(directory.begin(), directory.end()));
  std::printf("fnTavOdb=%d registered=%d copied=%d queried=%d\n", fnTavOdb(), registered, copied,
              queried);
  return fnTavOdb() == 42 && registered && copied && queried ? EXIT_SUCCESS : EXIT_FAILURE;
}
