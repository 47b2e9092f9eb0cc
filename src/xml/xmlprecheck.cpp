#include "src/xml/xmlprecheck.h"

#include <cstring>

namespace gs {

namespace {

// The parser's own character classes: bytes from 127 up count as letters.
bool IsLetter(unsigned char c) { return c >= 127 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsNameChar(unsigned char c) {
  return IsLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' || c == ':';
}
bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    char c = s[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[k]) return false;
  }
  return true;
}

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    std::size_t extra;
    if (b < 0x80) extra = 0;
    else if (b >= 0xC2 && b <= 0xDF) extra = 1;
    else if (b >= 0xE0 && b <= 0xEF) extra = 2;
    else if (b >= 0xF0 && b <= 0xF4) extra = 3;
    else return false;
    if (s.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

// Walks the text as the parser's recursive descent would, with a depth
// counter instead of recursion. Every method returns false where the parser
// would fail (it then stops reading, so nothing after that point matters).
class Scanner {
 public:
  explicit Scanner(std::string_view text) : s_(text) {}

  bool Run() {
    while (Skip(), i_ < s_.size()) {
      if (s_[i_] != '<') {
        // Text outside every element: the parser stops reading there, so
        // nothing after it can nest.
        if (depth_ == 0) return true;
        Text();
        continue;
      }
      if (depth_ > 0 && At("</")) {
        if (!EndTag()) return false;
        continue;
      }
      if (!Node()) return false;
    }
    return depth_ == 0;
  }

  // True when the text starts with a declaration that names an 8-bit
  // encoding: the parser then reads every byte on its own.
  bool LeadingDeclarationIsLegacy() {
    Skip();
    if (!StartsWithNoCase(s_, i_, "<?xml")) return false;
    std::string encoding;
    if (!Declaration(&encoding)) return false;
    // An entity in the name could spell UTF-8 once the parser decodes it.
    return !encoding.empty() && encoding.find('&') == std::string::npos && !StartsWithNoCase(encoding, 0, "utf-8") &&
           !StartsWithNoCase(encoding, 0, "utf8");
  }

 private:
  bool At(std::string_view word) const { return s_.compare(i_, word.size(), word) == 0; }
  // Blanks, and the byte-order marks the parser passes over as blanks in
  // UTF-8 text (skipping them in 8-bit text too only reads further).
  void Skip() {
    while (i_ < s_.size()) {
      if (IsBlank(static_cast<unsigned char>(s_[i_]))) {
        ++i_;
      } else if (At("\xEF\xBB\xBF") || At("\xEF\xBF\xBE") || At("\xEF\xBF\xBF")) {
        i_ += 3;
      } else {
        break;
      }
    }
  }
  // Moves past the next occurrence of end; false when there is none.
  bool PastNext(std::string_view end) {
    const std::size_t at = s_.find(end, i_);
    if (at == std::string_view::npos) return false;
    i_ = at + end.size();
    return true;
  }

  void Text() {
    const std::size_t at = s_.find('<', i_);
    i_ = at == std::string_view::npos ? s_.size() : at;
  }

  bool Node() {
    if (StartsWithNoCase(s_, i_, "<?xml")) return Declaration(nullptr);
    if (At("<!--")) {
      i_ += 4;
      return PastNext("-->");
    }
    if (At("<![CDATA[")) {
      i_ += 9;
      return PastNext("]]>");
    }
    if (At("<!") || i_ + 1 >= s_.size() || !(IsLetter(static_cast<unsigned char>(s_[i_ + 1])) || s_[i_ + 1] == '_')) {
      ++i_;
      return PastNext(">");  // anything else the parser does not know
    }
    return StartTag();
  }

  bool StartTag() {
    ++i_;
    if (!Name()) return false;
    for (int attributes = 0;; ++attributes) {
      if (attributes > kMaxElementAttributes) return false;
      Skip();
      if (i_ >= s_.size()) return false;
      if (s_[i_] == '/') return i_ + 1 < s_.size() && s_[i_ + 1] == '>' ? (i_ += 2, true) : false;
      if (s_[i_] == '>') {
        ++i_;
        return ++depth_ <= kMaxElementNesting;
      }
      if (!Attribute(nullptr)) return false;
    }
  }

  bool EndTag() {
    i_ += 2;
    if (!PastNext(">")) return false;
    --depth_;
    return true;
  }

  bool Name() {
    if (i_ >= s_.size()) return false;
    const unsigned char first = static_cast<unsigned char>(s_[i_]);
    if (!IsLetter(first) && first != '_') return false;
    while (i_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[i_]))) ++i_;
    return true;
  }

  // name = "value", 'value' or a bare value up to a blank, '/' or '>'.
  bool Attribute(std::string* value) {
    Skip();
    if (!Name()) return false;
    Skip();
    if (i_ >= s_.size() || s_[i_] != '=') return false;
    ++i_;
    Skip();
    if (i_ >= s_.size()) return false;
    const char quote = s_[i_];
    if (quote == '"' || quote == '\'') {
      const std::size_t end = s_.find(quote, i_ + 1);
      if (end == std::string_view::npos) return false;
      if (value) value->assign(s_.substr(i_ + 1, end - i_ - 1));
      i_ = end + 1;
      return true;
    }
    const std::size_t start = i_;
    while (i_ < s_.size() && !IsBlank(static_cast<unsigned char>(s_[i_])) && s_[i_] != '/' && s_[i_] != '>') {
      if (s_[i_] == '"' || s_[i_] == '\'') return false;
      ++i_;
    }
    if (i_ >= s_.size()) return false;
    if (value) value->assign(s_.substr(start, i_ - start));
    return true;
  }

  // <?xml ... >: version, encoding and standalone are read as attributes
  // (so a '>' in their quotes does not end it), anything else is passed
  // over up to a blank or '>'.
  bool Declaration(std::string* encoding) {
    i_ += 5;
    while (i_ < s_.size()) {
      if (s_[i_] == '>') {
        ++i_;
        return true;
      }
      Skip();
      const bool isEncoding = StartsWithNoCase(s_, i_, "encoding");
      if (StartsWithNoCase(s_, i_, "version") || isEncoding || StartsWithNoCase(s_, i_, "standalone")) {
        std::string value;
        if (!Attribute(&value)) return false;
        if (isEncoding && encoding) *encoding = value;
      } else {
        while (i_ < s_.size() && s_[i_] != '>' && !IsBlank(static_cast<unsigned char>(s_[i_]))) ++i_;
      }
    }
    return false;
  }

  std::string_view s_;
  std::size_t i_ = 0;
  int depth_ = 0;
};

}  // namespace

bool FitsSettingsLimits(std::string_view text) {
  if (text.size() > kMaxSettingsFileBytes) return false;
  text = text.substr(0, text.find('\0'));
  const bool bom = text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  if (!bom && Scanner(text).LeadingDeclarationIsLegacy()) {
    // 8-bit text: the parser reads it byte by byte.
  } else if (!IsValidUtf8(text)) {
    return false;
  }
  return Scanner(bom ? text.substr(3) : text).Run();
}

std::string ParserBuffer(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  // The parser looks up to a few bytes past a terminator it has stepped
  // over; these keep every such look inside the buffer.
  out.append(16, '\0');
  return out;
}

}  // namespace gs
