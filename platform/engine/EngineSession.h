// The engine's session, result set and prepared statement over one store
// connection. Private to platform/engine.
#ifndef TAVODB_PLATFORM_ENGINE_ENGINE_SESSION_H
#define TAVODB_PLATFORM_ENGINE_ENGINE_SESSION_H

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Corvid/Client.h"
#include "platform/engine/StatementTranslator.h"
#include "platform/store/Store.h"

namespace engine {

// What a session shares with its result sets, which may outlive it. Used by
// the session's thread only, except connection->cancel(), which any thread
// may call (the connection object lives as long as this core).
struct SessionCore {
  SessionCore(StoreKind storeKind, ModUnicodeString database,
              std::unique_ptr<store::Connection> storeConnection);

  // The translation of `statement`, parsed once per session.
  std::shared_ptr<const Translation> translation(const ModUnicodeString& statement);
  // A statement kept prepared for its SQL text; entries stay where they are
  // while in use.
  struct CachedStatement {
    std::unique_ptr<store::Statement> statement;
    bool inUse = false;
  };

  // A prepared store statement for `sql`: the cached one when it is free,
  // else a new one. `cached` is the cache entry to give back with giveBack,
  // or null when the statement belongs to the caller (then `owned` holds it).
  store::Statement* borrowStatement(const std::string& sql, CachedStatement*& cached /* OUT */,
                                    std::unique_ptr<store::Statement>& owned /* OUT */);
  static void giveBack(CachedStatement& cached) { cached.inUse = false; }

  const StoreKind store;
  const ModUnicodeString databaseName;
  const std::unique_ptr<store::Connection> connection;
  bool closed = false;

 private:
  std::unordered_map<std::u16string, std::shared_ptr<const Translation>> _translations;
  // The statement translated last, checked before the map: a session mostly
  // runs one statement again and again, and comparing costs less than
  // hashing.
  std::u16string _lastStatement;
  std::shared_ptr<const Translation> _lastTranslation;
  std::unordered_map<std::string, CachedStatement> _statements;
  // The entry borrowed last and its SQL, checked before the map for the
  // same reason as _lastStatement. Map entries stay where they are until
  // erased, and erasing forgets this one.
  CachedStatement* _lastBorrowed = nullptr;
  std::string _lastBorrowedSql;
};

class EnginePrepareStatement final : public Corvid::Client::PrepareStatement {
 public:
  EnginePrepareStatement(StoreKind store, ModUnicodeString databaseName,
                         ModUnicodeString statement);
  const ModUnicodeString& getDatabaseName() const override { return _databaseName; }
  const ModUnicodeString& getStatement() const override { return _statement; }
  StoreKind store() const { return _store; }
  const std::shared_ptr<const Translation>& translation() const { return _translation; }

 private:
  const StoreKind _store;
  const ModUnicodeString _databaseName;
  const ModUnicodeString _statement;
  const std::shared_ptr<const Translation> _translation;
};

class EngineResultSet final : public Corvid::Client::ResultSet {
 public:
  EngineResultSet(std::shared_ptr<SessionCore> core, std::shared_ptr<const Translation> translation,
                  std::vector<store::Value> parameters);
  ~EngineResultSet() override;
  // A statement run after another reuses the memory of the last result set
  // this thread freed.
  static void* operator new(std::size_t size);
  static void operator delete(void* memory) noexcept;

  Status getNextTuple(Corvid::Common::DataArrayData*& tuple) override;
  std::vector<ModUnicodeString> getColumnNames() override;
  void cancel() override;
  void close() override;

 private:
  enum class State { Pending, Fetching, Ended, Done };
  // Marks the owner's thread as inside the store, so that cancel() knows to
  // interrupt it; throws Cancelled when a cancel is already pending.
  class StoreCall {
   public:
    explicit StoreCall(EngineResultSet& resultSet);
    ~StoreCall();
    StoreCall(const StoreCall&) = delete;
    StoreCall& operator=(const StoreCall&) = delete;

   private:
    EngineResultSet& _resultSet;
  };

  Status start();
  Status fetch(Corvid::Common::DataArrayData*& tuple);
  void runFullTextIndex();
  // Inside a handler: ends the statement and throws the failure being
  // handled, a store error as the engine's exception.
  [[noreturn]] void abandon();
  // Frees the cursor and gives the statement back; never throws.
  void finish() noexcept;
  [[noreturn]] void throwCancelled() const;

  const std::shared_ptr<SessionCore> _core;
  const std::shared_ptr<const Translation> _translation;
  std::vector<store::Value> _parameters;
  State _state = State::Pending;
  std::unique_ptr<store::Cursor> _cursor;
  std::string _builtSql;              // the store SQL when it depends on the parameters
  const std::string* _sql = nullptr;  // the store SQL of the run: _builtSql or the translation's
  SessionCore::CachedStatement* _cachedStatement = nullptr;
  std::unique_ptr<store::Statement> _ownedStatement;
  bool _borrowed = false;
  std::vector<bool> _sectionColumn;
  std::vector<ModUnicodeString> _columnNames;

  // The owner's thread sets _running before each store call and then reads
  // _cancelRequested; cancel() sets _cancelRequested and then reads
  // _running. Both are sequentially consistent, so at least one side sees
  // the other: either the call does not start, or cancel() interrupts it.
  // Clearing _running after the call is a plain release store (once per
  // fetched row): a cancel() that sees it late only sends the
  // store's cancel once more, which reaches a store call only if one has
  // begun since, just as when cancel() reads _running a moment before the
  // call returns.
  std::atomic<bool> _cancelRequested{false};
  std::atomic<bool> _running{false};
};

class EngineSession final : public Corvid::Client::Session {
 public:
  explicit EngineSession(std::shared_ptr<SessionCore> core) : _core(std::move(core)) {}
  ~EngineSession() override;

  Corvid::Client::ResultSet* executeStatement(
      const ModUnicodeString& statement, const Corvid::Common::DataArrayData& parameters) override;
  Corvid::Client::ResultSet* executePrepareStatement(
      const Corvid::Client::PrepareStatement* statement,
      const Corvid::Common::DataArrayData& parameters) override;
  void close() override;
  const ModUnicodeString& getDatabaseName() const override { return _core->databaseName; }

 private:
  Corvid::Client::ResultSet* run(std::shared_ptr<const Translation> translation,
                                 const Corvid::Common::DataArrayData& parameters);
  const std::shared_ptr<SessionCore> _core;
};

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_ENGINE_SESSION_H
