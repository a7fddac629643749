// The engine client: data sources, sessions, result sets and prepared
// statements. Two engines stand behind the same classes:
// - in process (Corvid::Server::Singleton::InProcess, DataSource::
//   createDataSource()): each database is the SQLite file
//   "<path>/<databaseName>.db", created on first use;
// - remote (Corvid::Client::Singleton::RemoteServer, DataSource::
//   createDataSource(hostName, portNumber)): each database is the PostgreSQL
//   database of that name on the server, created on first use.
//
// Statements are the store's SQL with `?` parameters, plus the engine's own
// forms, which the engine translates for each store: "START TRANSACTION"
// [" READ WRITE" | " READ ONLY" | " READ ONLY , USING SNAPSHOT"]
// [" , ISOLATION LEVEL " level], "COMMIT", "ROLLBACK",
// "CREATE FULLTEXT INDEX ON <table> ( <column> )", the predicate
// "CONTAINS ( <column> , ? )" and the select item "SECTIONS ( <column> )".
//
// Ownership: every object handed out is freed with release(), which closes it
// first. A result set keeps what it needs of its session alive, so releasing
// the session first is safe (the result set then fails on its next fetch).
//
// Threads: a data source may be shared by threads; a session, and the result
// sets made from it, are used by one thread at a time. ResultSet::cancel is
// the one call another thread may make, while the owner fetches.
//
// Failures: every failure throws Corvid::Exception::Object or a subclass
// (Corvid/Exception.h).
#ifndef CORVID_CLIENT_H
#define CORVID_CLIENT_H

#include <cstdint>
#include <vector>

#include "Corvid/Common.h"
#include "Mod/ModUnicodeString.h"

namespace Corvid::Client {

// Base of the client's objects.
class Object {
 public:
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  // Closes the object where it has close() and frees it. The pointer is
  // invalid afterwards.
  void release();

 protected:
  Object() = default;
  // Implementations close themselves here; release() is the only way in.
  virtual ~Object();
};

// A statement text bound to a database, run by any session of that database
// with Session::executePrepareStatement. The engine statements are parsed
// once at creation; each session prepares the store statement once and keeps
// it for later runs.
class PrepareStatement : public Object {
 public:
  virtual const ModUnicodeString& getDatabaseName() const = 0;
  virtual const ModUnicodeString& getStatement() const = 0;
};

// The result of one statement. Nothing runs until the first getNextTuple,
// so a long statement can be cancelled from the first fetch on.
class ResultSet : public Object {
 public:
  // What getNextTuple delivered.
  //   Data       a tuple: one value per result column, in column order.
  //   EndOfData  the statement's rows are exhausted; no tuple. The statement
  //              has finished in the store and its cursor is freed. The next
  //              call returns Success.
  //   Success    the statement has completed; no tuple. A statement without
  //              result columns (INSERT, UPDATE, DDL, transaction statements)
  //              answers Success to its first call; a query answers it to the
  //              call after EndOfData; every later call answers Success again.
  // So a caller that drains a query sees Data*, EndOfData, Success; the one
  // extra call after EndOfData delivers nothing.
  enum Status : int32_t { Data = 1, EndOfData = 2, Success = 3 };

  // Runs the statement on the first call, then delivers the next tuple
  // through `tuple` (set to null when no tuple is delivered). The tuple
  // belongs to the caller, who gives it back with releaseTuple. Values of a
  // column made by SECTIONS() are UnsignedIntegerArrayData; other values map
  // from the store: integers to IntegerData (Integer64Data outside 32 bits),
  // reals to DoubleData, texts to StringData, bytes to BinaryData, date-times
  // to DateTimeData, arrays to DataArrayData, NULL to NullData.
  // Throws the statement's failure; after cancel() it throws
  // Exception::Cancelled (also when the cancel arrived between two calls).
  virtual Status getNextTuple(Common::DataArrayData*& tuple /* OUT */) = 0;
  // The names of the statement's result columns, in order; empty for a
  // statement without result columns. Runs the statement when no tuple was
  // fetched yet, throwing its failure as getNextTuple would; the rows stay
  // for getNextTuple.
  virtual std::vector<ModUnicodeString> getColumnNames() = 0;
  // Frees a tuple that getNextTuple delivered; null is ignored. Values the
  // caller took from it (copies of its ObjectPointers) stay valid and
  // unchanged; the others may be reused by later fetches of this thread.
  static void releaseTuple(Common::DataArrayData* tuple);
  // Stops the statement: a getNextTuple running now, or the next one, throws
  // Exception::Cancelled. Any thread may call it while the owner fetches;
  // it returns once the running store call has been told to stop (waiting
  // at most about a second for it to take notice). Does nothing after the
  // statement completed. Never throws.
  virtual void cancel() = 0;
  // Frees the statement's cursor; later fetches answer Success. Never throws.
  virtual void close() = 0;
};

// One connection to one database.
class Session : public Object {
 public:
  // Translates `statement` (see the file comment), converts `parameters`
  // (one value per `?` in order; an empty pointer or NullData binds NULL)
  // and returns the result set that will run it. The caller releases it.
  // Throws Exception::Object at once for a statement the engine cannot
  // translate or a parameter it cannot bind.
  virtual ResultSet* executeStatement(const ModUnicodeString& statement,
                                      const Common::DataArrayData& parameters) = 0;
  // The same for a prepared statement of this session's database (another
  // database throws Exception::Object).
  virtual ResultSet* executePrepareStatement(const PrepareStatement* statement,
                                             const Common::DataArrayData& parameters) = 0;
  // Ends the session: an open transaction is rolled back and the connection
  // closed. Closing twice is harmless. Never throws.
  virtual void close() = 0;
  virtual const ModUnicodeString& getDatabaseName() const = 0;
};

class DataSource : public Object {
 public:
  // Protocol values for open().
  enum Protocol : int32_t { CurrentProtocol = 0 };

  // The in-process engine's data source. Throws Exception::Object when
  // Corvid::Server::Singleton::InProcess is not initialised.
  static DataSource* createDataSource();
  // A data source of the PostgreSQL server at `hostName` and `portNumber`.
  // `hostName` may carry the user as "user@host"; without it, and for the
  // password, libpq's conventions apply (PGUSER, PGPASSWORD, ~/.pgpass).
  // Throws Exception::Object when Corvid::Client::Singleton::RemoteServer is
  // not initialised.
  static DataSource* createDataSource(const ModUnicodeString& hostName, int portNumber);

  // Makes the data source usable. Only CurrentProtocol is known; another
  // value throws Exception::Object.
  virtual void open(int protocol) = 0;
  // Connects a new session to `databaseName` (letters, digits, '_', '-' and
  // '.', not starting with '.'), creating the database when it does not
  // exist. Throws Exception::Object when the data source is not open or the
  // name is not valid, the store's failure otherwise.
  virtual Session* createSession(const ModUnicodeString& databaseName) = 0;
  // Parses `statement` for `databaseName`; nothing is sent to the store yet.
  virtual PrepareStatement* createPrepareStatement(const ModUnicodeString& databaseName,
                                                   const ModUnicodeString& statement) = 0;
  // Makes the data source unusable for new sessions; sessions already made
  // go on. Never throws.
  virtual void close() = 0;
};

namespace Singleton {

// The client side of a remote engine.
class RemoteServer {
 public:
  // Starts the client. The remote client keeps no local files, so `path` is
  // only recorded; initialising twice is harmless.
  static void initialize(const ModUnicodeString& path);
  // Stops the client: later createDataSource(host, port) calls throw.
  // Sessions already made go on until they are closed.
  static void terminate();
};

}  // namespace Singleton
}  // namespace Corvid::Client

#endif  // CORVID_CLIENT_H
