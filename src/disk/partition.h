#pragma once
// One entry of a drive's partition list: a partition, or a gap of
// unpartitioned space (number 0, kind 5, "Entry Unused").

#include <cstdint>
#include <string>

#include "platform/disks/disklayout.h"

namespace gs {

enum PartitionKind : int {
  kKindData = 0,
  kKindExtended = 1,
  kKindLogical = 2,
  kKindMsReserved = 3,
  kKindEfiSystem = 4,
  kKindUnused = 5,
};

}  // namespace gs

struct _Partition {
  int index = 0;             // position in the drive's list, gaps included
  int number = 0;            // the system's partition number; 0 for gaps
  std::int64_t sizeMB = 0;   // bytes / 1024 / 1024, rounded down
  int kind = gs::kKindData;
  std::wstring letter;       // "", "E", or "E:\" once the volume was read through it
  std::wstring fileSystem;   // file-system name or type text
  std::wstring label;        // "NONAME" for an empty label
  platform::PARTITION_INFORMATION_EX layoutEntry{};  // all zero for gaps
};
static_assert(sizeof(platform::PARTITION_INFORMATION_EX) == 144);
