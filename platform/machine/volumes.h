#pragma once
// Volumes by drive root ("E:\"): the drive mask, drive types, volume
// information, free space and labels, as the machine declares or the host
// reports them.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// Bit 0 = A: ... bit 25 = Z: for every letter the machine maps.
DWORD GetLogicalDrives();

// The type of a drive root ("E:\" or "E:"); DRIVE_NO_ROOT_DIR (1) for
// anything else or an unmapped letter.
UINT GetDriveType(std::wstring_view root);

// Label and file-system name of the volume at root. Fails with 21 for a drive
// without medium, 3 for an unmapped letter, 87 for a path that is not a root,
// 1005 for a partition without a file system (see PartitionVolume below).
[[nodiscard]] bool GetVolumeInformation(std::wstring_view root, std::wstring* label, std::wstring* fileSystem);

// Bytes free to the caller, total bytes and total free bytes of the volume
// holding path. Same failures as GetVolumeInformation. A volume on a
// partition counts the partition's size as its total; its free space is the
// mounted file system's, else (not mounted) the whole size.
[[nodiscard]] bool GetDiskFreeSpaceEx(std::wstring_view path, std::uint64_t* freeToCaller, std::uint64_t* total,
                        std::uint64_t* totalFree);

[[nodiscard]] bool SetVolumeLabel(std::wstring_view root, std::wstring_view label);

// Volumes on partitions of the machine's disks have their label written by
// the disk layer, which installs this writer (null: none); it is called
// after the label was taken for the life of the process.
struct DriveDecl;
using VolumeLabelWriter = bool (*)(const DriveDecl& drive, std::wstring_view label);
void SetVolumeLabelWriter(VolumeLabelWriter writer);

// A drive declared on a partition of one of the machine's disks ("disk =" and
// "partition =") whose folder is not a mount point has no file system of the
// host to answer for it: the disk layer reads the partition itself. True
// with the partition's size (its table entry), file-system name and label
// (the file system's own, as the system names them); false with 1005 when
// the partition holds no file system we know or does not exist.
struct PartitionVolume {
  std::uint64_t sizeBytes = 0;
  std::wstring fileSystem;
  std::wstring label;
};
using PartitionVolumeReader = bool (*)(int disk, int partition, PartitionVolume* volume);
void SetPartitionVolumeReader(PartitionVolumeReader reader);

}  // namespace platform
