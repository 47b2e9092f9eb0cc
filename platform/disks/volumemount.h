#pragma once
// Mounts of partitions of the machine's disks, so a formatted volume is
// reachable at its letter: a loop device over the partition's byte range and
// the kernel's own driver for the file system (vfat, ntfs3) where the kernel
// has one, as every desktop kernel does; else the file system in user space
// (ntfs-3g for NTFS, fusefat for FAT32). Every mount is recorded in the
// volume record and released, with its data flushed to the disk, when the
// process whose job made it ends.

#include <cstdint>
#include <string>

#include "platform/disks/volumerecord.h"

namespace platform::disks {

// The first file size FAT32 cannot hold (its limit is 4 GiB - 1 byte).
inline constexpr std::uint64_t kFat32FileLimit = 4ull * 1024 * 1024 * 1024;
// The user-space FAT driver writes no file past 2 GiB (it stops there with
// an error), so where it is the only driver that is the limit.
inline constexpr std::uint64_t kFuseFat32FileLimit = 2ull * 1024 * 1024 * 1024;

// The kernel's driver for a file system ("FAT32" -> "vfat", "NTFS" ->
// "ntfs3") when the file-system table lists it; empty when only the
// user-space driver can mount it here.
std::string KernelDriverFor(const std::wstring& fileSystem, const std::string& table);
// The same for this machine (/proc/filesystems, after asking the kernel to
// load the module where it can).
std::string KernelDriverFor(const std::wstring& fileSystem);

// The first file size a FAT32 volume mounted on this machine cannot take:
// kFat32FileLimit with the kernel's driver, kFuseFat32FileLimit without.
std::uint64_t Fat32FileLimit();

// Mounts partition of disk with the file system named ("FAT32" or "NTFS")
// under the prefix; false with a one-line reason in *error.
[[nodiscard]] bool MountPartition(int disk, int partition, const std::wstring& fileSystem, std::string* folder, std::string* loop,
                    std::string* error);

// Unmounts one recorded mount: the volume is written out (syncfs), the
// file-system daemon ends, the pending label is written, the loop device is
// flushed and detached and the disk is flushed. False with the first failure
// in *error: when the volume is busy the mount stays (*gone false); when a
// write, flush, label or detach failed, the rest still ran and *gone tells
// whether the mount and loop device are gone.
[[nodiscard]] bool UnmountVolume(const VolumeEntry& entry, std::string* error, bool* gone = nullptr);

// Unmounts the recorded mounts of a disk (before the disk is changed) and
// any other mount of what stands on it (diskuse.h); false when one is busy,
// lost data, or the disk is one the system uses.
[[nodiscard]] bool UnmountDisk(int disk, std::string* error);

// Flushes the loop device (and so the disk behind it) below the recorded mount that holds
// hostPath, after its file system was written out (the file system's flush
// stops at the loop device, and a user-space driver's writes are not its
// file system's at all): a copy step onto a stick thus learns of lost data
// before it ends, not at the release. True when hostPath is on no recorded
// mount of ours; false with the last error set when a flush failed.
// Installed for platform::FlushVolume by ApplyVolumeRecord.
[[nodiscard]] bool FlushDevicesBelow(const std::string& hostPath);

// Releases every recorded mount owned by this process; the record keeps the
// letters. Called at exit, and by a job that ends, which must fail when this
// does: false with the first failure (data that did not reach the disk, a
// busy volume) in *error.
[[nodiscard]] bool ReleaseVolumes(std::string* error = nullptr);

// Releases the mounts whose owner has ended without releasing them (killed):
// our disk tool does this before it changes anything.
void ReleaseOrphanedVolumes();

}  // namespace platform::disks
