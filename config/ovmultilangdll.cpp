#include "config/ovmultilangdll.h"

#include <cstdio>
#include <vector>

#include "config/messageboxes.h"
#include "disk/tracelog.h"
#include "platform/fs/files.h"
#include "platform/lasterror.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "platform/windows/window.h"

namespace {

constexpr wchar_t kDllName[] = L"OvMultiLang.dll";
constexpr wchar_t kEntryPointCheck[] = L"m_pOvTranslateStr != NULL && m_pOvGetLangName != NULL";

// The text up to the first NUL inside the buffer; a library that forgot the
// terminator is cut at the buffer's end.
std::wstring TextOf(const std::vector<char16_t>& buffer) {
  size_t length = 0;
  while (length < buffer.size() && buffer[length] != u'\0') ++length;
  return platform::WideFromUtf16(std::u16string_view(buffer.data(), length));
}

// The composed texts end with a line feed; the trace log ends its lines itself.
void TraceComposed(std::wstring text) {
  if (!text.empty() && text.back() == L'\n') text.pop_back();
  TraceLog(text);
}

}  // namespace

OvMultiLangDll& OvMultiLangDll::Instance() {
  // Deliberately never destroyed: windows may still translate while static
  // objects are torn down at exit.
  static OvMultiLangDll* instance = new OvMultiLangDll(GetDllPath());
  return *instance;
}

std::wstring OvMultiLangDll::GetDllPath() { return platform::GetProgramFolder() + kDllName; }

OvMultiLangDll::OvMultiLangDll(const std::wstring& dllPath) { Load(dllPath); }

OvMultiLangDll::~OvMultiLangDll() = default;

void OvMultiLangDll::Load(const std::wstring& dllPath) {
  if (!platform::PathExists(dllPath)) {
    TraceComposed(L"Can not find " + dllPath);
    return;
  }
  platform::Module module = platform::Module::Load(dllPath);
  if (!module) {
    wchar_t text[256];
    std::swprintf(text, sizeof text / sizeof text[0], L"%ls failed: GetLastError return %u\n", L"Load OvMultiLang.dll",
                  static_cast<unsigned>(platform::GetLastError()));
    TraceComposed(text);
    return;
  }
  auto translate = module.Entry<TranslateStrFn>("OvTranslateStr");
  auto langName = module.Entry<GetLangNameFn>("OvGetLangName");
  if (translate == nullptr || langName == nullptr) {
    // A wrong file beside the program is no reason to stop it: the library
    // is treated as absent and the broken expectation is recorded.
    TraceLog(kEntryPointCheck);
    return;
  }
  m_pOvTranslateStr = translate;
  m_pOvGetLangName = langName;
  m_hModule = std::move(module);
}

std::wstring OvMultiLangDll::Translate(const std::wstring& key) const {
  if (!IsLoaded()) return key;
  const std::u16string key16 = platform::Utf16FromWide(key);
  std::uint32_t capacity = kBufferUnits;
  std::vector<char16_t> buffer(capacity, u'\0');
  std::uint32_t length = m_pOvTranslateStr(key16.c_str(), buffer.data(), capacity);
  // A length that fills the buffer may mean the text was cut: ask again with
  // a larger one.
  while (length >= capacity - 1 && capacity + kBufferUnits <= kMaxBufferUnits) {
    capacity += kBufferUnits;
    buffer.assign(capacity, u'\0');
    length = m_pOvTranslateStr(key16.c_str(), buffer.data(), capacity);
  }
  return TextOf(buffer);
}

std::wstring OvMultiLangDll::LanguageName() const {
  if (!IsLoaded()) return {};
  std::vector<char16_t> buffer(kLangNameUnits, u'\0');
  if (!m_pOvGetLangName(buffer.data())) {
    ShowLangNameErrorBox();
    return {};
  }
  return TextOf(buffer);
}

std::wstring Translate(const std::wstring& key) { return OvMultiLangDll::Instance().Translate(key); }

std::wstring LanguageName() { return OvMultiLangDll::Instance().LanguageName(); }
