// The tool's hold on the engine backend: starts the engine for the process,
// makes one data source and one session on it, and undoes all of it in
// reverse order when destroyed. Used by one thread.
#ifndef TAVODB_TOOLS_ENGINE_CONNECTION_H
#define TAVODB_TOOLS_ENGINE_CONNECTION_H

#include <memory>
#include <stdexcept>
#include <string>

#include "TavCommonTypes.h"

class OdbDataSourceCorvid;
class OdbSessionCorvid;

namespace tavtool {

// A failed library call: its result and what the tool was doing.
class ToolFailure : public std::runtime_error {
 public:
  ToolFailure(TavResult rc, const std::string& message) : std::runtime_error(message), _rc(rc) {}
  TavResult result() const { return _rc; }

 private:
  TavResult _rc;
};

// Throws ToolFailure unless rc is S_OK.
void check(TavResult rc, const std::string& doing);

// How the library is configured for this process. It reads its
// configuration from the environment, so these are set before its first use.
struct EngineSettings {
  bool verbose = false;  // keep the library's log (stderr by default)
  std::string remote;    // "HOST:PORT" or "USER@HOST:PORT" of a remote engine; empty: in process
};
// Throws ToolFailure (E_INVALIDARG) for a malformed remote address.
void applySettings(const EngineSettings& settings);

class EngineConnection {
 public:
  // directory: where the in-process engine keeps its databases (the remote
  // engine only records it); database: the engine database, created on
  // first use. Throws ToolFailure.
  EngineConnection(const std::string& directory, const std::string& database);
  ~EngineConnection();
  EngineConnection(const EngineConnection&) = delete;
  EngineConnection& operator=(const EngineConnection&) = delete;

  OdbSessionCorvid& session() { return *_session; }

 private:
  void release();

  std::unique_ptr<OdbDataSourceCorvid> _dataSource;
  OdbSessionCorvid* _session = nullptr;  // released through _dataSource
};

}  // namespace tavtool

#endif  // TAVODB_TOOLS_ENGINE_CONNECTION_H
