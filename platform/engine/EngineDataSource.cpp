// The engine's data sources and the two singletons that start and stop the
// in-process engine and the remote client.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "Corvid/Client.h"
#include "Corvid/Exception.h"
#include "Corvid/Server.h"
#include "platform/engine/EngineError.h"
#include "platform/engine/EngineSession.h"

namespace engine {

namespace {

// Tries of CREATE DATABASE while the template database is busy.
constexpr int kCreateAttempts = 50;

// The state of both singletons. Guarded by engineMutex(); initialise and
// terminate are meant for one thread, but data sources read the state from
// any thread.
struct EngineState {
  std::optional<std::string> inProcessDirectory;  // set while the in-process engine runs
  bool remoteClient = false;                      // set while the remote client runs
};

std::mutex& engineMutex() {
  static std::mutex mutex;
  return mutex;
}

EngineState& engineState() {
  static EngineState state;
  return state;
}

std::optional<std::string> inProcessDirectory() {
  std::lock_guard<std::mutex> lock(engineMutex());
  return engineState().inProcessDirectory;
}

// Database names become file names and PostgreSQL database names, so they
// are kept to characters that are safe in both.
void checkDatabaseName(const ModUnicodeString& name) {
  const std::u16string& text = name.str();
  bool valid = !text.empty() && text.size() <= 63 && text[0] != u'.';
  for (char16_t c : text) {
    valid = valid && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                      (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'.');
  }
  if (!valid) {
    throwEngineError(kStateBadValue, "invalid database name \"" + name.getString() +
                                         "\": use 1 to 63 letters, digits, '_', '-' or '.'");
  }
}

class EngineDataSource final : public Corvid::Client::DataSource {
 public:
  // In process.
  EngineDataSource() : _store(StoreKind::Sqlite) {}
  // Remote.
  explicit EngineDataSource(store::PostgresParameters server)
      : _store(StoreKind::Postgres), _server(std::move(server)) {}
  ~EngineDataSource() override { close(); }

  void open(int protocol) override {
    if (protocol != CurrentProtocol) {
      throwEngineError(kStateGeneral, "unknown protocol " + std::to_string(protocol));
    }
    _open.store(true);
  }

  Corvid::Client::Session* createSession(const ModUnicodeString& databaseName) override {
    checkOpen();
    checkDatabaseName(databaseName);
    std::unique_ptr<store::Connection> connection;
    try {
      connection =
          _store == StoreKind::Sqlite ? openInProcess(databaseName) : openRemote(databaseName);
    } catch (const store::Error& error) {
      throwStoreError(error, databaseName);
    }
    return new EngineSession(
        std::make_shared<SessionCore>(_store, databaseName, std::move(connection)));
  }

  Corvid::Client::PrepareStatement* createPrepareStatement(
      const ModUnicodeString& databaseName, const ModUnicodeString& statement) override {
    checkOpen();
    checkDatabaseName(databaseName);
    return new EnginePrepareStatement(_store, databaseName, statement);
  }

  void close() override { _open.store(false); }

 private:
  void checkOpen() const {
    if (!_open.load()) throwEngineError(kStateNotOpen, "the data source is not open");
  }

  std::unique_ptr<store::Connection> openInProcess(const ModUnicodeString& databaseName) const {
    const std::optional<std::string> directory = inProcessDirectory();
    if (!directory) throwEngineError(kStateNotOpen, "the in-process engine is not running");
    return store::openSqlite(*directory, databaseName.getString());
  }

  // A database that does not exist yet is created, as the in-process engine
  // creates its files on first use. libpq reports a missing database only in
  // its message, so the catalogue of the maintenance database decides.
  std::unique_ptr<store::Connection> openRemote(const ModUnicodeString& databaseName) const {
    store::PostgresParameters parameters = _server;
    parameters.database = databaseName.getString();
    try {
      return store::openPostgres(parameters);
    } catch (const store::Error& error) {
      if (error.errorClass() != store::ErrorClass::ConnectFailed) throw;
      store::PostgresParameters maintenance = _server;
      maintenance.database = "postgres";
      std::unique_ptr<store::Connection> connection;
      try {
        connection = store::openPostgres(maintenance);
      } catch (const store::Error&) {
        throw error;  // the server is not reachable: report the first failure
      }
      const std::vector<store::Value> name{store::Value::text(databaseName.str())};
      auto existing = connection->query("SELECT 1 FROM pg_database WHERE datname = ?", name);
      // When it exists (perhaps made by another session since), connecting
      // again either works or repeats the real failure.
      const bool exists = existing->next();
      existing.reset();
      for (int attempt = 1; !exists; ++attempt) {
        try {
          // The name is checked to hold no quote; CREATE DATABASE takes no
          // parameters.
          connection->execute("CREATE DATABASE \"" + parameters.database + "\"");
          break;
        } catch (const store::Error& createError) {
          // Another session created it first (duplicate_database, or the
          // catalogue's unique index when both ran at once).
          if (createError.sqlState() == "42P04" || createError.sqlState() == "23505") break;
          // The template database is busy while another session copies it
          // for its own CREATE DATABASE: wait for it, a few seconds at most.
          if (createError.sqlState() != "55006" || attempt == kCreateAttempts) throw;
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
      }
    }
    return store::openPostgres(parameters);
  }

  const StoreKind _store;
  const store::PostgresParameters _server;
  std::atomic<bool> _open{false};
};

}  // namespace

}  // namespace engine

namespace Corvid::Client {

Object::~Object() = default;

void Object::release() {
  delete this;
}

DataSource* DataSource::createDataSource() {
  if (!engine::inProcessDirectory()) {
    engine::throwEngineError(engine::kStateNotOpen, "the in-process engine is not running");
  }
  return new engine::EngineDataSource();
}

DataSource* DataSource::createDataSource(const ModUnicodeString& hostName, int portNumber) {
  {
    std::lock_guard<std::mutex> lock(engine::engineMutex());
    if (!engine::engineState().remoteClient) {
      engine::throwEngineError(engine::kStateNotOpen, "the remote client is not running");
    }
  }
  if (portNumber < 0 || portNumber > 65535) {
    engine::throwEngineError(engine::kStateBadValue,
                             "invalid port number " + std::to_string(portNumber));
  }
  store::PostgresParameters server;
  std::string host = hostName.getString();
  const std::size_t at = host.rfind('@');
  if (at != std::string::npos) {
    server.user = host.substr(0, at);
    host.erase(0, at + 1);
  }
  server.host = host;
  server.port = portNumber;
  return new engine::EngineDataSource(std::move(server));
}

void Singleton::RemoteServer::initialize(const ModUnicodeString&) {
  std::lock_guard<std::mutex> lock(engine::engineMutex());
  engine::engineState().remoteClient = true;
}

void Singleton::RemoteServer::terminate() {
  std::lock_guard<std::mutex> lock(engine::engineMutex());
  engine::engineState().remoteClient = false;
}

}  // namespace Corvid::Client

namespace Corvid::Server::Singleton {

void InProcess::initialize(bool requireExistingDirectory, const ModUnicodeString& path) {
  namespace fs = std::filesystem;
  const std::string directory = path.getLength() == 0 ? std::string(".") : path.getString();
  std::error_code error;
  if (!fs::is_directory(directory, error)) {
    if (fs::exists(directory, error)) {
      engine::throwEngineError(engine::kStateGeneral, directory + " is not a directory");
    }
    if (requireExistingDirectory) {
      engine::throwEngineError(engine::kStateGeneral,
                               "the directory " + directory + " does not exist");
    }
    fs::create_directories(directory, error);
    if (error) {
      engine::throwEngineError(engine::kStateGeneral,
                               "cannot create " + directory + ": " + error.message());
    }
  }
  std::lock_guard<std::mutex> lock(engine::engineMutex());
  engine::engineState().inProcessDirectory = directory;
}

void InProcess::terminate() {
  std::lock_guard<std::mutex> lock(engine::engineMutex());
  engine::engineState().inProcessDirectory.reset();
}

}  // namespace Corvid::Server::Singleton
