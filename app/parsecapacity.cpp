#include "app/parsecapacity.h"

#include <cwctype>

#include "config/ovmultilangdll.h"

namespace {
constexpr wchar_t kUnitEnd[] = L"MB )";

std::wstring Trimmed(const std::wstring& text) {
  size_t first = 0, last = text.size();
  while (first < last && std::iswspace(text[first])) ++first;
  while (last > first && std::iswspace(text[last - 1])) --last;
  return text.substr(first, last - first);
}
}  // namespace

std::int64_t ParseCapacity(const std::wstring& text, const std::wstring& capacityWord) {
  const size_t a = text.find(capacityWord);
  const size_t b = text.find(kUnitEnd);
  if (a == std::wstring::npos || b == std::wstring::npos || b < a || capacityWord.size() >= b - a) return 0;
  const std::wstring digits = Trimmed(text.substr(a + capacityWord.size(), b - a - capacityWord.size()));
  // A volume's size in MiB fits 18 digits many times over; anything else
  // (a sign, letters, an overflow) is not a capacity.
  if (digits.empty() || digits.size() > 18) return 0;
  std::int64_t value = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return 0;
    value = value * 10 + (c - L'0');
  }
  return value;
}

std::int64_t ParseCapacity(const std::wstring& text) { return ParseCapacity(text, Translate(L"Capacity")); }

std::wstring UsbEntryText(const std::wstring& root, std::int64_t sizeMB, const std::wstring& capacityWord) {
  if (sizeMB == 0) return root;
  return root + L" (" + capacityWord + L" " + std::to_wstring(sizeMB) + L" MB )";
}
