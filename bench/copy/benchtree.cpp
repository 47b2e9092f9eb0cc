#include "benchtree.h"

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;
constexpr std::size_t kWriteBuffer = kMiB;

// Writes `bytes` of pseudo-random data; the buffer is refreshed now and then
// so no two files share their blocks.
std::uint64_t WriteFile(const std::filesystem::path& file, std::uint64_t bytes, std::mt19937_64& rng,
                        std::vector<std::uint64_t>& buffer) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(file.c_str(), "wb"), &std::fclose);
  if (!out) return 0;
  std::uint64_t left = bytes;
  while (left > 0) {
    buffer[rng() % buffer.size()] = rng();
    buffer[0] = left;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kWriteBuffer));
    if (std::fwrite(buffer.data(), 1, n, out.get()) != n) return bytes - left;
    left -= n;
  }
  return bytes;
}

}  // namespace

std::uint64_t WriteBenchTree(const std::filesystem::path& root, const BenchTreeShape& shape) {
  std::mt19937_64 rng(20240611);
  std::vector<std::uint64_t> buffer(kWriteBuffer / sizeof(std::uint64_t));
  for (auto& v : buffer) v = rng();

  std::uint64_t total = 0;
  std::filesystem::create_directories(root / "sources");
  for (int i = 0; i < shape.largeFiles; ++i)
    total += WriteFile(root / "sources" / ("install" + std::to_string(i) + ".wim"), shape.largeMiB * kMiB, rng, buffer);

  const int folders = (shape.smallFiles + shape.smallPerFolder - 1) / shape.smallPerFolder;
  for (int f = 0; f < folders; ++f) {
    std::filesystem::path folder = root / "sources" / ("lang" + std::to_string(f));
    std::filesystem::create_directories(folder);
    for (int i = 0; i < shape.smallPerFolder && f * shape.smallPerFolder + i < shape.smallFiles; ++i) {
      std::uint64_t bytes = (1 + rng() % shape.smallMaxKiB) * kKiB - rng() % kKiB;
      total += WriteFile(folder / ("file" + std::to_string(i) + ".dll"), bytes, rng, buffer);
    }
  }
  return total;
}
