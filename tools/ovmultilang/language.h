#pragma once
// The display language: chosen from the user's locale the way the C library
// chooses message catalogues (LC_ALL, then LC_MESSAGES, then LANG; the first
// that is set and not empty decides). English when the locale names a
// language without a file of ours, or "C"/"POSIX".

#include <string>
#include <string_view>

namespace ovml {

inline constexpr std::string_view kEnglish = "english";

// The lower-case English name ("english", "spanish", "french", "german",
// "japanese") for a locale name such as "de_AT.UTF-8" or "ja".
std::string LanguageForLocale(std::string_view locale);

// The locale that decides, read from the environment ("" when none is set).
std::string CurrentLocaleName();

}  // namespace ovml
