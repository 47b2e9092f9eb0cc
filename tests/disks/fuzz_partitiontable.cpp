// Partition tables read from any disk that is plugged in: our MBR (with its
// extended chain) and GPT reader. Seeds: an MBR with a circular extended
// chain, one whose chain leaves its container, GPTs with huge or odd entry
// counts and sizes, plus bytes changed where tables live. The reader must
// never report a GPT partition outside the disk or an MBR layout that is not
// in records of four, whether the disk has 512- or 4096-byte sectors.
#include <cstring>
#include <random>

#include "kxfuzz.h"
#include "platform/disks/partitiontable.h"

namespace {

using platform::disks::Crc32;
using Image = std::string;
constexpr std::size_t kSectors = 128;

void Put32(Image& d, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = static_cast<char>(v >> (8 * i));
}
void Put64(Image& d, std::size_t at, std::uint64_t v) {
  Put32(d, at, static_cast<std::uint32_t>(v));
  Put32(d, at + 4, static_cast<std::uint32_t>(v >> 32));
}
void Slot(Image& d, std::size_t sector, int i, std::uint8_t type, std::uint32_t lba, std::uint32_t count) {
  std::size_t at = sector * 512 + 446 + i * 16;
  d[at + 4] = static_cast<char>(type);
  Put32(d, at + 8, lba);
  Put32(d, at + 12, count);
  d[sector * 512 + 510] = 0x55;
  d[sector * 512 + 511] = static_cast<char>(0xAA);
}

Image MbrWithChain(bool circular) {
  Image d(kSectors * 512, '\0');
  Slot(d, 0, 0, 0x0C, 2, 20);
  Slot(d, 0, 1, 0x05, 32, 90);
  Slot(d, 32, 0, 0x07, 1, 10);
  Slot(d, 32, 1, 0x05, circular ? 0 : 500, 20);  // back to itself, or out of the container
  return d;
}

// The header in LBA 1, the entries from LBA 2, of sectors of the given size.
Image Gpt(std::uint32_t count, std::uint32_t entrySize, std::size_t sector = 512) {
  Image d(kSectors * sector, '\0');
  const std::size_t h = sector, a = 2 * sector;
  Slot(d, 0, 0, 0xEE, 1, kSectors - 1);
  std::memcpy(&d[h], "EFI PART", 8);
  Put32(d, h + 12, 92);
  Put64(d, h + 40, 6);
  Put64(d, h + 48, kSectors - 2);
  Put64(d, h + 72, 2);
  Put32(d, h + 80, count);
  Put32(d, h + 84, entrySize);
  std::size_t bytes = std::min<std::size_t>(std::size_t(count) * entrySize, d.size() - a);
  d[a] = static_cast<char>(0xA2);  // one used entry
  Put64(d, a + 32, 40);
  Put64(d, a + 40, 100);
  Put32(d, h + 88, Crc32(&d[a], bytes));
  Put32(d, h + 16, Crc32(&d[h], 92));
  return d;
}

}  // namespace

KX_FUZZ_TARGET {
  auto read = [&](std::uint64_t off, void* buf, std::size_t n) {
    if (off > size || n > size - off) return false;
    std::memcpy(buf, data + off, n);
    return true;
  };
  for (std::uint32_t sector : {512u, 4096u}) {
    auto t = platform::disks::ReadPartitionTable(read, size, sector);
    for (const auto& e : t.entries) {
      if (t.style == platform::PARTITION_STYLE_GPT && e.PartitionNumber != 0)
        KX_FUZZ_CHECK(e.StartingOffset >= 0 && e.PartitionLength > 0 &&
                      std::uint64_t(e.StartingOffset + e.PartitionLength) <= size);
    }
    if (t.style == platform::PARTITION_STYLE_MBR) KX_FUZZ_CHECK(t.entries.size() % 4 == 0);
  }
  return 0;
}

KX_FUZZ_SEEDS {
  std::vector<Image> base = {MbrWithChain(true), MbrWithChain(false), Gpt(32, 128), Gpt(0xFFFFFFFF, 128),
                             Gpt(4, 0xFFFFFFF8), Gpt(8, 4096), Gpt(32, 128, 4096)};
  std::mt19937 rng(20261207);
  for (const Image& b : base) {
    seeds.push_back(b);
    // Bytes changed where tables live: the MBR slots, the GPT header and
    // first entries, the first extended record.
    static const std::size_t hot[] = {446, 512, 1024, 32 * 512 + 446, 4096, 8192};
    for (int m = 0; m < 40; ++m) {
      Image d = b;
      for (int k = 0; k < 4; ++k) d[hot[rng() % std::size(hot)] + rng() % 96] = static_cast<char>(rng());
      seeds.push_back(d);
    }
  }
}
