#pragma once
// Setup information (.INF) files, parsed with the rules the system's setup
// code applies: sections in brackets, "key = field, field, ..." lines or bare
// field lists, ';' comments outside quotes, a trailing '\' joining the next
// line, double quotes around fields (a doubled quote inside stands for one),
// and "%token%" replaced by the value of token in the [Strings] section
// ("%%" is a percent sign; unknown tokens and directory ids like %12% stay).
// Section names and keys compare without regard to case.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::dism {

struct InfLine {
  std::wstring key;                 // empty for a line without '='
  std::vector<std::wstring> fields; // substituted, unquoted, trimmed
  int line = 0;                     // 1-based line number in the file
};

struct InfSection {
  std::wstring name;
  int line = 0;
  std::vector<InfLine> lines;
};

class InfFile {
 public:
  // Parses decoded text. False with a message naming the line for text that
  // is not INF syntax (content before the first section, an unterminated
  // section name or quote), or whose %string% substitution passes 64 Ki
  // characters on one line or 32 Mi in the whole file ("line N: string
  // substitution too long").
  static bool Parse(std::wstring_view text, InfFile& out, std::wstring& error);

  // First section of that name; null when absent.
  const InfSection* Section(std::wstring_view name) const;
  // First field of the first line with that key in the section.
  std::optional<std::wstring> Value(std::wstring_view section, std::wstring_view key) const;
  const std::vector<InfSection>& Sections() const { return sections_; }

 private:
  std::vector<InfSection> sections_;
  // Lower-case name -> position in sections_: lookups stay cheap however
  // many sections a file has.
  std::unordered_map<std::wstring, size_t> index_;
};

}  // namespace platform::dism
