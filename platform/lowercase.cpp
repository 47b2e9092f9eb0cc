#include "platform/lowercase.h"

#include <locale.h>
#include <wctype.h>

namespace platform {

namespace {

// The C.UTF-8 character tables, whatever setlocale says; null where the C
// library has none (then A-Z only).
locale_t UnicodeTables() {
  static const locale_t tables = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return tables;
}

template <typename Char>
Char AsciiLower(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + ('a' - 'A')) : c;
}

}  // namespace

std::wstring LowerCase(std::wstring_view text) {
  std::wstring out(text);
  const locale_t tables = UnicodeTables();
  for (wchar_t& c : out) c = tables ? static_cast<wchar_t>(::towlower_l(static_cast<wint_t>(c), tables)) : AsciiLower(c);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

}  // namespace platform
