#pragma once
// The system default language identifier, taken from the host locale
// (LC_ALL, then LC_MESSAGES, then LANG): es_ES gives 0x0C0A, fr_FR 0x040C,
// ja_JP 0x0411, en_US 0x0409. Unknown or "C"/"POSIX" locales give 0x0409.

#include <cstdint>
#include <string_view>

namespace platform {

using LANGID = std::uint16_t;

LANGID GetSystemDefaultLangID();

// The identifier for one locale name such as "es_MX.UTF-8".
LANGID LangIdFromLocaleName(std::string_view locale);

}  // namespace platform
