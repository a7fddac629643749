// Hermetic configuration for one test: points TAVODB_CONFIG at a file of a
// temporary directory (empty until written), clears the library's keys from
// the environment, and restores every variable it touched when it goes.
#ifndef TAVODB_TEST_SCOPED_CONFIGURATION_H
#define TAVODB_TEST_SCOPED_CONFIGURATION_H

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "Mod/ModParameter.h"
#include "TestSupport.h"

namespace tavtest {

class ScopedConfiguration {
 public:
  ScopedConfiguration() : _path(_directory.path() + "/tavodb.toml") {
    writeFile("");
    setEnvironment("TAVODB_CONFIG", _path);
    for (const char* key : {"TavOdbLogLevel", "TavOdbLogFile", "TavOdbCorvidConnection",
                            "TavOdbCorvidHostName", "TavOdbCorvidPortNumber", "TavOdbSessionMax"}) {
      unsetEnvironment(key);
    }
    ModParameter::reload();
  }

  ~ScopedConfiguration() {
    for (const auto& [name, value] : _saved) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    ModParameter::reload();
  }

  ScopedConfiguration(const ScopedConfiguration&) = delete;
  ScopedConfiguration& operator=(const ScopedConfiguration&) = delete;

  const std::string& path() const { return _path; }
  const std::string& directory() const { return _directory.path(); }

  // Replaces the file's content and makes the next lookup read it.
  void writeFile(const std::string& content) {
    std::ofstream(_path, std::ios::trunc) << content;
    ModParameter::reload();
  }

  void setEnvironment(const std::string& name, const std::string& value) {
    save(name);
    ::setenv(name.c_str(), value.c_str(), 1);
  }

  void unsetEnvironment(const std::string& name) {
    save(name);
    ::unsetenv(name.c_str());
  }

 private:
  void save(const std::string& name) {
    if (_saved.contains(name)) return;
    const char* value = std::getenv(name.c_str());
    _saved.emplace(name, value ? std::optional<std::string>(value) : std::nullopt);
  }

  TempDirectory _directory;
  std::string _path;
  std::map<std::string, std::optional<std::string>> _saved;
};

}  // namespace tavtest

#endif  // TAVODB_TEST_SCOPED_CONFIGURATION_H
