#pragma once
// Numbers read from text that comes from outside (records, profiles, the
// kernel's files, device names): the whole text must be the number, in the
// given base, with no blanks, no '+', and a '-' only for signed types.
// Anything else, or a number the type cannot hold, is no number. Never
// throws.

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

template <typename T>
[[nodiscard]] std::optional<T> ParseNumber(std::string_view text, int base = 10) {
  static_assert(std::is_integral_v<T>);
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// Wide text holds a number only in ASCII digits (and letters, base over 10).
template <typename T>
[[nodiscard]] std::optional<T> ParseNumber(std::wstring_view text, int base = 10) {
  std::string narrow;
  narrow.reserve(text.size());
  for (const wchar_t c : text) {
    if (c < 0 || c > 0x7F) return std::nullopt;
    narrow.push_back(static_cast<char>(c));
  }
  return ParseNumber<T>(std::string_view(narrow), base);
}

}  // namespace platform
