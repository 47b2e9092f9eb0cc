#include "disk/langutils.h"

#include <cwchar>

#include "disk/textutils.h"
#include "platform/locale.h"

std::wstring GetSystemLangIdText() {
  wchar_t text[8];
  std::swprintf(text, 8, L"%04x", static_cast<unsigned>(platform::GetSystemDefaultLangID()));
  return text;
}

namespace {
std::wstring LastTwoDigits() {
  std::wstring id = ToLower(GetSystemLangIdText());
  return id.size() >= 2 ? id.substr(id.size() - 2) : id;
}
}  // namespace

bool IsSystemLanguageSpanish() { return LastTwoDigits() == L"0a"; }
bool IsSystemLanguageFrench() { return LastTwoDigits() == L"0c"; }
bool IsSystemLanguageJapanese() { return GetSystemLangIdText() == L"0411"; }
