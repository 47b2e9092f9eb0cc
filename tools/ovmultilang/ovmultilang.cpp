// The string library's two entry points. Everything else in the library is
// hidden; these two are the whole interface the program sees.
//
//   OvTranslateStr(key, buffer, capacity): writes the text for the
//     NUL-terminated UTF-16 key into buffer (capacity UTF-16 units,
//     terminator included), cut to capacity - 1 units when it is longer, and
//     returns the full text's length in units without the terminator. The
//     caller asks again with a larger buffer when the result is at least
//     capacity - 1. A key without a text yields the key itself.
//   OvGetLangName(buffer): writes the display language's lower-case English
//     name into a buffer of 50 units and returns 1; 0 for a null buffer.
//
// The languages are files in "lang/" beside the library. The calling
// convention is the platform's C convention (the 32-bit Windows build uses
// the standard one, which this platform does not distinguish).

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "language.h"
#include "languagefiles.h"

#define OVML_EXPORT extern "C" __attribute__((visibility("default")))

OVML_EXPORT std::uint8_t OvGetLangName(char16_t* buffer);

namespace {

constexpr std::uint32_t kLangNameUnits = 50;

// "<folder of this library>/lang/".
std::string LanguageFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&OvGetLangName), &info) && info.dli_fname) {
    std::string self = info.dli_fname;
    size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string("./") : self.substr(0, slash + 1)) + "lang/";
  }
  return "lang/";
}

ovml::LanguageFiles& Files() {
  // Lives as long as the library; the catalogues are read lazily.
  static ovml::LanguageFiles files(LanguageFolder());
  return files;
}

std::string CurrentLanguage() { return Files().Effective(ovml::LanguageForLocale(ovml::CurrentLocaleName())); }

std::u16string_view KeyOf(const char16_t* key) {
  if (!key) return {};
  size_t length = 0;
  while (key[length]) ++length;
  return {key, length};
}

}  // namespace

OVML_EXPORT std::uint32_t OvTranslateStr(const char16_t* key, char16_t* buffer, std::uint32_t capacity) {
  std::u16string text = Files().Translate(CurrentLanguage(), KeyOf(key));
  if (buffer && capacity > 0) {
    size_t copied = std::min<size_t>(text.size(), capacity - 1);
    std::copy_n(text.data(), copied, buffer);
    buffer[copied] = u'\0';
  }
  return static_cast<std::uint32_t>(text.size());
}

OVML_EXPORT std::uint8_t OvGetLangName(char16_t* buffer) {
  if (!buffer) return 0;
  std::string name = CurrentLanguage();
  size_t length = std::min<size_t>(name.size(), kLangNameUnits - 1);
  for (size_t i = 0; i < length; ++i) buffer[i] = static_cast<char16_t>(static_cast<unsigned char>(name[i]));
  buffer[length] = u'\0';
  return 1;
}
