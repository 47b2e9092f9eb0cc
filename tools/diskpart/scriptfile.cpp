#include "tools/diskpart/scriptfile.h"

#include "platform/fs/readfile.h"

namespace diskpart {

bool SplitScriptLines(const std::string& text, std::vector<std::string>* lines, std::size_t* badLine) {
  lines->clear();
  std::string line;
  auto finish = [&] {
    if (line.size() > kMaxLineChars) {
      *badLine = lines->size() + 1;
      return false;
    }
    lines->push_back(std::move(line));
    line.clear();
    return true;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (!finish()) return false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      continue;
    }
    // Appending past the cap is pointless: keep one character more, so the
    // line is known to be too long, and no more.
    if (line.size() <= kMaxLineChars) line.push_back(c);
  }
  return line.empty() || finish();
}

bool ReadScriptFile(const std::string& hostPath, std::vector<std::string>* lines, std::string* error) {
  std::string text;
  const platform::DWORD result = platform::ReadHostFile(hostPath, text, kMaxScriptBytes);
  if (result != 0) {
    *error = platform::ReadFileErrorText(result);
    return false;
  }
  std::size_t bad = 0;
  if (!SplitScriptLines(text, lines, &bad)) {
    *error = "line " + std::to_string(bad) + " is longer than " + std::to_string(kMaxLineChars) + " characters";
    return false;
  }
  return true;
}

}  // namespace diskpart
