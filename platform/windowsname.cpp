#include "platform/windowsname.h"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

constexpr std::string_view kForbidden = "<>:\"|?*/\\";

bool DeviceName(std::string_view name) {
  // "CON.txt" is the device too: only the part before the first dot counts.
  std::string stem(name.substr(0, std::min(name.find('.'), name.size())));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (stem == device) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}

// The length of the UTF-8 sequence at p (0: not one).
std::size_t Utf8Length(std::string_view s, std::size_t p) {
  const auto c = static_cast<unsigned char>(s[p]);
  const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || p + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[p + i]) & 0xC0) != 0x80) return 0;
  return n;
}

}  // namespace

bool WindowsCanHoldName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || kForbidden.find(static_cast<char>(c)) != std::string_view::npos) return false;
  return !DeviceName(name);
}

std::string PrintableName(std::string_view name) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (std::size_t p = 0; p < name.size();) {
    const std::size_t n = Utf8Length(name, p);
    const auto c = static_cast<unsigned char>(name[p]);
    // C1 controls (U+0080-U+009F) are escapes to a terminal as well.
    const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(name[p + 1]) < 0xA0;
    if (n == 0 || c < 0x20 || c == 0x7F || c1) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
      ++p;
    } else {
      out.append(name.substr(p, n));
      p += n;
    }
  }
  return out;
}

}  // namespace platform
