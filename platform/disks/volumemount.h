#pragma once
// Mounts of partitions of the machine's disks, so a formatted volume is
// reachable at its letter: a loop device over the partition's byte range and
// the file system in user space (ntfs-3g for NTFS, fusefat for FAT32; this
// kernel has no FAT or NTFS driver of its own). Every mount is recorded in
// the volume record and released, with its data flushed to the disk, when
// the process whose job made it ends.

#include <cstdint>
#include <string>

#include "platform/disks/volumerecord.h"

namespace platform::disks {

// The first file size a FAT32 volume mounted here cannot take: the FAT32
// limit is 4 GiB, but the user-space FAT driver writes no file past 2 GiB
// (it stops there with an error), so sources are checked against this.
inline constexpr std::uint64_t kFat32FileLimit = 2ull * 1024 * 1024 * 1024;

// Mounts partition of disk with the file system named ("FAT32" or "NTFS")
// under the prefix; false with a one-line reason in *error.
bool MountPartition(int disk, int partition, const std::wstring& fileSystem, std::string* folder, std::string* loop,
                    std::string* error);

// Unmounts one recorded mount: the file-system daemon ends after writing
// everything out, then the pending label is written, the loop device goes
// and the disk is flushed. False (the mount stays) when it is busy.
bool UnmountVolume(const VolumeEntry& entry, std::string* error);

// Unmounts the recorded mounts of a disk (before the disk is changed) and
// any host mount of its partitions; false when one is busy.
bool UnmountDisk(int disk, std::string* error);

// Releases every recorded mount owned by this process; the record keeps the
// letters. Called at exit, and by a job that ends.
void ReleaseVolumes();

}  // namespace platform::disks
