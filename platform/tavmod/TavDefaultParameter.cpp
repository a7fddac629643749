#include "TavMod/TavDefaultParameter.h"

#include <string>

#include "Mod/ModMessage.h"
#include "Mod/ModParameter.h"

ModBoolean TavDefaultParameter::getInteger(int& value, const char* key) {
  if (ModParameter::getInteger(key, value)) return ModTrue;
  // Tell the operator why the setting had no effect.
  if (std::string text; ModParameter::getString(key, text)) {
    ModErrorMessage << key << " \"" << text << "\" is not an integer; using the default" << ModEndl;
  }
  return ModFalse;
}
