// Integer settings of the family's configuration, read through ModParameter
// (environment variable of the key's name over the TOML configuration file).
#ifndef TAV_DEFAULT_PARAMETER_H
#define TAV_DEFAULT_PARAMETER_H

#include "Mod/ModTypes.h"

class TavDefaultParameter {
 public:
  // ModTrue and `value` (out) set when `key` has a value that is a decimal
  // integer fitting an int; ModFalse and `value` untouched otherwise (a value
  // that is present but not such an integer is also logged as an error).
  // Safe from any thread.
  static ModBoolean getInteger(int& value, const char* key);
};

#endif  // TAV_DEFAULT_PARAMETER_H
