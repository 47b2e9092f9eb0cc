#pragma once
// The system's NT object names for disks and volumes, and the DOS devices of
// drive letters:
//   \Device\Harddisk<N>\Partition<M>  ->  \Device\HarddiskVolume<K>
// with one stable K per partition (disk N, partition M of its table), and a
// letter whose volume is that partition resolves ("E:") to the same name.
// Volumes without a letter are read through their NT name (libblkid on the
// partition's byte range).

#include <memory>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform::disks {

// NT status values, as the native calls return them.
inline constexpr std::int32_t kStatusSuccess = 0;
inline constexpr std::int32_t kStatusObjectNameNotFound = static_cast<std::int32_t>(0xC0000034);
inline constexpr std::int32_t kStatusBufferTooSmall = static_cast<std::int32_t>(0xC0000023);

// The volume name of a partition, "\Device\HarddiskVolume<K>".
std::wstring VolumeNameOf(int disk, int partition);

// The target of a symbolic link object (names compared without case).
// "\Device\Harddisk<N>\Partition<M>" resolves when disk N's table has
// partition M (Partition0 is the whole disk, "\Device\Harddisk<N>\DR<N>").
// A result over maxBytes (UTF-16 bytes with the terminator) is
// kStatusBufferTooSmall.
std::int32_t QuerySymbolicLink(std::wstring_view name, std::wstring* target, std::size_t maxBytes);

// QueryDosDevice for one name ("E:", or a name DefineDosDevice made): the
// first target. 0 with last error 2 when the name has none.
DWORD QueryDosDevice(std::wstring_view dosName, std::wstring* target);
// DefineDosDevice with the raw-target flag, for names that are not drive
// letters of the machine (such as "1:"); the definition lives as long as the
// process. False with 87 for a drive letter or an empty name.
bool DefineDosDevice(std::wstring_view dosName, std::wstring_view ntTarget);

// "C:\", "D:\" ... each followed by a terminator, one more at the end; the
// number of characters written without the last terminator, or the size
// needed when bufferChars is too small.
DWORD GetLogicalDriveStrings(DWORD bufferChars, wchar_t* buffer);

// A volume opened through its NT name ("\Device\HarddiskVolume<K>", or
// "\\.\<name>" for a name DefineDosDevice points at one).
class VolumeHandle {
 public:
  static std::unique_ptr<VolumeHandle> Open(std::wstring_view path);
  // The file-system name as the system names it (FAT32, NTFS, exFAT ...)
  // and the label; false with 1005 (unrecognized volume) when the partition
  // holds no file system we know.
  bool GetVolumeInformation(std::wstring* label, std::wstring* fileSystem) const;
  int Disk() const { return disk_; }
  int Partition() const { return partition_; }

 private:
  VolumeHandle(int disk, int partition) : disk_(disk), partition_(partition) {}
  int disk_;
  int partition_;
};

// Byte range of partition M on disk N; false when there is no such partition.
bool PartitionRange(int disk, int partition, std::int64_t* offset, std::int64_t* length);

}  // namespace platform::disks
