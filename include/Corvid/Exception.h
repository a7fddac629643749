// The engine's exceptions. Every failure of the engine client is thrown as
// Corvid::Exception::Object or one of its subclasses; callers that treat some
// failures specially catch the subclasses first. Each carries the store's
// normalised SQLSTATE ("23505", "40P01", ...; "HY000" for the engine's own
// errors), the store's native error number (0 when it has none) and a
// message.
#ifndef CORVID_EXCEPTION_H
#define CORVID_EXCEPTION_H

#include <cstdint>
#include <string>

#include "Mod/ModUnicodeString.h"

class ModMessageStream;

namespace Corvid::Exception {

class Object {
 public:
  Object(std::string sqlState, int64_t nativeCode, ModUnicodeString message);
  virtual ~Object();
  Object(const Object&) = default;
  Object& operator=(const Object&) = default;

  // "Object", "DiskFull", ... as log lines show it.
  virtual const char* getClassName() const;
  const std::string& getSqlState() const { return _sqlState; }
  int64_t getNativeCode() const { return _nativeCode; }
  const ModUnicodeString& getMessage() const { return _message; }
  // "<class> (<SQLSTATE>, <native code>): <message>".
  virtual ModUnicodeString toString() const;

 private:
  std::string _sqlState;
  int64_t _nativeCode;
  ModUnicodeString _message;
};

// The store ran out of space for its data or its transaction log.
class DiskFull : public Object {
 public:
  DiskFull(std::string sqlState, int64_t nativeCode, ModUnicodeString databaseName,
           ModUnicodeString message);
  const char* getClassName() const override;
  // The two texts and the number a caller logs: the database that could not
  // grow, the store's message, and the store's native error number (the
  // SQLite result code; 0 on PostgreSQL).
  const char16_t* getDatabaseName() const { return _databaseName.c_str(); }
  const char16_t* getDescription() const { return getMessage().c_str(); }
  int getErrorNumber() const { return static_cast<int>(getNativeCode()); }
  ModUnicodeString toString() const override;

 private:
  ModUnicodeString _databaseName;
};

// The store chose this transaction as the loser of a conflict; it has been
// rolled back and may be retried as a whole.
class Deadlock : public Object {
 public:
  using Object::Object;
  const char* getClassName() const override;
};

// A unique or primary key constraint refused the row.
class UniquenessViolation : public Object {
 public:
  using Object::Object;
  const char* getClassName() const override;
};

// ResultSet::cancel stopped the statement.
class Cancelled : public Object {
 public:
  using Object::Object;
  const char* getClassName() const override;
};

// The connection to the store broke; the session can no longer be used.
class ConnectionLost : public Object {
 public:
  using Object::Object;
  const char* getClassName() const override;
};

}  // namespace Corvid::Exception

// Writes exception.toString() into a log statement; the second form serves a
// statement that starts with the exception (ModErrorMessage << exception).
ModMessageStream& operator<<(ModMessageStream& stream, const Corvid::Exception::Object& exception);
ModMessageStream& operator<<(ModMessageStream&& stream, const Corvid::Exception::Object& exception);

#endif  // CORVID_EXCEPTION_H
