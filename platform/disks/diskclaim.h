#pragma once
// What the kernel itself says about a disk before anything is written to
// it. A block device opened with O_EXCL is refused (EBUSY) while something
// else holds it exclusively: a mounted file system in any mount namespace
// (an overlay's lower layer, a mount left only in another namespace),
// active swap (a swap file's file system too), a device-mapper, md or LVM
// holder, another partition editor or mkfs; a whole disk is refused while
// any of its partitions is held. mkfs claims its device the same way.
//
// Plain openers that do not ask for exclusivity, a virtual machine given
// the disk or dd, are seen by no claim: only the walk of diskuse.h (and
// the user's own care) stands between them and a format.
//
// The disk is the tree ExamineDisk walks: a block device with its
// partitions, or an image file with the loop devices over it and theirs.
// Devices that cannot be opened at all (no node, no rights) are passed
// over: a process without root writes no block device either.

#include <memory>
#include <string>

#include "platform/disks/diskuse.h"

namespace platform::disks {

// The refusal's reason, as "in use by the system (/dev/loop3p1)".
inline constexpr char kInUseBySystem[] = "in use by the system";

enum class ClaimProbe {
  // Before the volumes mounted here are unmounted (the format question,
  // choosing the disk): those and the disks they stand on are left out.
  BeforeUnmount,
  // Every device of the tree (after the unmount, after a table re-read).
  Everything,
};

// Opens each device of the examined disk exclusively and closes it at
// once; the reason naming the first busy device, "" when none is.
std::string ProbeClaims(const DiskUse& use, ClaimProbe probe);

// Why the disk behind backing may not be erased now: the walk's refusal,
// else the claims' (BeforeUnmount); "" when it may.
std::string DiskRefusal(const std::string& backing);
// The same for the machine's disk N ("" for a disk without backing).
std::string DiskRefusalOfDisk(int disk);

// The whole disk held exclusively while its table is written through this
// one descriptor and the kernel re-reads it; released (closed) before any
// other program (mkfs) opens the disk. An image file opens plainly: a file
// has no claim (the loop devices over it are probed instead).
class WholeDiskClaim {
 public:
  // null with *error set when the disk cannot be opened for writing, or
  // (EBUSY) is in use by the system.
  static std::unique_ptr<WholeDiskClaim> Take(const std::string& backing, std::string* error);
  ~WholeDiskClaim();
  WholeDiskClaim(const WholeDiskClaim&) = delete;
  WholeDiskClaim& operator=(const WholeDiskClaim&) = delete;

  int Fd() const { return fd_; }
  // Tells the kernel the new table (BLKRRPART) through the claim; true for
  // an image file. False with *error when the kernel refused it.
  bool Reread(std::string* error);

 private:
  WholeDiskClaim(int fd, bool block) : fd_(fd), block_(block) {}
  int fd_;
  bool block_;
};

}  // namespace platform::disks
