#pragma once
// The lines of a script given with /s. The script is outside input: only a
// regular file is read, up to kMaxScriptBytes; a line ends at CR, LF or CR LF
// (scripts written on any system run alike), and a line longer than
// kMaxLineChars is refused rather than echoed back in an error.

#include <cstddef>
#include <string>
#include <vector>

namespace diskpart {

inline constexpr std::size_t kMaxScriptBytes = 1u << 20;
inline constexpr std::size_t kMaxLineChars = 1024;

// Splits text into lines; false with the 1-based number of the first line
// that is too long in *badLine.
bool SplitScriptLines(const std::string& text, std::vector<std::string>* lines, std::size_t* badLine);

// Reads a script file at a host path; false with a one-line reason in *error.
bool ReadScriptFile(const std::string& hostPath, std::vector<std::string>* lines, std::string* error);

}  // namespace diskpart
