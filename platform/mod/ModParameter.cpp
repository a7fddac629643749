#include "Mod/ModParameter.h"

#include <toml++/toml.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>

#include "Mod/ModMessage.h"

namespace {

constexpr const char* kConfigVariable = "TAVODB_CONFIG";
constexpr const char* kDefaultConfigPath = "/etc/tavodb/tavodb.toml";

struct FileValues {
  std::mutex mutex;  // guards everything below
  bool loaded = false;
  std::map<std::string, std::string, std::less<>> values;
};

FileValues& fileValues() {
  // Never destroyed: static destructors of other units may still look up keys.
  static FileValues* values = new FileValues;
  return *values;
}

std::optional<std::string> scalarText(const toml::node& node) {
  if (const auto* text = node.as_string()) return text->get();
  if (const auto* integer = node.as_integer()) return std::to_string(integer->get());
  if (const auto* boolean = node.as_boolean()) return boolean->get() ? "true" : "false";
  if (const auto* floating = node.as_floating_point()) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, floating->get());
    return std::string(buffer, result.ptr);
  }
  return std::nullopt;
}

// Reads the file into `values`; returns the error line to log, if any.
std::optional<std::string> readFile(std::map<std::string, std::string, std::less<>>& values) {
  const char* named = std::getenv(kConfigVariable);
  const bool explicitPath = named != nullptr && *named != '\0';
  const std::string path = explicitPath ? named : kDefaultConfigPath;
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) {
    // Only a file the operator named is worth a complaint when missing.
    if (explicitPath) return "Configuration file " + path + " (from TAVODB_CONFIG) does not exist";
    return std::nullopt;
  }
  try {
    const toml::table table = toml::parse_file(path);
    for (const auto& [key, node] : table) {
      if (auto text = scalarText(node)) values.emplace(std::string(key.str()), std::move(*text));
    }
  } catch (const toml::parse_error& error) {
    std::ostringstream line;
    line << "Configuration file " << path
         << " is not valid TOML and is ignored: " << error.description() << " (line "
         << error.source().begin.line << ", column " << error.source().begin.column << ")";
    return line.str();
  }
  return std::nullopt;
}

bool lookUpFile(const char* key, std::string& value) {
  FileValues& file = fileValues();
  std::optional<std::string> complaint;
  bool found = false;
  {
    std::lock_guard<std::mutex> guard(file.mutex);
    if (!file.loaded) {
      complaint = readFile(file.values);
      file.loaded = true;
    }
    if (auto it = file.values.find(key); it != file.values.end()) {
      value = it->second;
      found = true;
    }
  }
  // Logged outside the mutex: the log itself looks up its keys here.
  if (complaint) ModErrorMessage << *complaint << ModEndl;
  return found;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

bool ModParameter::getString(const char* key, std::string& value) {
  if (const char* environment = std::getenv(key)) {
    value = environment;
    return true;
  }
  return lookUpFile(key, value);
}

bool ModParameter::getInteger(const char* key, int& value) {
  std::string text;
  if (!getString(key, text)) return false;
  std::string_view digits(text);
  while (!digits.empty() && isBlank(digits.front())) digits.remove_prefix(1);
  while (!digits.empty() && isBlank(digits.back())) digits.remove_suffix(1);
  // from_chars accepts a leading '-' only.
  if (!digits.empty() && digits.front() == '+') {
    digits.remove_prefix(1);
    if (!digits.empty() && digits.front() == '-') return false;
  }
  int parsed = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) return false;
  value = parsed;
  return true;
}

void ModParameter::reload() {
  FileValues& file = fileValues();
  std::lock_guard<std::mutex> guard(file.mutex);
  file.loaded = false;
  file.values.clear();
}
