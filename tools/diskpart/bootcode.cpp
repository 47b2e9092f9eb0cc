#include "tools/diskpart/bootcode.h"

#include "platform/disks/diskclaim.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace diskpart {

namespace {
constexpr std::size_t kSector = 512;  // GRUB's unit, whatever the disk's
constexpr std::size_t kBootCodeBytes = 440;
constexpr std::size_t kDriveCheck = 0x66;
constexpr char kNop = static_cast<char>(0x90);

bool ReadAll(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}
}  // namespace

bool BootCode::Load(const std::string& folder, BootCode* code, std::string* error) {
  if (!ReadAll(folder + "/boot.img", &code->bootImg) || code->bootImg.size() < kBootCodeBytes ||
      !ReadAll(folder + "/core.img", &code->coreImg) || code->coreImg.empty()) {
    *error = "The boot code is missing from " + folder + ".";
    return false;
  }
  return true;
}

std::uint64_t BootCode::BytesNeeded() const { return (1 + (coreImg.size() + kSector - 1) / kSector) * kSector; }

bool WriteBootCode(const std::string& backing, const BootCode& code, std::uint64_t firstPartitionOffset,
                   std::uint32_t sectorSize, std::string* error) {
  if (firstPartitionOffset < code.BytesNeeded()) {
    *error = "The disk cannot be made bootable: its first partition starts at sector " +
             std::to_string(firstPartitionOffset / sectorSize) + ", and the boot loader needs the first " +
             std::to_string((code.BytesNeeded() + sectorSize - 1) / sectorSize) +
             " sectors. Clean the disk and create the partition again.";
    return false;
  }
  // Written through the whole disk's exclusive claim, released at the end.
  auto claim = platform::disks::WholeDiskClaim::Take(backing, error);
  if (!claim) return false;
  const int fd = claim->Fd();
  char mbr[kSector];
  bool ok = ::pread(fd, mbr, kSector, 0) == static_cast<ssize_t>(kSector);
  if (ok) {
    std::copy(code.bootImg.begin(), code.bootImg.begin() + kBootCodeBytes, mbr);
    mbr[kDriveCheck] = kNop;
    mbr[kDriveCheck + 1] = kNop;
    std::string core = code.coreImg;
    core.resize((core.size() + kSector - 1) / kSector * kSector, '\0');
    ok = ::pwrite(fd, core.data(), core.size(), kSector) == static_cast<ssize_t>(core.size()) &&
         ::pwrite(fd, mbr, kSector, 0) == static_cast<ssize_t>(kSector) && ::fsync(fd) == 0;
  }
  if (!ok) *error = "The boot code could not be written.";
  return ok;
}

}  // namespace diskpart
