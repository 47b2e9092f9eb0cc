#pragma once
// What the copy benchmarks share: a command measured as a child (wall time,
// peak memory), the median of the rounds, the size of a copied tree and a
// work folder removed whatever way the driver leaves.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct Run {
  double seconds = 0;
  long peakKiB = 0;
  bool ok = false;
};

// Runs args as a child and waits for it. The child's standard output is
// dropped (only the driver reports); its errors stay on standard error.
Run Measure(const std::vector<std::string>& args);

double Median(std::vector<double> values);

// The total size of every file below root, to check a copy is whole.
std::uintmax_t TreeBytes(const std::filesystem::path& root);

// A fresh folder parent/<prefix>XXXXXX, removed with everything in it (read-
// only copies included, as files from a disc are) when the driver leaves.
class WorkFolder {
 public:
  WorkFolder(const std::filesystem::path& parent, const std::string& prefix);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
