#include "language.h"

#include <cstdlib>

namespace ovml {

namespace {

struct LanguageEntry {
  std::string_view code;  // ISO 639-1
  std::string_view name;
};

constexpr LanguageEntry kLanguages[] = {
    {"en", "english"}, {"es", "spanish"}, {"fr", "french"}, {"de", "german"}, {"ja", "japanese"},
};

}  // namespace

std::string LanguageForLocale(std::string_view locale) {
  // "ll_CC.codeset@modifier": only ll matters.
  size_t end = locale.find_first_of("_.@-");
  std::string code(locale.substr(0, end));
  for (char& c : code)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (const auto& entry : kLanguages)
    if (code == entry.code) return std::string(entry.name);
  return std::string(kEnglish);
}

std::string CurrentLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return {};
}

}  // namespace ovml
