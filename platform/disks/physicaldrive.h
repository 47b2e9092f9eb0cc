#pragma once
// Whole disks by the system's name "\\.\PhysicalDrive<N>": a block device of
// the machine or a virtual disk (an image file) that the machine profile
// declares with its number, bus and removable flag. The device queries answer
// with the system's structures (disklayout.h): the geometry as the system
// reports it for LBA disks (255 heads, 63 sectors of the disk's logical
// sector size, whole cylinders), the partition table read from the disk
// itself, the storage descriptor with the bus type. The sector size is the
// device's own (BLKSSZGET) for a block device, the profile's for an image.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/disks/partitiontable.h"
#include "platform/machine/machine.h"

namespace platform::disks {

// The disk number of "\\.\PhysicalDrive<N>" in any case, optionally with a
// trailing backslash; -1 for any other name.
int PhysicalDriveNumber(std::wstring_view path);

class PhysicalDrive {
 public:
  // Opens the declared disk. Null with last error 2 when the machine has no
  // such disk, 5 when its backing file may not be opened as asked.
  static std::unique_ptr<PhysicalDrive> Open(std::wstring_view path, bool write = false);
  static std::unique_ptr<PhysicalDrive> Open(int number, bool write = false);
  ~PhysicalDrive();
  PhysicalDrive(const PhysicalDrive&) = delete;
  PhysicalDrive& operator=(const PhysicalDrive&) = delete;

  // IOCTL_DISK_GET_DRIVE_GEOMETRY(_EX), IOCTL_DISK_GET_DRIVE_LAYOUT_EX,
  // IOCTL_STORAGE_QUERY_PROPERTY. False with 122 when out is too small for
  // what the answer needs (the layout: 48 + 144 bytes per entry; the
  // extended geometry: at least its first 32 bytes, filled up to 56), 1 for
  // any other code, 87 for a missing query.
  bool IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) const;

  // The disk's size in bytes as its backing file or device reports it now.
  std::uint64_t Size() const;
  [[nodiscard]] bool Read(std::uint64_t offset, void* buffer, std::size_t size) const;
  PartitionTable Table() const;
  // The declaration, with the removable flag and the logical sector size
  // (sectorSize) as the opened device reports them.
  const DiskDecl& Decl() const { return decl_; }
  std::uint32_t SectorSize() const { return decl_.sectorSize; }
  int Fd() const { return fd_; }

 private:
  PhysicalDrive(DiskDecl decl, int fd) : decl_(std::move(decl)), fd_(fd) {}
  DiskDecl decl_;
  int fd_ = -1;
};

// GetDriveType for "\\.\PHYSICALDRIVE<N>\": 2 for a disk with removable
// media, 3 for a fixed one, 1 when there is no such disk; any other path as
// the volume service answers it.
UINT GetDriveType(std::wstring_view path);

}  // namespace platform::disks
