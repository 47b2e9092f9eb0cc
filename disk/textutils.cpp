#include "disk/textutils.h"

#include "platform/text.h"

std::string ToAnsi(const std::wstring& wide) { return platform::AnsiFromWide(wide); }
std::wstring FromAnsi(const std::string& ansi) { return platform::WideFromAnsi(ansi); }

std::wstring ToLower(const std::wstring& text) {
  std::wstring out = text;
  for (auto& c : out)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
  return out;
}

std::string IntToText(int value) { return std::to_string(value); }
std::wstring IntToTextW(int value) { return std::to_wstring(value); }

std::string IncludeBackslash(const std::string& path) {
  return path.empty() || path.back() == '\\' ? path : path + '\\';
}

std::wstring IncludeBackslash(const std::wstring& path) {
  return path.empty() || path.back() == L'\\' ? path : path + L'\\';
}
