#pragma once
// The command line of our ISO tool: exactly the options the system passes
// (see usage.cpp for the text shown by --help).
//
//   -l<label>  -m  -o  -u1  -udfver102
//   -bootdata:2#p0,e,b<bios file>#pEF,e,b<uefi file>   or  -bootdata:1#p0,e,b<bios file>
//   <source folder> <target file>
//
// Paths are given as the system writes them (drive-letter paths, optionally
// in double quotes, which the command-line split may already have removed);
// they are resolved to host paths by the caller.

#include <cstdint>
#include <string>
#include <vector>

namespace oscdimg {

// One El Torito boot entry. Only no-emulation entries exist in this tool.
struct BootEntry {
  std::uint8_t platformId = 0;  // 0x00 BIOS (x86), 0xEF UEFI
  std::string file;             // as given on the command line
};

struct Options {
  std::string label;            // volume label, at most kMaxLabel characters
  bool ignoreSizeLimit = false; // -m
  bool storeDuplicatesOnce = false;  // -o
  bool udf = false;             // -u1
  bool udf102 = false;          // -udfver102
  std::vector<BootEntry> boot;  // -bootdata (or none)
  std::string source;           // folder whose contents become the image's root
  std::string target;           // the image file
  bool help = false;            // --help: print usage, nothing else
};

inline constexpr std::size_t kMaxLabel = 32;

// Parses the arguments after the program name. False with a one-line,
// user-facing message in *error when the line is not one this tool takes.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

}  // namespace oscdimg
