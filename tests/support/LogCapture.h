// Captures the messages the library delivers, for tests that check exact
// log texts. While a LogCapture lives every level is delivered (the
// threshold is forced to debug and restored afterwards), so tests see
// messages whatever the configuration says.
#ifndef TAVODB_TEST_LOG_CAPTURE_H
#define TAVODB_TEST_LOG_CAPTURE_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Mod/ModMessage.h"

namespace tavtest {

struct LogRecord {
  ModMessageLevel level;
  std::string file;  // source file name without directory and extension
  int line;
  std::string text;  // the whole message as delivered at ModEndl
};

// Thread-safe: messages may arrive from any thread while records() is read.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<LogRecord> records() const;
  std::vector<std::string> texts() const;
  void clear();

 private:
  mutable std::mutex _mutex;  // guards _records
  std::vector<LogRecord> _records;
  uint64_t _handle;
  int32_t _savedThreshold;
};

}  // namespace tavtest

#endif  // TAVODB_TEST_LOG_CAPTURE_H
