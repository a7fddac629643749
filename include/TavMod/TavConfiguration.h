// The engine's connection settings. Each call reads the configuration
// afresh through ModParameter (environment variable of the key's name over
// the TOML configuration file); a value that is present but invalid is
// logged as an error and the default is used. Safe from any thread.
#ifndef TAV_CONFIGURATION_H
#define TAV_CONFIGURATION_H

#include "Mod/ModUnicodeString.h"
#include "TavMod/TavDefaultParameter.h"

class TavConfiguration {
 public:
  // Connection mode of the engine, key "TavOdbCorvidConnection": 2 = remote
  // server, any other value = inside the process. Default 0.
  static int getCorvidConnection();
  // Host of the remote engine server, key "TavOdbCorvidHostName"; an empty
  // value is invalid. Default "127.0.0.1".
  static ModUnicodeString getCorvidHostName();
  // Port of the remote engine server, key "TavOdbCorvidPortNumber", 1 to
  // 65535. Default 5432.
  static int getCorvidPortNumber();
};

#endif  // TAV_CONFIGURATION_H
