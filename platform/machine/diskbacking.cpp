#include "platform/machine/diskbacking.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::uint32_t LogicalSectorSize(int fd, std::uint32_t declared) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) return declared;
  int size = 0;
  if (::ioctl(fd, BLKSSZGET, &size) != 0) return declared;
  const auto bytes = static_cast<std::uint32_t>(size);
  const bool powerOfTwo = bytes != 0 && (bytes & (bytes - 1)) == 0;
  return powerOfTwo && bytes >= kDefaultSectorSize && bytes <= kLargeSectorSize ? bytes : declared;
}

std::uint32_t LogicalSectorSize(const DiskDecl& disk) {
  if (disk.Backing().empty()) return disk.sectorSize;
  const int fd = ::open(disk.Backing().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return disk.sectorSize;
  const std::uint32_t size = LogicalSectorSize(fd, disk.sectorSize);
  ::close(fd);
  return size;
}

std::optional<std::uint64_t> BackingBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::uint64_t> bytes;
  std::uint64_t device = 0;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) bytes = static_cast<std::uint64_t>(st.st_size);
  else if (S_ISBLK(st.st_mode) && ::ioctl(fd, BLKGETSIZE64, &device) == 0) bytes = device;
  ::close(fd);
  return bytes;
}

}  // namespace platform
