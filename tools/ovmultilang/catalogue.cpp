#include "catalogue.h"

#include <cstdint>

namespace ovml {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Resolves the escapes of a value; false on an unknown or cut escape.
bool Unescape(std::string_view raw, std::string& out) {
  out.clear();
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      out += raw[i];
      continue;
    }
    if (++i == raw.size()) return false;
    switch (raw[i]) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      default: return false;
    }
  }
  return true;
}

// The value part of a line: unquoted (ends trimmed) or quoted whole.
bool ParseValue(std::string_view raw, std::string& out) {
  raw = Trim(raw);
  if (!raw.empty() && raw.front() == '"') {
    if (raw.size() < 2 || raw.back() != '"') return false;
    raw = raw.substr(1, raw.size() - 2);
    // An unescaped quote inside means the line was cut or mistyped.
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\') ++i;
      else if (raw[i] == '"') return false;
    }
    if (!raw.empty() && raw.back() == '\\' && (raw.size() < 2 || raw[raw.size() - 2] != '\\')) return false;
  }
  return Unescape(raw, out);
}

}  // namespace

bool Utf16FromUtf8(std::string_view utf8, std::u16string& out) {
  out.clear();
  for (size_t i = 0; i < utf8.size();) {
    auto byte = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp;
    size_t extra;
    if (byte < 0x80) { cp = byte; extra = 0; }
    else if ((byte & 0xE0) == 0xC0) { cp = byte & 0x1F; extra = 1; }
    else if ((byte & 0xF0) == 0xE0) { cp = byte & 0x0F; extra = 2; }
    else if ((byte & 0xF8) == 0xF0) { cp = byte & 0x07; extra = 3; }
    else return false;
    if (i + extra >= utf8.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinForLength[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  return true;
}

bool Catalogue::Parse(std::string_view utf8, std::string* error) {
  texts_.clear();
  auto fail = [&](int line, const char* why) {
    texts_.clear();
    if (error) *error = "line " + std::to_string(line) + ": " + why;
    return false;
  };
  if (utf8.substr(0, kByteOrderMark.size()) == kByteOrderMark) utf8.remove_prefix(kByteOrderMark.size());
  int lineNumber = 0;
  while (!utf8.empty()) {
    size_t end = utf8.find('\n');
    std::string_view line = utf8.substr(0, end);
    utf8.remove_prefix(end == std::string_view::npos ? utf8.size() : end + 1);
    ++lineNumber;
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    size_t eq = trimmed.find('=');
    if (eq == std::string_view::npos) return fail(lineNumber, "no '=' after the key");
    std::string_view key = Trim(trimmed.substr(0, eq));
    if (key.empty()) return fail(lineNumber, "empty key");
    std::string value;
    if (!ParseValue(trimmed.substr(eq + 1), value)) return fail(lineNumber, "malformed value");
    std::u16string key16, value16;
    if (!Utf16FromUtf8(key, key16) || !Utf16FromUtf8(value, value16)) return fail(lineNumber, "invalid UTF-8");
    if (!texts_.emplace(std::move(key16), std::move(value16)).second) return fail(lineNumber, "repeated key");
  }
  return true;
}

const std::u16string* Catalogue::Find(std::u16string_view key) const {
  auto it = texts_.find(key);
  return it == texts_.end() ? nullptr : &it->second;
}

}  // namespace ovml
