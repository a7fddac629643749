// The one configuration source of the library. A key's value comes from the
// environment variable of exactly the key's name when it is set (even to the
// empty string), else from the top-level key of the TOML file named by the
// environment variable TAVODB_CONFIG, else of /etc/tavodb/tavodb.toml.
//
// The file is read once, on first use, and again after reload(). An absent
// default file gives no values; a file named by TAVODB_CONFIG that is absent,
// or any file that cannot be read or parsed, gives no values and logs one
// error line per load. Strings, integers, booleans ("true"/"false") and
// floating-point values of the file are seen as text; tables and arrays are
// not values. All functions are safe to call from any thread.
#ifndef MOD_PARAMETER_H
#define MOD_PARAMETER_H

#include <string>

class ModParameter {
 public:
  // True and `value` (out) set when the key has a value; false and `value`
  // untouched otherwise.
  static bool getString(const char* key, std::string& value);
  // True and `value` (out) set when the key's value is a decimal integer
  // that fits an int (optional sign, surrounding blanks ignored); false and
  // `value` untouched when absent or not such an integer.
  static bool getInteger(const char* key, int& value);
  // Forgets the values read from the file; the next lookup reads it again.
  static void reload();
};

#endif  // MOD_PARAMETER_H
