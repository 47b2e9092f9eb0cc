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

// Text from outside (file and member names, INF fields, database names,
// another process's name) made fit for a terminal or a window: every
// control character, C0, DEL and C1 (U+0080 to U+009F, which is also what
// a stray 8-bit byte or UTF-8's C2 80..9F becomes), is shown as "\xNN"
// in capitals. Backslashes stay as they are: the system's own paths hold
// "Other\x86" and "Other\x64", which must read as written; so only a
// text that already held a backslash, an x and two such digits reads back
// two ways. With keepLineBreaks a line feed stays as it is (the trace
// log's own line breaks).
std::wstring PrintableText(std::wstring_view text, bool keepLineBreaks = false);

}  // namespace platform
