#include "platform/text.h"

namespace platform {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string AnsiFromWide(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (wchar_t c : wide) AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

std::wstring WideFromAnsi(std::string_view ansi) {
  std::wstring out;
  out.reserve(ansi.size());
  // Plain ASCII, the common case for file names, converts byte by byte.
  bool ascii = true;
  for (char c : ansi) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    out.assign(ansi.begin(), ansi.end());
    return out;
  }
  size_t i = 0;
  while (i < ansi.size()) {
    unsigned char b = static_cast<unsigned char>(ansi[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + extra >= ansi.size()) {
      // A byte that starts no valid sequence: keep it as its Latin-1 value so
      // that foreign 8-bit names stay visible rather than vanish.
      out += static_cast<wchar_t>(b);
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(ansi[i + k]);
      if ((c & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) {
      out += static_cast<wchar_t>(b);
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(cp);
    i += extra + 1;
  }
  return out;
}

std::u16string Utf16FromWide(std::wstring_view wide) {
  std::u16string out;
  out.reserve(wide.size());
  for (wchar_t wc : wide) {
    char32_t c = static_cast<char32_t>(wc);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c);
    }
  }
  return out;
}

std::wstring WideFromUtf16(std::u16string_view utf16) {
  std::wstring out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

wchar_t FoldCase(wchar_t c) {
  // ASCII and Latin-1 letters, independent of the process locale.
  if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
  return c;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return EqualsNoCase(WideFromAnsi(a), WideFromAnsi(b));
}

std::wstring UpperCase(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out) c = FoldCase(c);
  return out;
}

namespace {

constexpr wchar_t kLastC0 = 0x1F;
constexpr wchar_t kDelete = 0x7F;
constexpr wchar_t kFirstC1 = 0x80;
constexpr wchar_t kLastC1 = 0x9F;

bool IsControl(wchar_t c) { return c <= kLastC0 || c == kDelete || (c >= kFirstC1 && c <= kLastC1); }

void AppendEscape(std::wstring& out, wchar_t c) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  out += L"\\x";
  out += kDigits[(c >> 4) & 0xF];
  out += kDigits[c & 0xF];
}

}  // namespace

std::wstring PrintableText(std::wstring_view text, bool keepLineBreaks) {
  std::wstring out;
  out.reserve(text.size());
  for (const wchar_t c : text) {
    if (IsControl(c) && !(keepLineBreaks && c == L'\n')) AppendEscape(out, c);
    else out += c;
  }
  return out;
}

}  // namespace platform
