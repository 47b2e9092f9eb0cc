#pragma once
// What a disk's backing (an image file or a block device) reports of itself:
// its size, and its logical sector size (what partition tables count in and
// what the device queries report as bytes per sector).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/machine/machine.h"

namespace platform {

// The kernel's logical block size (BLKSSZGET) when fd is a block device;
// else declared (a disk image's profile value). A device that does not
// answer, or answers a size outside 512..4096 or not a power of two, counts
// as declared.
std::uint32_t LogicalSectorSize(int fd, std::uint32_t declared);

// The same for a declared disk, asking its backing device (opened read-only
// without blocking, then closed); the declared size when it cannot be opened.
std::uint32_t LogicalSectorSize(const DiskDecl& disk);

// The size in bytes of a regular file or of a block device (BLKGETSIZE64);
// nothing for anything else or when it cannot be opened.
std::optional<std::uint64_t> BackingBytes(const std::string& path);

}  // namespace platform
