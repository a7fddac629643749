#include "Mod/ModMessage.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <atomic>
#include <charconv>
#include <map>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Mod/ModCriticalSection.h"
#include "Mod/ModException.h"
#include "Mod/ModParameter.h"
#include "Mod/ModUnicodeString.h"
#include "platform/mod/ModMessageSink.h"

namespace {

constexpr const char* kLevelKey = "TavOdbLogLevel";
constexpr const char* kFileKey = "TavOdbLogFile";
constexpr const char* kPattern = "%Y-%m-%d %H:%M:%S.%e [%l] [%t] %s:%# %v";

struct Record {
  ModMessageLevel level;
  std::string file;
  int line;
  std::string text;
};

struct LogState {
  // The log lock: held by every log statement. Guards everything below
  // except the two atomics, which are written under it and read without.
  ModCriticalSection lock;
  std::shared_ptr<spdlog::logger> logger;
  bool configuring = false;
  // Messages ended while the configuration is being read (the configuration
  // source may log); delivered once the destination is known.
  std::vector<Record> held;
  std::map<uint64_t, ModMessageSinkFunction> sinks;
  uint64_t nextSinkHandle = 1;

  std::atomic<bool> configured{false};
  std::atomic<int32_t> threshold{static_cast<int32_t>(ModMessageThreshold::Normal)};
};

LogState& logState() {
  // Never destroyed: static destructors of other units may still log.
  static LogState* state = new LogState;
  return *state;
}

// The message a thread is building.
struct ThreadMessage {
  bool active = false;
  bool enabled = false;
  bool hex = false;
  ModMessageLevel level = ModMessageLevel::Error;
  std::string file;
  int line = 0;
  std::string text;
};

thread_local ThreadMessage t_message;

bool passes(const LogState& state, ModMessageLevel level) {
  return static_cast<int32_t>(level) <= state.threshold.load(std::memory_order_relaxed);
}

spdlog::level::level_enum spdlogLevel(ModMessageLevel level) {
  switch (level) {
    case ModMessageLevel::Error:
      return spdlog::level::err;
    case ModMessageLevel::Normal:
      return spdlog::level::info;
    case ModMessageLevel::Debug:
      return spdlog::level::debug;
  }
  return spdlog::level::err;
}

// "dir/OdbSession.cpp" -> "OdbSession": messages name the source file
// without directory and extension.
std::string sourceName(const char* file) {
  if (file == nullptr) return {};
  std::string_view name(file);
  if (const size_t slash = name.rfind('/'); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  if (const size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0) {
    name = name.substr(0, dot);
  }
  return std::string(name);
}

void deliverLocked(LogState& state, Record record) {
  if (state.configuring) {
    state.held.push_back(std::move(record));
    return;
  }
  if (!passes(state, record.level)) return;
  state.logger->log(spdlog::source_loc{record.file.c_str(), record.line, ""},
                    spdlogLevel(record.level), spdlog::string_view_t(record.text));
  for (const auto& [handle, sink] : state.sinks)
    sink(record.level, record.file, record.line, record.text);
}

std::string lowerTrimmed(std::string text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  const size_t end = text.find_last_not_of(" \t\r\n");
  text = begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Reads the level and destination; must run under the log lock.
void configureLocked(LogState& state) {
  // Cleared on every exit, or a failed attempt would hold messages forever;
  // the next statement tries again.
  struct ConfiguringScope {
    LogState& target;
    explicit ConfiguringScope(LogState& s) : target(s) { target.configuring = true; }
    ~ConfiguringScope() { target.configuring = false; }
  } scope(state);
  std::vector<std::string> complaints;

  ModMessageThreshold threshold = ModMessageThreshold::Normal;
  if (std::string text; ModParameter::getString(kLevelKey, text)) {
    const std::string level = lowerTrimmed(text);
    if (level == "error") {
      threshold = ModMessageThreshold::Error;
    } else if (level == "normal") {
      threshold = ModMessageThreshold::Normal;
    } else if (level == "debug") {
      threshold = ModMessageThreshold::Debug;
    } else if (level == "off") {
      threshold = ModMessageThreshold::Off;
    } else {
      complaints.push_back(std::string(kLevelKey) + " \"" + text +
                           "\" is not one of error, normal, debug, off; using normal");
    }
  }

  spdlog::sink_ptr sink;
  if (std::string path; ModParameter::getString(kFileKey, path) && !path.empty()) {
    try {
      sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, false);
    } catch (const spdlog::spdlog_ex& error) {
      // Losing the log entirely is worse than writing it to stderr.
      complaints.push_back(std::string(kFileKey) + " \"" + path +
                           "\" cannot be opened, logging to stderr: " + error.what());
    }
  }
  if (!sink) sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();

  // Not registered with spdlog: a host process may use spdlog itself.
  auto logger = std::make_shared<spdlog::logger>("tavodb", std::move(sink));
  logger->set_pattern(kPattern);
  logger->set_level(spdlog::level::trace);  // filtering happens before spdlog
  logger->flush_on(spdlog::level::trace);   // a crash must not lose the last lines
  state.logger = std::move(logger);
  state.threshold.store(static_cast<int32_t>(threshold), std::memory_order_relaxed);
  state.configured.store(true, std::memory_order_release);
  state.configuring = false;

  std::vector<Record> held = std::move(state.held);
  state.held.clear();
  for (Record& record : held) deliverLocked(state, std::move(record));
  for (std::string& complaint : complaints) {
    deliverLocked(state,
                  Record{ModMessageLevel::Error, "ModMessage", __LINE__, std::move(complaint)});
  }
}

void ensureConfiguredLocked(LogState& state) {
  if (!state.configured.load(std::memory_order_acquire) && !state.configuring) {
    configureLocked(state);
  }
}

void ensureConfigured(LogState& state) {
  if (state.configured.load(std::memory_order_acquire)) return;
  ModAutoCriticalSection guard(state.lock);
  ensureConfiguredLocked(state);
}

template <typename Integer>
void appendInteger(ThreadMessage& message, Integer value) {
  char buffer[32];
  std::to_chars_result result;
  if (message.hex) {
    result = std::to_chars(buffer, buffer + sizeof buffer,
                           static_cast<std::make_unsigned_t<Integer>>(value), 16);
  } else {
    result = std::to_chars(buffer, buffer + sizeof buffer, value);
  }
  message.text.append(buffer, result.ptr);
}

}  // namespace

ModMessageStream::ModMessageStream(ModMessageLevel level, const char* file, int line)
    : _enabled(false), _level(level), _file(file), _line(line) {
  LogState& state = logState();
  state.lock.lock();
  try {
    ensureConfiguredLocked(state);
  } catch (...) {
    state.lock.unlock();
    throw;
  }
  // While the configuration is read nothing is known yet; keep everything
  // and let delivery filter.
  _enabled = state.configuring || passes(state, level);
}

ModMessageStream::~ModMessageStream() {
  logState().lock.unlock();
}

bool ModMessageStream::beginMessage() {
  ThreadMessage& message = t_message;
  if (!message.active) {
    message.active = true;
    message.enabled = _enabled;
    message.hex = false;
    message.level = _level;
    message.file = sourceName(_file);
    message.line = _line;
    message.text.clear();
  }
  return message.enabled;
}

ModMessageStream& ModMessageStream::operator<<(const char* text) {
  if (beginMessage()) t_message.text += text != nullptr ? text : "(null)";
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(char character) {
  if (beginMessage()) t_message.text += character;
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(const std::string& text) {
  if (beginMessage()) t_message.text += text;
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(const char16_t* text) {
  if (beginMessage()) t_message.text += text != nullptr ? ModUtf16ToUtf8(text) : "(null)";
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(const ModUnicodeString& text) {
  if (beginMessage()) t_message.text += ModUtf16ToUtf8(text.str());
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(const ModException& exception) {
  if (beginMessage()) t_message.text += exception.toString();
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(int value) {
  if (beginMessage()) appendInteger(t_message, value);
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(unsigned value) {
  if (beginMessage()) appendInteger(t_message, value);
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(long value) {
  if (beginMessage()) appendInteger(t_message, value);
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(unsigned long value) {
  if (beginMessage()) appendInteger(t_message, value);
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(long long value) {
  if (beginMessage()) appendInteger(t_message, value);
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(unsigned long long value) {
  if (beginMessage()) appendInteger(t_message, value);
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(double value) {
  if (beginMessage()) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    t_message.text.append(buffer, result.ptr);
  }
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(const void* pointer) {
  if (beginMessage()) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, reinterpret_cast<uintptr_t>(pointer), 16);
    t_message.text += "0x";
    t_message.text.append(buffer, result.ptr);
  }
  return *this;
}

ModMessageStream& ModMessageStream::operator<<(ModManipulator manipulator) {
  const bool enabled = beginMessage();
  ThreadMessage& message = t_message;
  switch (manipulator) {
    case ModManipulator::Hex:
      message.hex = true;
      break;
    case ModManipulator::Dec:
      message.hex = false;
      break;
    case ModManipulator::ShiftJis:
      break;  // text is always UTF-8
    case ModManipulator::Endl:
      message.active = false;
      if (enabled) {
        deliverLocked(logState(), Record{message.level, std::move(message.file), message.line,
                                         std::move(message.text)});
      }
      message.text.clear();
      break;
  }
  return *this;
}

ModMessageStream ModMessageSelection::error(const char* file, int line) {
  return ModMessageStream(ModMessageLevel::Error, file, line);
}

ModMessageStream ModMessageSelection::normal(const char* file, int line) {
  return ModMessageStream(ModMessageLevel::Normal, file, line);
}

ModMessageStream ModMessageSelection::debug(const char* file, int line) {
  return ModMessageStream(ModMessageLevel::Debug, file, line);
}

bool ModErrorHandle::shouldOutputMessage(ModMessageLevel level) {
  LogState& state = logState();
  ensureConfigured(state);
  return passes(state, level);
}

uint64_t ModMessageAttachSink(ModMessageSinkFunction sink) {
  LogState& state = logState();
  ModAutoCriticalSection guard(state.lock);
  const uint64_t handle = state.nextSinkHandle++;
  state.sinks.emplace(handle, std::move(sink));
  return handle;
}

void ModMessageDetachSink(uint64_t handle) {
  LogState& state = logState();
  ModAutoCriticalSection guard(state.lock);
  state.sinks.erase(handle);
}

ModMessageThreshold ModMessageGetThreshold() {
  LogState& state = logState();
  ensureConfigured(state);
  return static_cast<ModMessageThreshold>(state.threshold.load(std::memory_order_relaxed));
}

void ModMessageSetThreshold(ModMessageThreshold threshold) {
  LogState& state = logState();
  ModAutoCriticalSection guard(state.lock);
  // Configure first, or a later lazy configuration would undo the override.
  ensureConfiguredLocked(state);
  state.threshold.store(static_cast<int32_t>(threshold), std::memory_order_relaxed);
}

void ModMessageReloadConfiguration() {
  LogState& state = logState();
  ModAutoCriticalSection guard(state.lock);
  ModParameter::reload();
  if (state.logger) state.logger->flush();
  state.configured.store(false, std::memory_order_release);
  configureLocked(state);
}
