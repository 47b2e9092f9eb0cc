#include "platform/disks/partitiontable.h"

#include <array>
#include <cstring>
#include <set>

#include "platform/littleendian.h"

namespace platform::disks {

namespace {

constexpr std::uint16_t kBootSignature = 0xAA55;
constexpr std::uint8_t kProtectiveType = 0xEE;
constexpr std::size_t kSlotTable = 446;
constexpr std::size_t kSlotSize = 16;
constexpr std::uint32_t kGptHeaderMin = 92;


struct Slot {
  std::uint8_t boot;
  std::uint8_t type;
  std::uint32_t lba;
  std::uint32_t count;
};

using Sector = std::vector<std::uint8_t>;

// The disk as the reader sees it: its bytes, its size, its sector size.
struct Disk {
  const DiskReader& read;
  std::uint64_t size;
  std::uint64_t sector;
  std::uint64_t Sectors() const { return size / sector; }
};

bool ReadSector(const Disk& disk, std::uint64_t lba, Sector& s) {
  s.assign(disk.sector, 0);
  if (lba >= disk.Sectors()) return false;
  return disk.read(lba * disk.sector, s.data(), s.size());
}

bool HasBootSignature(const Sector& s) { return (s[510] | s[511] << 8) == kBootSignature; }

Slot SlotAt(const Sector& s, int i) {
  const std::uint8_t* p = s.data() + kSlotTable + i * kSlotSize;
  return Slot{p[0], p[4], ReadLe32(p + 8), ReadLe32(p + 12)};
}

bool IsRecognized(std::uint8_t type) {
  switch (type) {
    case 0x01: case 0x04: case 0x06: case 0x07: case 0x0B: case 0x0C: case 0x0E: case 0x42:
      return true;
    default:
      return false;
  }
}

// base and lba are below 2^33 and a sector at most 4096 bytes: no overflow.
PARTITION_INFORMATION_EX MbrEntry(const Slot& slot, std::uint64_t base, std::uint64_t sector) {
  PARTITION_INFORMATION_EX e{};
  e.PartitionStyle = PARTITION_STYLE_MBR;
  if (slot.type == 0) return e;
  e.StartingOffset = static_cast<std::int64_t>((base + slot.lba) * sector);
  e.PartitionLength = static_cast<std::int64_t>(std::uint64_t(slot.count) * sector);
  e.Mbr.PartitionType = slot.type;
  e.Mbr.BootIndicator = slot.boot == 0x80;
  e.Mbr.RecognizedPartition = IsRecognized(slot.type);
  e.Mbr.HiddenSectors = static_cast<DWORD>(base + slot.lba);
  return e;
}

// The chain of extended boot records, four slots each. A record outside the
// container, one seen before, or one without the boot signature ends it.
void ReadExtendedChain(const Disk& disk, const Slot& container, std::vector<PARTITION_INFORMATION_EX>& out) {
  const std::uint64_t first = container.lba;
  const std::uint64_t last = first + container.count;  // one past
  std::set<std::uint64_t> seen;
  std::uint64_t ebr = first;
  for (int n = 0; n < kMaxLogicalDrives; ++n) {
    if (ebr < first || ebr >= last || !seen.insert(ebr).second) return;
    Sector s;
    if (!ReadSector(disk, ebr, s) || !HasBootSignature(s)) return;
    Slot logical = SlotAt(s, 0), link = SlotAt(s, 1);
    if (logical.type == 0 && link.type == 0) return;
    if (logical.type != 0 && (logical.count == 0 || ebr + logical.lba + logical.count > last)) return;
    out.push_back(MbrEntry(logical, ebr, disk.sector));
    PARTITION_INFORMATION_EX linkEntry = MbrEntry(link, first, disk.sector);
    out.push_back(IsExtendedType(link.type) ? linkEntry : PARTITION_INFORMATION_EX{});
    out.back().PartitionStyle = PARTITION_STYLE_MBR;
    for (int i = 2; i < 4; ++i) out.push_back(MbrEntry(Slot{}, 0, disk.sector));
    if (!IsExtendedType(link.type)) return;
    ebr = first + link.lba;
  }
}

bool ReadMbr(const Disk& disk, const Sector& s, PartitionTable& t) {
  const std::uint64_t sectors = disk.Sectors();
  t.style = PARTITION_STYLE_MBR;
  t.mbrSignature = ReadLe32(s.data() + 440);
  int extended = -1;
  for (int i = 0; i < 4; ++i) {
    Slot slot = SlotAt(s, i);
    if (slot.boot != 0 && slot.boot != 0x80) return false;  // not a partition table
    if (slot.type != 0 && (slot.count == 0 || std::uint64_t(slot.lba) + slot.count > sectors)) return false;
    if (IsExtendedType(slot.type) && extended < 0) extended = i;
    t.entries.push_back(MbrEntry(slot, 0, disk.sector));
  }
  if (extended >= 0) ReadExtendedChain(disk, SlotAt(s, extended), t.entries);
  DWORD number = 0;
  for (auto& e : t.entries)
    if (e.Mbr.PartitionType != 0 && !IsExtendedType(e.Mbr.PartitionType)) e.PartitionNumber = ++number;
  return true;
}

struct ArrayCacheRef {
  GptArrayCache* cache;
  const std::string& identity;
};

bool ReadGptAt(const Disk& disk, std::uint64_t headerLba, PartitionTable& t, const ArrayCacheRef& cached) {
  Sector h;
  if (!ReadSector(disk, headerLba, h) || std::memcmp(h.data(), "EFI PART", 8) != 0) return false;
  std::uint32_t headerSize = ReadLe32(h.data() + 12);
  if (headerSize < kGptHeaderMin || headerSize > disk.sector) return false;
  std::uint32_t crc = ReadLe32(h.data() + 16);
  Sector copy = h;
  std::memset(copy.data() + 16, 0, 4);
  if (Crc32(copy.data(), headerSize) != crc) return false;
  const std::uint64_t sectors = disk.Sectors();
  std::uint64_t firstUsable = ReadLe64(h.data() + 40), lastUsable = ReadLe64(h.data() + 48);
  std::uint64_t entriesLba = ReadLe64(h.data() + 72);
  std::uint32_t count = ReadLe32(h.data() + 80), entrySize = ReadLe32(h.data() + 84);
  std::uint32_t entriesCrc = ReadLe32(h.data() + 88);
  if (firstUsable > lastUsable || lastUsable >= sectors || count > kMaxGptEntries || entrySize < 128 ||
      entrySize > 4096 || entrySize % 8 != 0)
    return false;
  std::uint64_t bytes = std::uint64_t(count) * entrySize;
  if (entriesLba >= sectors || entriesLba * disk.sector + bytes > disk.size) return false;
  std::vector<std::uint8_t> array;
  const std::string key = cached.identity + '\n' + std::to_string(disk.sector) + '\n' + std::to_string(headerLba) + '\n' +
                          std::string(reinterpret_cast<const char*>(h.data()), h.size());
  if (!cached.cache || cached.identity.empty() || !cached.cache->Find(key, &array) || array.size() != bytes) {
    array.assign(bytes, 0);
    if (bytes && !disk.read(entriesLba * disk.sector, array.data(), array.size())) return false;
    if (Crc32(array.data(), array.size()) != entriesCrc) return false;
    if (cached.cache && !cached.identity.empty()) cached.cache->Store(key, array);
  }

  t.style = PARTITION_STYLE_GPT;
  std::memcpy(&t.gptDiskId, h.data() + 56, sizeof(GUID));
  t.usableStart = static_cast<std::int64_t>(firstUsable * disk.sector);
  t.usableLength = static_cast<std::int64_t>((lastUsable - firstUsable + 1) * disk.sector);
  t.maxPartitionCount = count;
  static const std::uint8_t kZero[16] = {};
  DWORD number = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* p = array.data() + std::size_t(i) * entrySize;
    if (std::memcmp(p, kZero, 16) == 0) continue;
    std::uint64_t first = ReadLe64(p + 32), last = ReadLe64(p + 40);
    if (first > last || last >= sectors) continue;  // an entry that cannot be on this disk
    PARTITION_INFORMATION_EX e{};
    e.PartitionStyle = PARTITION_STYLE_GPT;
    e.StartingOffset = static_cast<std::int64_t>(first * disk.sector);
    e.PartitionLength = static_cast<std::int64_t>((last - first + 1) * disk.sector);
    e.PartitionNumber = ++number;
    std::memcpy(&e.Gpt.PartitionType, p, 16);
    std::memcpy(&e.Gpt.PartitionId, p + 16, 16);
    e.Gpt.Attributes = ReadLe64(p + 48);
    for (int c = 0; c < 36; ++c) e.Gpt.Name[c] = static_cast<char16_t>(p[56 + 2 * c] | p[57 + 2 * c] << 8);
    t.entries.push_back(e);
  }
  return true;
}

}  // namespace

bool IsExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  const auto* p = static_cast<const std::uint8_t*>(data);
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

bool GptArrayCache::Find(const std::string& key, std::vector<std::uint8_t>* array) const {
  std::lock_guard lock(mutex_);
  for (const auto& [k, a] : arrays_) {
    if (k != key) continue;
    *array = a;
    return true;
  }
  return false;
}

void GptArrayCache::Store(const std::string& key, const std::vector<std::uint8_t>& array) {
  std::lock_guard lock(mutex_);
  std::erase_if(arrays_, [&](const auto& entry) { return entry.first == key; });
  arrays_.emplace_back(key, array);
  if (arrays_.size() > kArrays) arrays_.pop_front();
}

PartitionTable ReadPartitionTable(const DiskReader& read, std::uint64_t diskSize, std::uint32_t sectorSize,
                                  GptArrayCache* cache, const std::string& diskIdentity) {
  const ArrayCacheRef cached{cache, diskIdentity};
  PartitionTable t;
  const bool powerOfTwo = (sectorSize & (sectorSize - 1)) == 0;
  if (!powerOfTwo || sectorSize < kMinSectorSize || sectorSize > kMaxSectorSize) return t;
  const Disk disk{read, diskSize, sectorSize};
  Sector mbr;
  if (!ReadSector(disk, 0, mbr) || !HasBootSignature(mbr)) return t;
  bool protective = false;
  for (int i = 0; i < 4; ++i) protective |= SlotAt(mbr, i).type == kProtectiveType;
  if (protective) {
    // The backup header sits in the disk's last sector.
    if (ReadGptAt(disk, 1, t, cached)) return t;
    t = PartitionTable{};
    if (disk.Sectors() > 0 && ReadGptAt(disk, disk.Sectors() - 1, t, cached)) return t;
    return PartitionTable{};
  }
  if (!ReadMbr(disk, mbr, t)) return PartitionTable{};
  return t;
}

}  // namespace platform::disks
