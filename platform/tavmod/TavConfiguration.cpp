#include "TavMod/TavConfiguration.h"

#include <string>

#include "Mod/ModMessage.h"
#include "Mod/ModParameter.h"

namespace {

constexpr const char* kConnectionKey = "TavOdbCorvidConnection";
constexpr const char* kHostNameKey = "TavOdbCorvidHostName";
constexpr const char* kPortNumberKey = "TavOdbCorvidPortNumber";

constexpr int kDefaultConnection = 0;
constexpr const char16_t* kDefaultHostName = u"127.0.0.1";
constexpr int kDefaultPortNumber = 5432;

}  // namespace

int TavConfiguration::getCorvidConnection() {
  int value = kDefaultConnection;
  TavDefaultParameter::getInteger(value, kConnectionKey);
  return value;
}

ModUnicodeString TavConfiguration::getCorvidHostName() {
  std::string text;
  if (!ModParameter::getString(kHostNameKey, text)) return ModUnicodeString(kDefaultHostName);
  if (text.empty()) {
    ModErrorMessage << kHostNameKey << " is empty; using the default" << ModEndl;
    return ModUnicodeString(kDefaultHostName);
  }
  return ModUnicodeString(text.c_str(), ModKanjiCode::utf8);
}

int TavConfiguration::getCorvidPortNumber() {
  int value = kDefaultPortNumber;
  if (!TavDefaultParameter::getInteger(value, kPortNumberKey)) return kDefaultPortNumber;
  if (value < 1 || value > 65535) {
    ModErrorMessage << kPortNumberKey << " " << value << " is not a port number; using the default"
                    << ModEndl;
    return kDefaultPortNumber;
  }
  return value;
}
