#include "LogCapture.h"

#include "platform/mod/ModMessageSink.h"

namespace tavtest {

LogCapture::LogCapture()
    : _handle(0), _savedThreshold(static_cast<int32_t>(ModMessageGetThreshold())) {
  ModMessageSetThreshold(ModMessageThreshold::Debug);
  _handle = ModMessageAttachSink(
      [this](ModMessageLevel level, const std::string& file, int line, const std::string& text) {
        std::lock_guard<std::mutex> guard(_mutex);
        _records.push_back(LogRecord{level, file, line, text});
      });
}

LogCapture::~LogCapture() {
  ModMessageDetachSink(_handle);
  ModMessageSetThreshold(static_cast<ModMessageThreshold>(_savedThreshold));
}

std::vector<LogRecord> LogCapture::records() const {
  std::lock_guard<std::mutex> guard(_mutex);
  return _records;
}

std::vector<std::string> LogCapture::texts() const {
  std::lock_guard<std::mutex> guard(_mutex);
  std::vector<std::string> result;
  result.reserve(_records.size());
  for (const LogRecord& record : _records) result.push_back(record.text);
  return result;
}

void LogCapture::clear() {
  std::lock_guard<std::mutex> guard(_mutex);
  _records.clear();
}

}  // namespace tavtest
