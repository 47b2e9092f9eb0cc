#include "platform/disks/diskclaim.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/machine/machine.h"

namespace platform::disks {

namespace fs = std::filesystem;

namespace {

constexpr char kSysDevBlock[] = "/sys/dev/block/";
constexpr int kRereadTries = 5;            // udev may still hold a partition open for a moment
constexpr useconds_t kRereadPauseUs = 200000;

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The node of a device number ("7:3" -> "/dev/loop3"), checked to be that
// device; "" when there is none.
std::string DeviceNode(const std::string& id) {
  std::ifstream uevent(kSysDevBlock + id + "/uevent");
  std::string name;
  for (std::string line; std::getline(uevent, line);)
    if (line.rfind("DEVNAME=", 0) == 0) name = line.substr(8);
  if (name.empty() || name.find("..") != std::string::npos) return {};
  const std::string node = "/dev/" + name;
  struct stat st {};
  if (::stat(node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
  return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)) == id ? node : std::string();
}

// The whole disk a partition belongs to ("" for a whole disk).
std::string WholeDiskOf(const std::string& id) {
  std::error_code ec;
  const fs::path node = fs::canonical(kSysDevBlock + id, ec);
  if (ec || !fs::exists(node / "partition", ec)) return {};
  return FirstLine(node.parent_path() / "dev");
}

bool Contains(const std::vector<std::string>& list, const std::string& id) {
  return std::find(list.begin(), list.end(), id) != list.end();
}

}  // namespace

std::string ProbeClaims(const DiskUse& use, ClaimProbe probe) {
  // Disks under a volume mounted here: the whole disk cannot be claimed
  // while its partition is mounted, and the mount goes first anyway.
  std::vector<std::string> leftOut;
  if (probe == ClaimProbe::BeforeUnmount) {
    for (const std::string& id : use.mountedHere) {
      leftOut.push_back(id);
      if (std::string whole = WholeDiskOf(id); !whole.empty()) leftOut.push_back(whole);
    }
  }
  for (const std::string& id : use.devices) {
    if (Contains(leftOut, id)) continue;
    const std::string node = DeviceNode(id);
    if (node.empty()) continue;
    // Read-only and non-blocking: the open itself changes nothing and
    // waits for nothing; O_EXCL on a block device is the kernel's claim.
    const int fd = ::open(node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      ::close(fd);
      continue;
    }
    if (errno == EBUSY) return std::string(kInUseBySystem) + " (" + node + ")";
  }
  return {};
}

std::string DiskRefusal(const std::string& backing) {
  const DiskUse use = ExamineDisk(backing);
  return use.refusal.empty() ? ProbeClaims(use, ClaimProbe::BeforeUnmount) : use.refusal;
}

std::string DiskRefusalOfDisk(int disk) {
  auto decl = CurrentMachine().Disk(disk);
  return decl && !decl->Backing().empty() ? DiskRefusal(decl->Backing()) : std::string();
}

std::unique_ptr<WholeDiskClaim> WholeDiskClaim::Take(const std::string& backing, std::string* error) {
  struct stat st {};
  const bool block = ::stat(backing.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
  const int fd = ::open(backing.c_str(), O_RDWR | O_CLOEXEC | (block ? O_EXCL : 0));
  if (fd < 0) {
    *error = errno == EBUSY ? "The disk is " + std::string(kInUseBySystem) + " (" + backing + ")."
                            : "The disk cannot be opened for writing: " + backing;
    return nullptr;
  }
  return std::unique_ptr<WholeDiskClaim>(new WholeDiskClaim(fd, block));
}

WholeDiskClaim::~WholeDiskClaim() { ::close(fd_); }

bool WholeDiskClaim::Reread(std::string* error) {
  if (!block_) return true;
  // Through our own exclusive descriptor the kernel takes no claim of its
  // own; it refuses (EBUSY) while a partition is open anywhere, which a
  // desktop's probe after our write may be for a moment.
  for (int attempt = 0; attempt < kRereadTries; ++attempt) {
    if (::ioctl(fd_, BLKRRPART) == 0) return true;
    // A device the kernel keeps no partitions of (a loop device without
    // partition scanning) has nothing to re-read.
    if (errno == EINVAL) return true;
    if (errno != EBUSY) break;
    ::usleep(kRereadPauseUs);
  }
  *error = "The kernel did not take the new partition table: a partition of the disk is in use.";
  return false;
}

}  // namespace platform::disks
