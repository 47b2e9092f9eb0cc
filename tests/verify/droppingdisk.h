#pragma once
// The test's counterfeit medium: a disk image that reports its full size and
// accepts every write, but silently keeps only the bytes below a limit
// (reads beyond it give zeros), as a stick that claims more capacity than
// its flash has.

#include <cstdint>
#include <string>

class DroppingDisk {
 public:
  DroppingDisk(std::string hostImage, std::uint64_t keptBytes);
  // Writes the whole content of a host file from offset 0; reports success
  // like the counterfeit does.
  bool WriteFileImage(const std::string& hostFile);
  // Writes bytes at an offset; everything at or beyond the limit is lost.
  bool Write(std::uint64_t offset, const char* data, std::uint64_t length);

 private:
  std::string image_;
  std::uint64_t kept_;
};
