#pragma once
// Our reader of a disk's partition table: the MBR with its chain of extended
// boot records, or the GPT (primary header, else the backup at the disk's end)
// with its entries, reported as the system's drive layout reports them.
//
// The input is untrusted (any stick can be plugged in): every offset, count
// and size read from the disk is checked against the disk's size before it is
// used, the extended chain is followed at most kMaxLogicalDrives links and
// never in a circle, and a table that does not hold together reads as no
// table (RAW).
//
// Every LBA on the disk counts logical sectors of the disk's own size (512
// bytes, or 4096 on large disks in USB enclosures): the GPT header is in
// LBA 1 and the backup in the last LBA, MBR start and count fields and the
// hidden sectors are in those sectors; only the MBR's layout inside sector
// 0 (446..511) is the same on every disk.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/disks/disklayout.h"

namespace platform::disks {

inline constexpr std::uint32_t kMinSectorSize = 512;
inline constexpr std::uint32_t kMaxSectorSize = 4096;
inline constexpr int kMaxLogicalDrives = 128;
inline constexpr std::uint32_t kMaxGptEntries = 1024;

// Reads size bytes at a byte offset of the disk; false when they cannot be read.
using DiskReader = std::function<bool(std::uint64_t offset, void* buffer, std::size_t size)>;

struct PartitionTable {
  DWORD style = PARTITION_STYLE_RAW;
  DWORD mbrSignature = 0;
  GUID gptDiskId{};
  std::int64_t usableStart = 0;
  std::int64_t usableLength = 0;
  DWORD maxPartitionCount = 0;
  // MBR: the four primary slots, then four slots per extended boot record
  // (the logical drive first, the link to the next record second), empty
  // slots included. GPT: the used entries in table order. Partition numbers
  // count the partitions that hold data (1-based); slots, containers and
  // links have number 0.
  std::vector<PARTITION_INFORMATION_EX> entries;
};

// GPT entry arrays already read and checked (up to 4 MiB each), so a disk
// that is queried again reads only its headers. An array is found by the
// disk's identity and the whole header sector that names it (location,
// count, size and check value of the array), so a changed table is read
// afresh. Thread-safe; holds the last few arrays.
class GptArrayCache {
 public:
  bool Find(const std::string& key, std::vector<std::uint8_t>* array) const;
  void Store(const std::string& key, const std::vector<std::uint8_t>& array);

 private:
  static constexpr std::size_t kArrays = 8;
  mutable std::mutex mutex_;
  std::deque<std::pair<std::string, std::vector<std::uint8_t>>> arrays_;
};

// sectorSize: the disk's logical sector size in bytes, a power of two from
// kMinSectorSize to kMaxSectorSize (any other reads as RAW). cache and
// diskIdentity (what tells this disk from others: device number, or file
// identity and time) are optional; without them every call reads the whole
// table.
PartitionTable ReadPartitionTable(const DiskReader& read, std::uint64_t diskSize, std::uint32_t sectorSize,
                                  GptArrayCache* cache = nullptr, const std::string& diskIdentity = {});

// The system's check value of GPT headers and entry arrays (CRC-32, IEEE).
std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

// True for the MBR types of extended containers (0x05, 0x0F, 0x85).
bool IsExtendedType(std::uint8_t type);

}  // namespace platform::disks
