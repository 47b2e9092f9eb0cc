#pragma once
// Table edits of our disk tool on libfdisk: wipe, one new primary partition,
// the partition type and the active flag. Partitions are named by their
// start sector, so the system's numbering (data partitions in table order)
// never has to match libfdisk's.

#include <cstdint>
#include <string>

namespace diskpart {

// Zeroes the first and the last MiB: the MBR, a GPT and its backup go.
bool WipeTables(const std::string& backing, std::uint64_t diskSize, std::string* error);
// The functions below count in the disk's logical sectors of sectorSize
// bytes (the size the disk reports: libfdisk is told it, so an image file
// is partitioned as the device it stands for).

// A primary partition over the largest free space from 1 MiB on, an MBR
// made first when the disk has none. Its start sector in *start.
bool CreatePrimary(const std::string& backing, std::uint32_t sectorSize, std::uint8_t type, std::uint64_t* start,
                   std::string* error);
bool SetPartitionType(const std::string& backing, std::uint32_t sectorSize, std::uint64_t start, std::uint8_t type,
                      std::string* error);
// The partition at start becomes the only active one of the MBR.
bool MakeActive(const std::string& backing, std::uint32_t sectorSize, std::uint64_t start, std::string* error);

}  // namespace diskpart
