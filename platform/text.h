#pragma once
// Text conversions at the platform boundary. The ANSI code page of this
// platform is UTF-8: 8-bit text is UTF-8, wide text is one wchar_t per code
// point. Host file names are 8-bit.

#include <string>
#include <string_view>

namespace platform {

std::string AnsiFromWide(std::wstring_view wide);
std::wstring WideFromAnsi(std::string_view ansi);

// UTF-16 at interfaces that fix it (the string library's entry points).
std::u16string Utf16FromWide(std::wstring_view wide);
std::wstring WideFromUtf16(std::u16string_view utf16);

// Lower/upper-cases a wide character the way the file systems compare names.
wchar_t FoldCase(wchar_t c);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::wstring UpperCase(std::wstring_view text);

}  // namespace platform
