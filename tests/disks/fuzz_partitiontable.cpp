// Replays partition tables through our reader: crafted seeds (a circular
// extended chain, a chain leaving its container, GPT headers with huge
// counts), thousands of deterministic mutations of each, and any files in
// the corpus folders named on the command line. The reader must neither
// crash nor report a partition outside the disk.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "platform/disks/partitiontable.h"

namespace {

using platform::disks::Crc32;
using Image = std::vector<std::uint8_t>;

void Put32(Image& d, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(Image& d, std::size_t at, std::uint64_t v) {
  Put32(d, at, static_cast<std::uint32_t>(v));
  Put32(d, at + 4, static_cast<std::uint32_t>(v >> 32));
}
void Slot(Image& d, std::size_t sector, int i, std::uint8_t type, std::uint32_t lba, std::uint32_t count) {
  std::size_t at = sector * 512 + 446 + i * 16;
  d[at + 4] = type;
  Put32(d, at + 8, lba);
  Put32(d, at + 12, count);
  d[sector * 512 + 510] = 0x55;
  d[sector * 512 + 511] = 0xAA;
}

Image MbrWithChain(bool circular) {
  Image d(4096 * 512);
  Slot(d, 0, 0, 0x0C, 2048, 1000);
  Slot(d, 0, 1, 0x05, 3072, 1000);
  Slot(d, 3072, 0, 0x07, 63, 100);
  Slot(d, 3072, 1, 0x05, circular ? 0 : 5000, 200);  // back to itself, or out of the container
  return d;
}

Image Gpt(std::uint32_t count, std::uint32_t entrySize) {
  Image d(2048 * 512);
  Slot(d, 0, 0, 0xEE, 1, 2047);
  std::memcpy(&d[512], "EFI PART", 8);
  Put32(d, 512 + 12, 92);
  Put64(d, 512 + 40, 34);
  Put64(d, 512 + 48, 2000);
  Put64(d, 512 + 72, 2);
  Put32(d, 512 + 80, count);
  Put32(d, 512 + 84, entrySize);
  std::size_t bytes = std::min<std::size_t>(std::size_t(count) * entrySize, d.size() - 1024);
  d[1024] = 0xA2;  // one used entry
  Put64(d, 1024 + 32, 40);
  Put64(d, 1024 + 40, 1000);
  Put32(d, 512 + 88, Crc32(&d[1024], bytes));
  Put32(d, 512 + 16, Crc32(&d[512], 92));
  return d;
}

int Check(const Image& d) {
  auto read = [&](std::uint64_t off, void* buf, std::size_t n) {
    if (off > d.size() || n > d.size() - off) return false;
    std::memcpy(buf, d.data() + off, n);
    return true;
  };
  auto t = platform::disks::ReadPartitionTable(read, d.size());
  for (const auto& e : t.entries) {
    if (e.PartitionNumber == 0 || t.style != platform::PARTITION_STYLE_GPT) continue;
    if (e.StartingOffset < 0 || e.PartitionLength <= 0 ||
        std::uint64_t(e.StartingOffset + e.PartitionLength) > d.size()) {
      std::fprintf(stderr, "GPT entry outside the disk\n");
      return 1;
    }
  }
  if (t.style == platform::PARTITION_STYLE_MBR && t.entries.size() % 4 != 0) {
    std::fprintf(stderr, "MBR layout not in records of four\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Image> seeds = {MbrWithChain(true), MbrWithChain(false), Gpt(128, 128), Gpt(0xFFFFFFFF, 128),
                              Gpt(4, 0xFFFFFFF8), Gpt(1024, 4096)};
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(argv[i], ec)) {
      std::ifstream in(f.path(), std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  std::mt19937 rng(20261207);
  int failures = 0, runs = 0;
  for (const Image& seed : seeds) {
    failures += Check(seed);
    ++runs;
    for (int m = 0; m < 300; ++m) {
      Image d = seed;
      if (d.empty()) break;
      // Mutations land in the places a table lives: the MBR, the GPT header
      // and the first entries, and the first extended record.
      static const std::size_t hot[] = {446, 512, 1024, 3072 * 512 + 446};
      for (int k = 0; k < 4; ++k) {
        std::size_t at = hot[rng() % 4] + rng() % 96;
        if (at < d.size()) d[at] = static_cast<std::uint8_t>(rng());
      }
      failures += Check(d);
      ++runs;
    }
  }
  std::printf("%d tables replayed, %d failures\n", runs, failures);
  return failures == 0 ? 0 : 1;
}
