#include "platform/locale.h"

#include <atomic>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

struct LocaleEntry {
  const char* name;  // language_TERRITORY, or language alone as the fallback
  LANGID id;
};

// Language and sub-language as the system numbers them.
constexpr LocaleEntry kLocales[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en", 0x0409},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es_CO", 0x240A}, {"es_CL", 0x340A},
    {"es_US", 0x540A}, {"es", 0x0C0A},    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"fr", 0x040C},    {"de_DE", 0x0407}, {"de_AT", 0x0C07}, {"de_CH", 0x0807},
    {"de", 0x0407},    {"ja_JP", 0x0411}, {"ja", 0x0411},    {"it_IT", 0x0410}, {"it", 0x0410},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"pt", 0x0816},    {"nl_NL", 0x0413}, {"nl", 0x0413},
    {"ru_RU", 0x0419}, {"ru", 0x0419},    {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh", 0x0804},
    {"ko_KR", 0x0412}, {"ko", 0x0412},    {"pl_PL", 0x0415}, {"pl", 0x0415},
};

}  // namespace

LANGID LangIdFromLocaleName(std::string_view locale) {
  // Strip ".codeset" and "@modifier".
  std::string name(locale.substr(0, locale.find_first_of(".@")));
  for (const auto& e : kLocales)
    if (name == e.name) return e.id;
  std::string lang = name.substr(0, name.find('_'));
  for (const auto& e : kLocales)
    if (lang == e.name) return e.id;
  return 0x0409;
}

namespace {
// -1: none; otherwise the identifier in force.
std::atomic<int> g_override{-1};
}  // namespace

ScopedSystemLanguage::ScopedSystemLanguage(LANGID id) : previous_(g_override.exchange(id)) {}
ScopedSystemLanguage::~ScopedSystemLanguage() { g_override.store(previous_); }

LANGID GetSystemDefaultLangID() {
  if (int id = g_override.load(); id >= 0) return static_cast<LANGID>(id);
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return LangIdFromLocaleName(v);
  }
  return 0x0409;
}

}  // namespace platform
