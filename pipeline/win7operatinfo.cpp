#include "pipeline/win7operatinfo.h"

#include <algorithm>

void SetInfoField(wchar_t (&field)[platform::MAX_PATH], const std::wstring& text) {
  size_t n = std::min<size_t>(text.size(), platform::MAX_PATH - 1);
  std::copy_n(text.data(), n, field);
  field[n] = L'\0';
}
