// A set of languages, as full-text columns carry them: one or more tags
// joined by '+', each a language code optionally followed by '-' and a
// region ("ja", "ja+en", "en-US", "zh-TW"). Codes are checked against the
// ISO 639 language and ISO 3166 region codes and compared without regard to
// case; the canonical form writes languages in lower and regions in upper
// case, tags in the given order with later duplicates dropped.
#ifndef MOD_LANGUAGE_SET_H
#define MOD_LANGUAGE_SET_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Mod/ModUnicodeString.h"

// Error number of ModException (module Language) for an invalid language string.
namespace ModLanguageErrorNumber {
inline constexpr int32_t InvalidLanguage = 4001;
}  // namespace ModLanguageErrorNumber

struct ModLanguageTag {
  std::string language;  // lower case ISO 639 code
  std::string region;    // upper case ISO 3166 code, empty when none
  bool operator==(const ModLanguageTag& other) const = default;
};

class ModLanguageSet {
 public:
  // Throws ModException(ModModule::Language, InvalidLanguage) for an empty
  // string, an empty tag, or an unknown language or region code.
  explicit ModLanguageSet(const ModUnicodeString& languages);
  explicit ModLanguageSet(std::string_view languages);

  // The canonical form, e.g. "ja+en-US".
  ModUnicodeString getName() const;
  const std::vector<ModLanguageTag>& getTags() const { return _tags; }
  // A bare language ("en") matches every tag of that language; a tag with a
  // region ("en-US") matches only that tag. Case does not matter; an invalid
  // argument matches nothing.
  bool contains(std::string_view language) const;
  bool contains(const ModUnicodeString& language) const;

  // Equal when the canonical forms are equal (order counts).
  bool operator==(const ModLanguageSet& other) const = default;

 private:
  std::vector<ModLanguageTag> _tags;
};

#endif  // MOD_LANGUAGE_SET_H
