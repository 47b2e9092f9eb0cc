#pragma once
// Initialisation files read with the system's rules: section and key names
// compared without regard to case, values trimmed of blanks (and of one pair
// of enclosing double quotes), lines starting with ';' are comments; UTF-8,
// UTF-16 (with byte-order mark) and plain 8-bit files are accepted. Line
// numbers are kept so that callers can point at a bad line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

struct IniEntry {
  std::wstring key;
  std::wstring value;
  int line = 0;
};

struct IniSection {
  std::wstring name;
  int line = 0;
  std::vector<IniEntry> entries;
};

class IniDocument {
 public:
  // Decodes and parses the raw bytes of a file.
  static IniDocument Parse(std::string_view bytes);
  // Reads a host file through ReadHostFile (folders, devices and files over
  // its cap are refused); false (and an empty document) when it cannot be read.
  static bool LoadHostFile(const std::string& hostPath, IniDocument& out);

  // First section of that name, case ignored; null when absent.
  const IniSection* Section(std::wstring_view name) const;
  // First value of the key in the first section of that name.
  std::optional<std::wstring> Value(std::wstring_view section, std::wstring_view key) const;

  const std::vector<IniSection>& Sections() const { return sections_; }
  // Lines that are neither blank, comment, section header nor key=value.
  const std::vector<int>& MalformedLines() const { return malformed_; }

 private:
  std::vector<IniSection> sections_;
  std::vector<int> malformed_;
};

// Decodes file bytes by their byte-order mark: UTF-16 LE/BE, UTF-8, or 8-bit
// text without a mark (UTF-8 when valid, otherwise Latin-1).
std::wstring DecodeTextFile(std::string_view bytes);

// The system's profile read on a file named by a system path: the value of
// key in section, or the default when the file, section or key is missing.
// Returns the length of the value written to out. A file that cannot be
// read (a folder, a device, too large, an I/O error) counts as missing.
DWORD GetPrivateProfileString(std::wstring_view section, std::wstring_view key,
                              std::wstring_view defaultValue, std::wstring& out,
                              std::wstring_view fileName);

}  // namespace platform
