#include "Mod/ModLanguageSet.h"

#include <unicode/uloc.h>

#include <algorithm>
#include <optional>
#include <set>

#include "Mod/ModException.h"

namespace {

std::set<std::string, std::less<>> codeSet(const char* const* codes) {
  std::set<std::string, std::less<>> result;
  for (; *codes != nullptr; ++codes) result.emplace(*codes);
  return result;
}

// ICU's lists are lower case (languages) and upper case (regions).
const std::set<std::string, std::less<>>& languageCodes() {
  static const auto codes = codeSet(uloc_getISOLanguages());
  return codes;
}

const std::set<std::string, std::less<>>& regionCodes() {
  static const auto codes = codeSet(uloc_getISOCountries());
  return codes;
}

std::string asciiCase(std::string_view text, bool upper) {
  std::string result(text);
  for (char& c : result) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

std::optional<ModLanguageTag> parseTag(std::string_view text) {
  const size_t dash = text.find('-');
  ModLanguageTag tag{asciiCase(text.substr(0, dash), false), {}};
  if (!languageCodes().contains(tag.language)) return std::nullopt;
  if (dash != std::string_view::npos) {
    tag.region = asciiCase(text.substr(dash + 1), true);
    if (!regionCodes().contains(tag.region)) return std::nullopt;
  }
  return tag;
}

[[noreturn]] void throwInvalid(std::string_view languages, std::string_view why) {
  throw ModException(
      ModModule::Language, ModLanguageErrorNumber::InvalidLanguage, ModErrorLevel::Error,
      "invalid language string \"" + std::string(languages) + "\": " + std::string(why));
}

}  // namespace

ModLanguageSet::ModLanguageSet(const ModUnicodeString& languages)
    : ModLanguageSet(std::string_view(languages.getString())) {}

ModLanguageSet::ModLanguageSet(std::string_view languages) {
  if (languages.empty()) throwInvalid(languages, "empty");
  size_t start = 0;
  while (true) {
    const size_t plus = languages.find('+', start);
    const std::string_view text = languages.substr(start, plus - start);
    if (text.empty()) throwInvalid(languages, "empty tag");
    const std::optional<ModLanguageTag> tag = parseTag(text);
    if (!tag) throwInvalid(languages, "unknown tag \"" + std::string(text) + "\"");
    if (std::find(_tags.begin(), _tags.end(), *tag) == _tags.end()) _tags.push_back(*tag);
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }
}

ModUnicodeString ModLanguageSet::getName() const {
  std::string name;
  for (const ModLanguageTag& tag : _tags) {
    if (!name.empty()) name += '+';
    name += tag.language;
    if (!tag.region.empty()) name += '-' + tag.region;
  }
  return ModUnicodeString(ModUtf8ToUtf16(name));
}

bool ModLanguageSet::contains(std::string_view language) const {
  const std::optional<ModLanguageTag> wanted = parseTag(language);
  if (!wanted || language.empty()) return false;
  return std::any_of(_tags.begin(), _tags.end(), [&](const ModLanguageTag& tag) {
    return tag.language == wanted->language &&
           (wanted->region.empty() || tag.region == wanted->region);
  });
}

bool ModLanguageSet::contains(const ModUnicodeString& language) const {
  return contains(std::string_view(language.getString()));
}
