#pragma once
// The loader of the string library "OvMultiLang.dll" that lies beside the
// program, and the two calls every window makes through it.
//
// The library exports two entry points that take and fill UTF-16 buffers
// (char16_t, whatever wchar_t is here):
//   "OvTranslateStr"(key, buffer, capacity) -> length of the translation in
//       UTF-16 units without the terminator; the buffer holds the
//       NUL-terminated text, cut to capacity - 1 units when it is longer.
//   "OvGetLangName"(buffer of 50 units) -> non-zero on success, the buffer
//       then holding the display language's English name ("english").
//
// A library that is missing, does not load or lacks either entry point
// counts as not loaded: the reason goes to the trace log, Translate returns
// the key itself and LanguageName an empty name. A failed load is not
// retried.
//
// Threads: any thread may translate once the instance exists; the instance is
// made on the user-interface thread before the worker starts.

#include <cstdint>
#include <string>

#include "platform/fs/module.h"

class OvMultiLangDll {
 public:
  using TranslateStrFn = std::uint32_t (*)(const char16_t* key, char16_t* buffer, std::uint32_t capacity);
  using GetLangNameFn = std::uint8_t (*)(char16_t* buffer);

  // First translation buffer, and the step by which it grows while a
  // translation may have been cut.
  static constexpr std::uint32_t kBufferUnits = 1024;
  // The language name buffer, terminator included.
  static constexpr std::uint32_t kLangNameUnits = 50;
  // A library that claims ever longer texts is not followed past this.
  static constexpr std::uint32_t kMaxBufferUnits = 256 * 1024;

  // The process-wide loader; the first call loads the library from
  // GetDllPath(). Never destroyed: the library stays loaded until the end.
  static OvMultiLangDll& Instance();

  // The program folder followed by "OvMultiLang.dll".
  static std::wstring GetDllPath();

  // Loads the library at a system path (Instance uses GetDllPath()).
  explicit OvMultiLangDll(const std::wstring& dllPath);
  virtual ~OvMultiLangDll();
  OvMultiLangDll(const OvMultiLangDll&) = delete;
  OvMultiLangDll& operator=(const OvMultiLangDll&) = delete;

  bool IsLoaded() const { return m_pOvTranslateStr != nullptr; }

  // The library's text for an English key, asked afresh at every call; the
  // key itself when the library is not loaded.
  std::wstring Translate(const std::wstring& key) const;

  // The display language's name; empty when the library is not loaded, or,
  // after a warning box "OvGetLangName error", when the library fails.
  std::wstring LanguageName() const;

 private:
  void Load(const std::wstring& dllPath);

  TranslateStrFn m_pOvTranslateStr = nullptr;
  GetLangNameFn m_pOvGetLangName = nullptr;
  platform::Module m_hModule;
};

// OvMultiLangDll::Instance().Translate(key).
std::wstring Translate(const std::wstring& key);
// OvMultiLangDll::Instance().LanguageName().
std::wstring LanguageName();
