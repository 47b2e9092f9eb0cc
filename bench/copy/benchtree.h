#pragma once
// The generated source tree of the copy benchmark: a few large files beside
// thousands of small ones spread over folders, the way an installation
// medium holds them.

#include <cstdint>
#include <filesystem>

struct BenchTreeShape {
  int largeFiles = 3;
  std::uint64_t largeMiB = 500;
  int smallFiles = 4000;
  int smallPerFolder = 100;
  std::uint64_t smallMaxKiB = 256;  // sizes spread evenly over 1 .. this
};

// Writes the tree under root (created); returns the bytes written. The
// content is pseudo-random and written through one small buffer.
std::uint64_t WriteBenchTree(const std::filesystem::path& root, const BenchTreeShape& shape);
