#pragma once
// The system default language identifier, taken from the host locale
// (LC_ALL, then LC_MESSAGES, then LANG): es_ES gives 0x0C0A, fr_FR 0x040C,
// ja_JP 0x0411, en_US 0x0409. Unknown or "C"/"POSIX" locales give 0x0409.

#include <cstdint>
#include <string_view>

namespace platform {

using LANGID = std::uint16_t;

LANGID GetSystemDefaultLangID();

// Puts a fixed system language in place for the lifetime of the object, for
// identifiers no host locale name gives (0x040A, Spanish with the
// traditional sort). Install before threads that read it start.
class ScopedSystemLanguage {
 public:
  explicit ScopedSystemLanguage(LANGID id);
  ~ScopedSystemLanguage();
  ScopedSystemLanguage(const ScopedSystemLanguage&) = delete;
  ScopedSystemLanguage& operator=(const ScopedSystemLanguage&) = delete;

 private:
  int previous_;
};

// The identifier for one locale name such as "es_MX.UTF-8".
LANGID LangIdFromLocaleName(std::string_view locale);

}  // namespace platform
