// The base library's message log. A message is written as a sequence of log
// statements (ModErrorMessage << item, ...), each holding the log lock while
// it runs; the items of one thread are collected and delivered as one whole
// line at ModEndl, so messages of different threads never interleave.
//
// The level (error, normal, debug, off) and destination (stderr or a file)
// come from the configuration keys TavOdbLogLevel and TavOdbLogFile.
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
class ModMessageStream {
 public:
  ModMessageStream(ModMessageLevel level, const char* file, int line);
  ~ModMessageStream();
  ModMessageStream(const ModMessageStream&) = delete;
  ModMessageStream& operator=(const ModMessageStream&) = delete;

  ModMessageStream& operator<<(const char* text);
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
  bool _enabled;
};

class ModMessageSelection {
 public:
  static ModMessageStream error(const char* file, int line);
  static ModMessageStream normal(const char* file, int line);
  static ModMessageStream debug(const char* file, int line);
};

class ModErrorHandle {
 public:
  static bool shouldOutputMessage(ModMessageLevel level);
};

// The source file's name without directory and extension, as messages show it.
#define ModErrorMessage ModMessageSelection::error(__FILE_NAME__, __LINE__)
#define ModNormalMessage ModMessageSelection::normal(__FILE_NAME__, __LINE__)
#define ModDebugMessage ModMessageSelection::debug(__FILE_NAME__, __LINE__)

#endif  // MOD_MESSAGE_H
