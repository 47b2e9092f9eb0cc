// Stand-ins for the string library, built in several variants, so the
// loader can be tested against libraries that misbehave in known ways.
//
//   "len:N"    -> N units 'a'..'z' repeated ('a' + i % 26)
//   "echo:T"   -> T
//   "liar"     -> fills the buffer and always claims more than fits
//   other keys -> "?" key "?"
// Every call's capacity is recorded; FakeCapacities reads them back.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kMaxCalls = 4096;
std::uint32_t g_capacities[kMaxCalls];
int g_calls = 0;

[[maybe_unused]] std::u16string Text(const char16_t* key) {
  std::u16string k(key);
  if (k.rfind(u"len:", 0) == 0) {
    std::string digits(k.begin() + 4, k.end());
    size_t n = std::strtoul(digits.c_str(), nullptr, 10);
    std::u16string text(n, u'a');
    for (size_t i = 0; i < n; ++i) text[i] = static_cast<char16_t>(u'a' + i % 26);
    return text;
  }
  if (k.rfind(u"echo:", 0) == 0) return k.substr(5);
  return u"?" + k + u"?";
}

}  // namespace

FAKE_EXPORT int FakeCapacities(std::uint32_t* out, int max) {
  int n = std::min(g_calls, max);
  std::copy_n(g_capacities, n, out);
  return g_calls;
}

#ifndef FAKE_WITHOUT_TRANSLATE
FAKE_EXPORT std::uint32_t OvTranslateStr(const char16_t* key, char16_t* buffer, std::uint32_t capacity) {
  if (g_calls < kMaxCalls) g_capacities[g_calls] = capacity;
  ++g_calls;
  std::u16string text = std::u16string(key) == u"liar" ? std::u16string(capacity + 5, u'L') : Text(key);
  size_t copied = std::min<size_t>(text.size(), capacity - 1);
  std::copy_n(text.data(), copied, buffer);
  buffer[copied] = u'\0';
  return static_cast<std::uint32_t>(text.size());
}
#endif

#ifndef FAKE_WITHOUT_LANGNAME
FAKE_EXPORT std::uint8_t OvGetLangName(char16_t* buffer) {
#ifdef FAKE_LANGNAME_FAILS
  return 0;
#else
  const char16_t name[] = u"klingon";
  std::copy_n(name, sizeof name / sizeof name[0], buffer);
  return 1;
#endif
}
#endif
