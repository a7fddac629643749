#include "platform/engine/EngineError.h"

#include "Corvid/Exception.h"
#include "Mod/ModMessage.h"
#include "platform/store/Store.h"

namespace Corvid::Exception {

Object::Object(std::string sqlState, int64_t nativeCode, ModUnicodeString message)
    : _sqlState(std::move(sqlState)), _nativeCode(nativeCode), _message(std::move(message)) {}

Object::~Object() = default;

const char* Object::getClassName() const {
  return "Object";
}

ModUnicodeString Object::toString() const {
  std::u16string text = ModUtf8ToUtf16(getClassName());
  text += u" (";
  text += ModUtf8ToUtf16(_sqlState);
  text += u", ";
  text += ModUtf8ToUtf16(std::to_string(_nativeCode));
  text += u"): ";
  text += _message.str();
  return ModUnicodeString(std::move(text));
}

DiskFull::DiskFull(std::string sqlState, int64_t nativeCode, ModUnicodeString databaseName,
                   ModUnicodeString message)
    : Object(std::move(sqlState), nativeCode, std::move(message)),
      _databaseName(std::move(databaseName)) {}

const char* DiskFull::getClassName() const {
  return "DiskFull";
}

ModUnicodeString DiskFull::toString() const {
  std::u16string text = Object::toString().str();
  text += u" [database ";
  text += _databaseName.str();
  text += u"]";
  return ModUnicodeString(std::move(text));
}

const char* Deadlock::getClassName() const {
  return "Deadlock";
}
const char* UniquenessViolation::getClassName() const {
  return "UniquenessViolation";
}
const char* Cancelled::getClassName() const {
  return "Cancelled";
}
const char* ConnectionLost::getClassName() const {
  return "ConnectionLost";
}

}  // namespace Corvid::Exception

ModMessageStream& operator<<(ModMessageStream& stream, const Corvid::Exception::Object& exception) {
  return stream << exception.toString();
}

ModMessageStream& operator<<(ModMessageStream&& stream,
                             const Corvid::Exception::Object& exception) {
  return stream << exception.toString();
}

namespace engine {

void throwStoreError(const store::Error& error, const ModUnicodeString& databaseName) {
  namespace E = Corvid::Exception;
  ModUnicodeString message(ModUtf8ToUtf16(error.what()));
  const std::string& state = error.sqlState();
  const int64_t code = error.nativeCode();
  switch (error.errorClass()) {
    case store::ErrorClass::UniqueViolation:
      throw E::UniquenessViolation(state, code, std::move(message));
    case store::ErrorClass::Deadlock:
      throw E::Deadlock(state, code, std::move(message));
    case store::ErrorClass::DiskFull:
    case store::ErrorClass::LogFull:
      // A full transaction log is cured the same way as a full disk: free
      // space. Callers therefore see one class for both.
      throw E::DiskFull(state, code, databaseName, std::move(message));
    case store::ErrorClass::Cancelled:
      throw E::Cancelled(state, code, std::move(message));
    case store::ErrorClass::ConnectionLost:
      throw E::ConnectionLost(state, code, std::move(message));
    case store::ErrorClass::Other:
      // The store gave up waiting for a lock (SQLite busy outside a
      // transaction, PostgreSQL lock_timeout): like a deadlock, the cure is
      // to roll back and retry, so callers see it as one.
      if (state == "55P03") throw E::Deadlock(state, code, std::move(message));
      break;
    case store::ErrorClass::ConnectFailed:
      break;
  }
  throw E::Object(state, code, std::move(message));
}

void throwEngineError(const char* sqlState, const std::string& message) {
  throw Corvid::Exception::Object(sqlState, 0, ModUnicodeString(ModUtf8ToUtf16(message)));
}

}  // namespace engine
