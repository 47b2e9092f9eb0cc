#pragma once
// One language's texts, read from its UTF-8 language file (format in
// README.md): key = value lines, '#' comments, optional double quotes to keep
// blanks at the ends of a value, escapes \n \t \" \\.

#include <map>
#include <string>
#include <string_view>

namespace ovml {

class Catalogue {
 public:
  // Parses a whole file. False, with a reason naming the line, when the
  // text is not valid UTF-8 or a line is malformed; the catalogue is then
  // left empty. A repeated key is malformed too.
  bool Parse(std::string_view utf8, std::string* error = nullptr);

  // The text for a key; null when the file has no such key.
  const std::u16string* Find(std::u16string_view key) const;

  size_t size() const { return texts_.size(); }

 private:
  std::map<std::u16string, std::u16string, std::less<>> texts_;
};

// Strict UTF-8 to UTF-16 (no overlong forms, no surrogates); false on any
// invalid sequence.
bool Utf16FromUtf8(std::string_view utf8, std::u16string& out);

}  // namespace ovml
