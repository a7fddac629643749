#include "EngineConnection.h"

#include <charconv>
#include <cstdlib>

#include "TavOdb/OdbDataSourceCorvid.h"
#include "TavOdb/OdbSessionCorvid.h"
#include "ToolText.h"

namespace tavtool {

void check(TavResult rc, const std::string& doing) {
  if (rc != S_OK) throw ToolFailure(rc, doing + " failed");
}

void applySettings(const EngineSettings& settings) {
  // The library logs every failure itself; the tool reports them in its own
  // words, so the log stays quiet unless asked for.
  if (!settings.verbose) setenv("TavOdbLogLevel", "off", 1);
  if (settings.remote.empty()) return;
  const size_t colon = settings.remote.rfind(':');
  int port = 0;
  const char* digits = colon == std::string::npos ? nullptr : settings.remote.c_str() + colon + 1;
  const char* end = settings.remote.c_str() + settings.remote.size();
  if (digits == nullptr || colon == 0 || std::from_chars(digits, end, port).ptr != end ||
      port < 1 || port > 65535) {
    throw ToolFailure(E_INVALIDARG, "--remote wants HOST:PORT, got \"" + settings.remote + "\"");
  }
  setenv("TavOdbCorvidConnection", "2", 1);
  setenv("TavOdbCorvidHostName", settings.remote.substr(0, colon).c_str(), 1);
  setenv("TavOdbCorvidPortNumber", digits, 1);
}

EngineConnection::EngineConnection(const std::string& directory, const std::string& database) {
  check(OdbDataSource::InitializeCorvid(toUtf16(directory).c_str()), "starting the engine");
  try {
    _dataSource = std::make_unique<OdbDataSourceCorvid>();
    // The first string only keys the client cache; the second names the database.
    check(_dataSource->Initialize(u"tavodb", toUtf16(database).c_str(), u"", u""),
          "opening the data source");
    OdbSession* session = nullptr;
    check(_dataSource->CreateSession(&session), "creating a session");
    if (session == nullptr) throw ToolFailure(E_OUTOFMEMORY, "creating a session failed");
    _session = static_cast<OdbSessionCorvid*>(session);
    check(_session->Initialize(_dataSource.get(), ODB_POOL_CACHED), "initialising the session");
    // Connect now, so that a wrong address or database name is reported as such.
    check(_session->Init_Client(), "connecting to database \"" + database + "\"");
  } catch (...) {
    release();
    throw;
  }
}

EngineConnection::~EngineConnection() {
  release();
}

void EngineConnection::release() {
  if (_session != nullptr) {
    OdbSession* session = _session;
    _dataSource->ReleaseSession(&session);
    _session = nullptr;
  }
  _dataSource.reset();
  OdbDataSource::TerminateCorvid();
}

}  // namespace tavtool
