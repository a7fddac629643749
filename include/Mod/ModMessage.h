// The base library's message log. A message is written as a sequence of log
// statements (ModErrorMessage << item, ...), each holding the log lock while
// it runs; the items of one thread are collected and delivered as one whole
// line at ModEndl, so messages of different threads never interleave.
//
// The level comes from the configuration key TavOdbLogLevel (error, normal,
// debug or off; default normal) and the destination from TavOdbLogFile (a
// file appended to; empty or absent means stderr), read through ModParameter
// on first use. Each line reads
//   2026-01-31 12:00:00.123 [error] [<thread id>] OdbSession:120 <message>
// with the level shown as error, info (normal) or debug.
//
// The log lock is held while the items of a statement are evaluated: an
// item must not take another lock that a logging thread may hold.
#ifndef MOD_MESSAGE_H
#define MOD_MESSAGE_H

#include <cstdint>
#include <string>

class ModUnicodeString;
class ModException;

enum class ModMessageLevel : int32_t { Error = 0, Normal = 1, Debug = 2 };

enum class ModManipulator : int32_t { Endl, Hex, Dec, ShiftJis };
inline constexpr ModManipulator ModEndl = ModManipulator::Endl;
inline constexpr ModManipulator ModHex = ModManipulator::Hex;
inline constexpr ModManipulator ModDec = ModManipulator::Dec;
// Selects the character code of later text; UTF-8 is the only code here.
inline constexpr ModManipulator ModShiftJis = ModManipulator::ShiftJis;

// One log statement: holds the log lock from construction to destruction.
// A message begins at the first item a thread writes while it has none in
// progress and takes that statement's level, file and line; it may span
// several statements and ends at ModEndl. A message whose level is not
// logged is dropped whole. ModHex and ModDec apply to the later integers of
// the same message; ModEndl returns to decimal. Under ModHex an integer is
// written in lower case without prefix, a negative one as the unsigned value
// of its own width. A null text pointer is written as "(null)", a pointer as
// 0x-prefixed hex. Logging never throws except std::bad_alloc.
class ModMessageStream {
 public:
  ModMessageStream(ModMessageLevel level, const char* file, int line);
  ~ModMessageStream();
  ModMessageStream(const ModMessageStream&) = delete;
  ModMessageStream& operator=(const ModMessageStream&) = delete;

  ModMessageStream& operator<<(const char* text);
  ModMessageStream& operator<<(char character);  // the character, not its code
  ModMessageStream& operator<<(const std::string& text);
  ModMessageStream& operator<<(const char16_t* text);
  ModMessageStream& operator<<(const ModUnicodeString& text);
  ModMessageStream& operator<<(const ModException& exception);
  ModMessageStream& operator<<(int value);
  ModMessageStream& operator<<(unsigned value);
  ModMessageStream& operator<<(long value);
  ModMessageStream& operator<<(unsigned long value);
  ModMessageStream& operator<<(long long value);
  ModMessageStream& operator<<(unsigned long long value);
  ModMessageStream& operator<<(double value);
  ModMessageStream& operator<<(const void* pointer);
  ModMessageStream& operator<<(ModManipulator manipulator);

 private:
  // Starts a message with this statement's level and place unless the
  // thread already has one in progress; says whether its items are kept.
  bool beginMessage();

  bool _enabled;  // this statement's level passes the threshold
  ModMessageLevel _level;
  const char* _file;
  int _line;
};

class ModMessageSelection {
 public:
  static ModMessageStream error(const char* file, int line);
  static ModMessageStream normal(const char* file, int line);
  static ModMessageStream debug(const char* file, int line);
};

class ModErrorHandle {
 public:
  // Whether messages of `level` are delivered under the current configuration.
  static bool shouldOutputMessage(ModMessageLevel level);
};

// The source file's name without directory and extension, as messages show it.
#define ModErrorMessage ModMessageSelection::error(__FILE_NAME__, __LINE__)
#define ModNormalMessage ModMessageSelection::normal(__FILE_NAME__, __LINE__)
#define ModDebugMessage ModMessageSelection::debug(__FILE_NAME__, __LINE__)

#endif  // MOD_MESSAGE_H
