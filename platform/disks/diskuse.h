#pragma once
// Whether a disk is one the running system uses. A disk is the whole tree of
// what stands on it: its partitions, the devices stacked on those (sysfs
// holders: device-mapper, md, LVM, LUKS) and loop devices whose backing file
// lies on any of them (or, for a disk image, is the image itself), to any
// depth. The disk is refused when anything in the tree is mounted at a place
// the system needs ("/", "/boot", "/boot/efi", "/usr", "/var", "/home", a
// mount point of /etc/fstab, the program's own folder), is active swap (a
// swap partition or a swap file on it), or is held by another device. Other
// mounts (a desktop's automount of a stick) are listed, to be unmounted
// before the disk is changed.
//
// Paths are resolved (realpath) before anything is tested, so a link to a
// device anywhere names that device; devices are matched by number, never
// by name prefix (/dev/loop3 is not /dev/loop30). A user-space file system
// (FUSE) shows no device in the mount table: its daemon, a process of the
// mount's owner whose command line names the mount point, names it.

#include <functional>
#include <string>
#include <vector>

namespace platform::disks {

// Where the facts come from: the host by default; tests build fake trees.
struct HostView {
  std::string sys = "/sys";
  std::string mountInfo = "/proc/self/mountinfo";
  std::string fstab = "/etc/fstab";
  std::string swaps = "/proc/swaps";
  std::string proc = "/proc";  // a user-space file system's daemon names its device here
  std::string programFolder;  // "" = the folder of /proc/self/exe
  // The device number ("8:1") a path stands for: a block device's own
  // number (*isBlock true) or that of the file system holding a file; ""
  // when the path cannot be looked at. The default resolves and stats it.
  std::function<std::string(const std::string& path, bool* isBlock)> deviceOf;
  // The real path of a path; the default is realpath (the path itself when
  // it cannot be resolved).
  std::function<std::string(const std::string& path)> realPath;
};

struct DiskUse {
  std::string refusal;              // why the disk may not be changed; "" when it may
  std::vector<std::string> mounts;  // mount points of its volumes elsewhere, deepest first
  std::vector<std::string> devices;      // device numbers ("7:3") of the whole tree
  std::vector<std::string> mountedHere;  // those a mount of this namespace holds (to be unmounted)
};

// Examines the disk behind a backing path (a block device or an image file).
DiskUse ExamineDisk(const std::string& backing, const HostView& host = {});

// The mounts of the machine's disk N that are not the program's own (under
// the prefix): what the format question names, since they are unmounted
// before the disk is changed. Empty for a disk that may not be changed.
std::vector<std::string> OtherMountsOfDisk(int disk);

}  // namespace platform::disks
