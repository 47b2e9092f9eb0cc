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
// without medium, 3 for an unmapped letter, 87 for a path that is not a root.
bool GetVolumeInformation(std::wstring_view root, std::wstring* label, std::wstring* fileSystem);

// Bytes free to the caller, total bytes and total free bytes of the volume
// holding path. Same failures as GetVolumeInformation.
bool GetDiskFreeSpaceEx(std::wstring_view path, std::uint64_t* freeToCaller, std::uint64_t* total,
                        std::uint64_t* totalFree);

bool SetVolumeLabel(std::wstring_view root, std::wstring_view label);

// Volumes on partitions of the machine's disks have their label written by
// the disk layer, which installs this writer (null: none); it is called
// after the label was taken for the life of the process.
struct DriveDecl;
using VolumeLabelWriter = bool (*)(const DriveDecl& drive, std::wstring_view label);
void SetVolumeLabelWriter(VolumeLabelWriter writer);

}  // namespace platform
