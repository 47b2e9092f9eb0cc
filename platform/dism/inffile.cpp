#include "platform/dism/inffile.h"

#include <algorithm>
#include <map>

#include "platform/lowercase.h"
#include "platform/text.h"

namespace platform::dism {

namespace {

struct RawLine {
  std::wstring key;
  bool hasKey = false;
  std::vector<std::wstring> fields;
  int line = 0;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == 0x1A; }

std::wstring Trim(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::wstring(s.substr(b, e - b));
}

// Splits one logical line into key and fields, removing comments and quotes.
// False for a quote that is not closed.
bool SplitLine(std::wstring_view text, RawLine& out) {
  std::wstring current;
  bool quoted = false;
  bool fieldWasQuoted = false;
  bool currentBlank = true;  // kept as we go: re-scanning would make long lines quadratic
  auto finishField = [&] {
    out.fields.push_back(fieldWasQuoted ? current : Trim(current));
    current.clear();
    fieldWasQuoted = false;
    currentBlank = true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (quoted) {
      if (c == L'"') {
        if (i + 1 < text.size() && text[i + 1] == L'"') {
          current += L'"';
          currentBlank = false;
          ++i;
        } else {
          quoted = false;
        }
      } else {
        current += c;
        currentBlank = false;
      }
      continue;
    }
    if (c == L';') break;
    if (c == L'"') {
      // Blanks before an opening quote do not belong to the field.
      if (currentBlank) current.clear();
      quoted = true;
      fieldWasQuoted = true;
    } else if (c == L'=' && !out.hasKey && out.fields.empty()) {
      out.key = fieldWasQuoted ? current : Trim(current);
      out.hasKey = true;
      current.clear();
      fieldWasQuoted = false;
      currentBlank = true;
    } else if (c == L',') {
      finishField();
    } else if (fieldWasQuoted && IsBlank(c)) {
      // blanks after a closing quote are not part of the field
    } else {
      current += c;
      if (!IsBlank(c)) currentBlank = false;
    }
  }
  if (quoted) return false;
  if (!Trim(current).empty() || fieldWasQuoted || !out.fields.empty()) finishField();
  return true;
}

// What %strings% may expand to: one line's key and fields together, and
// the whole file. A few hundred bytes of strings that name each other's
// long values would otherwise grow without bound.
constexpr size_t kLineSubstitutionLimit = 64 * 1024;
constexpr size_t kFileSubstitutionLimit = 32u << 20;

// Appends text with its %tokens% replaced; false (out unfinished) when
// budget characters would be passed. budget: what the line may still take.
bool Substitute(const std::wstring& text, const std::map<std::wstring, std::wstring>& strings, size_t& budget,
                std::wstring& out) {
  out.clear();
  auto append = [&](std::wstring_view piece) {
    if (piece.size() > budget) return false;
    budget -= piece.size();
    out += piece;
    return true;
  };
  const std::wstring_view view(text);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') {
      if (!append(view.substr(i, 1))) return false;
      continue;
    }
    size_t end = text.find(L'%', i + 1);
    if (end == std::wstring::npos) return append(view.substr(i));
    std::wstring token = text.substr(i + 1, end - i - 1);
    bool fits = true;
    if (token.empty()) {
      fits = append(L"%");
    } else if (auto it = strings.find(LowerCase(token)); it != strings.end()) {
      fits = append(it->second);
    } else {
      fits = append(view.substr(i, end - i + 1));
    }
    if (!fits) return false;
    i = end;
  }
  return true;
}

}  // namespace

bool InfFile::Parse(std::wstring_view text, InfFile& out, std::wstring& error) {
  out.sections_.clear();
  out.index_.clear();
  std::vector<std::pair<InfSection, std::vector<RawLine>>> raw;

  int lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    // One logical line: physical lines joined while one ends in '\'.
    std::wstring logical;
    int firstLine = lineNo + 1;
    for (;;) {
      size_t nl = text.find(L'\n', pos);
      std::wstring_view physical = text.substr(pos, nl == std::wstring_view::npos ? std::wstring_view::npos : nl - pos);
      pos = nl == std::wstring_view::npos ? text.size() + 1 : nl + 1;
      ++lineNo;
      std::wstring trimmed = Trim(physical);
      if (!trimmed.empty() && trimmed.back() == L'\\' && trimmed.find(L';') == std::wstring::npos &&
          pos <= text.size()) {
        trimmed.pop_back();
        logical += trimmed;
        continue;
      }
      logical += std::wstring(physical);
      break;
    }
    std::wstring line = Trim(logical);
    if (line.empty() || line[0] == L';') continue;
    if (line[0] == L'[') {
      size_t close = line.find(L']');
      if (close == std::wstring::npos) {
        error = L"line " + std::to_wstring(firstLine) + L": section name without closing bracket";
        return false;
      }
      InfSection section;
      section.name = Trim(std::wstring_view(line).substr(1, close - 1));
      section.line = firstLine;
      raw.push_back({section, {}});
      continue;
    }
    if (raw.empty()) {
      error = L"line " + std::to_wstring(firstLine) + L": text before the first section";
      return false;
    }
    RawLine parsed;
    parsed.line = firstLine;
    if (!SplitLine(line, parsed)) {
      error = L"line " + std::to_wstring(firstLine) + L": quote not closed";
      return false;
    }
    raw.back().second.push_back(std::move(parsed));
  }

  // The string table: [Strings] and its language-decorated variants, the
  // undecorated section winning.
  std::map<std::wstring, std::wstring> strings;
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& [section, lines] : raw) {
      std::wstring name = LowerCase(section.name);
      bool plain = name == L"strings";
      bool decorated = name.rfind(L"strings.", 0) == 0;
      if ((pass == 0 && !decorated) || (pass == 1 && !plain)) continue;
      for (const auto& l : lines)
        if (l.hasKey && !l.fields.empty()) strings[LowerCase(l.key)] = l.fields.front();
    }
  }

  // A section named twice is one section, its lines in file order.
  size_t fileBudget = kFileSubstitutionLimit;
  for (auto& [section, lines] : raw) {
    auto [slot, added] = out.index_.try_emplace(LowerCase(section.name), out.sections_.size());
    if (added) out.sections_.push_back(section);
    InfSection* target = &out.sections_[slot->second];
    for (auto& l : lines) {
      InfLine line;
      line.line = l.line;
      size_t budget = std::min(kLineSubstitutionLimit, fileBudget);
      const size_t before = budget;
      bool fits = Substitute(l.key, strings, budget, line.key);
      for (auto& f : l.fields) {
        if (!fits) break;
        fits = Substitute(f, strings, budget, line.fields.emplace_back());
      }
      if (!fits) {
        out.sections_.clear();
        out.index_.clear();
        error = L"line " + std::to_wstring(l.line) + L": string substitution too long";
        return false;
      }
      fileBudget -= before - budget;
      target->lines.push_back(std::move(line));
    }
  }
  return true;
}

const InfSection* InfFile::Section(std::wstring_view name) const {
  auto it = index_.find(LowerCase(name));
  return it == index_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::wstring> InfFile::Value(std::wstring_view section, std::wstring_view key) const {
  const InfSection* s = Section(section);
  if (!s) return std::nullopt;
  for (const auto& l : s->lines)
    if (EqualsNoCase(l.key, key)) return l.fields.empty() ? std::wstring() : l.fields.front();
  return std::nullopt;
}

}  // namespace platform::dism
