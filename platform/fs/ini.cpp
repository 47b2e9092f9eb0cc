#include "platform/fs/ini.h"

#include "platform/fs/readfile.h"
#include "platform/text.h"

namespace platform {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring Trim(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::wstring(s.substr(b, e - b));
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + extra >= s.size() + (extra == 0)) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

std::wstring DecodeTextFile(std::string_view bytes) {
  auto u8 = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && ((u8(0) == 0xFF && u8(1) == 0xFE) || (u8(0) == 0xFE && u8(1) == 0xFF))) {
    bool little = u8(0) == 0xFF;
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      units += static_cast<char16_t>(little ? (u8(i) | (u8(i + 1) << 8)) : ((u8(i) << 8) | u8(i + 1)));
    return WideFromUtf16(units);
  }
  if (bytes.size() >= 3 && u8(0) == 0xEF && u8(1) == 0xBB && u8(2) == 0xBF)
    return WideFromAnsi(bytes.substr(3));
  if (IsValidUtf8(bytes)) return WideFromAnsi(bytes);
  std::wstring latin1;
  latin1.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) latin1 += static_cast<wchar_t>(u8(i));
  return latin1;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  std::wstring text = DecodeTextFile(bytes);
  IniSection* current = nullptr;
  int lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = Trim(std::wstring_view(text).substr(pos, end - pos));
    ++lineNo;
    pos = end + 1;
    if (line.empty() || line[0] == L';' || line[0] == L'#') continue;
    if (line[0] == L'[') {
      size_t close = line.find(L']');
      if (close == std::wstring::npos) {
        doc.malformed_.push_back(lineNo);
        current = nullptr;
        continue;
      }
      doc.sections_.push_back({Trim(std::wstring_view(line).substr(1, close - 1)), lineNo, {}});
      current = &doc.sections_.back();
      continue;
    }
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos || current == nullptr) {
      doc.malformed_.push_back(lineNo);
      continue;
    }
    std::wstring value = Trim(std::wstring_view(line).substr(eq + 1));
    if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
      value = value.substr(1, value.size() - 2);
    current->entries.push_back({Trim(std::wstring_view(line).substr(0, eq)), value, lineNo});
  }
  return doc;
}

bool IniDocument::LoadHostFile(const std::string& hostPath, IniDocument& out) {
  out = IniDocument();
  std::string bytes;
  if (ReadHostFile(hostPath, bytes) != ERROR_SUCCESS) return false;
  out = Parse(bytes);
  return true;
}

const IniSection* IniDocument::Section(std::wstring_view name) const {
  for (const auto& s : sections_)
    if (EqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

std::optional<std::wstring> IniDocument::Value(std::wstring_view section, std::wstring_view key) const {
  const IniSection* s = Section(section);
  if (!s) return std::nullopt;
  for (const auto& e : s->entries)
    if (EqualsNoCase(e.key, key)) return e.value;
  return std::nullopt;
}

DWORD GetPrivateProfileString(std::wstring_view section, std::wstring_view key,
                              std::wstring_view defaultValue, std::wstring& out,
                              std::wstring_view fileName) {
  out.assign(defaultValue);
  std::string bytes;
  if (ReadSystemFile(fileName, bytes) != ERROR_SUCCESS) return static_cast<DWORD>(out.size());
  IniDocument doc = IniDocument::Parse(bytes);
  if (auto v = doc.Value(section, key)) out = *v;
  return static_cast<DWORD>(out.size());
}

}  // namespace platform
