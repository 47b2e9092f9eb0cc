#include "platform/disks/physicaldrive.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/number.h"
#include "platform/lasterror.h"
#include "platform/text.h"
#include "platform/machine/diskbacking.h"
#include "platform/machine/volumes.h"

namespace platform::disks {

namespace {

constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD kHeads = 255;
constexpr DWORD kSectorsPerTrack = 63;
constexpr int kFixedMedia = 12;
constexpr int kRemovableMedia = 11;
constexpr DWORD kGeometryExMinimum = sizeof(DISK_GEOMETRY) + sizeof(std::int64_t);

// A real disk's removable flag is the kernel's; a virtual one's the profile's.
bool IsRemovable(const DiskDecl& d) {
  if (d.removable || !d.image.empty() || d.hostDevice.rfind("/dev/", 0) != 0) return d.removable;
  std::ifstream in("/sys/block/" + d.hostDevice.substr(5) + "/removable");
  std::string flag;
  std::getline(in, flag);
  return flag == "1";
}

bool TooSmall() {
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return false;
}

}  // namespace

int PhysicalDriveNumber(std::wstring_view path) {
  std::wstring n = UpperCase(path);
  if (n.rfind(L"\\\\.\\", 0) != 0 && n.rfind(L"\\\\?\\", 0) != 0) return -1;
  n = n.substr(4);
  const std::wstring kName = L"PHYSICALDRIVE";
  if (n.rfind(kName, 0) != 0) return -1;
  n = n.substr(kName.size());
  if (!n.empty() && n.back() == L'\\') n.pop_back();
  if (n.empty() || n.size() > 3 || n.find_first_not_of(L"0123456789") != std::wstring::npos) return -1;
  return platform::ParseNumber<int>(n).value_or(-1);
}

std::unique_ptr<PhysicalDrive> PhysicalDrive::Open(std::wstring_view path, bool write) {
  int number = PhysicalDriveNumber(path);
  if (number < 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return Open(number, write);
}

std::unique_ptr<PhysicalDrive> PhysicalDrive::Open(int number, bool write) {
  auto decl = CurrentMachine().Disk(number);
  if (!decl || decl->Backing().empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  int fd = ::open(decl->Backing().c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno));
    return nullptr;
  }
  DiskDecl d = *decl;
  d.removable = IsRemovable(d);
  d.sectorSize = LogicalSectorSize(fd, d.sectorSize);
  return std::unique_ptr<PhysicalDrive>(new PhysicalDrive(std::move(d), fd));
}

PhysicalDrive::~PhysicalDrive() {
  if (fd_ >= 0) ::close(fd_);
}

std::uint64_t PhysicalDrive::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    if (S_ISREG(st.st_mode)) return static_cast<std::uint64_t>(st.st_size);
    std::uint64_t bytes = 0;
    if (S_ISBLK(st.st_mode) && ::ioctl(fd_, BLKGETSIZE64, &bytes) == 0) return bytes;
  }
  return decl_.sizeBytes;
}

bool PhysicalDrive::Read(std::uint64_t offset, void* buffer, std::size_t size) const {
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t n = ::pread(fd_, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

PartitionTable PhysicalDrive::Table() const {
  // Every query of a disk (layout, geometry, each partition's range) reads
  // its table; a GPT's entry array is read once and then found by header.
  static GptArrayCache cache;
  struct stat st {};
  std::string identity;
  if (::fstat(fd_, &st) == 0)
    identity = S_ISBLK(st.st_mode) ? "b" + std::to_string(st.st_rdev)
                                   : "f" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
                                         std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                                         std::to_string(st.st_mtim.tv_nsec);
  return ReadPartitionTable([this](std::uint64_t o, void* b, std::size_t s) { return Read(o, b, s); }, Size(),
                            decl_.sectorSize, &cache, identity);
}

bool PhysicalDrive::IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                              DWORD* returned) const {
  if (returned) *returned = 0;
  const std::uint64_t size = Size();
  DISK_GEOMETRY geometry{};
  const std::uint64_t cylinderBytes = std::uint64_t(kHeads) * kSectorsPerTrack * decl_.sectorSize;
  geometry.Cylinders = static_cast<std::int64_t>(size / cylinderBytes);
  geometry.MediaType = decl_.removable ? kRemovableMedia : kFixedMedia;
  geometry.TracksPerCylinder = kHeads;
  geometry.SectorsPerTrack = kSectorsPerTrack;
  geometry.BytesPerSector = decl_.sectorSize;

  switch (code) {
    case IOCTL_DISK_GET_DRIVE_GEOMETRY: {
      if (outSize < sizeof geometry) return TooSmall();
      std::memcpy(out, &geometry, sizeof geometry);
      if (returned) *returned = sizeof geometry;
      return true;
    }
    case IOCTL_DISK_GET_DRIVE_GEOMETRY_EX: {
      if (outSize < kGeometryExMinimum) return TooSmall();
      PartitionTable table = Table();
      DISK_GEOMETRY_EX g{};
      g.Geometry = geometry;
      g.DiskSize = static_cast<std::int64_t>(size);
      g.Partition.SizeOfPartitionInfo = sizeof g.Partition;
      g.Partition.PartitionStyle = table.style;
      if (table.style == PARTITION_STYLE_MBR) g.Partition.Mbr.Signature = table.mbrSignature;
      if (table.style == PARTITION_STYLE_GPT) g.Partition.Gpt.DiskId = table.gptDiskId;
      DWORD n = std::min<DWORD>(outSize, sizeof g);
      std::memcpy(out, &g, n);
      if (returned) *returned = n;
      return true;
    }
    case IOCTL_DISK_GET_DRIVE_LAYOUT_EX: {
      PartitionTable table = Table();
      const std::size_t count = table.style == PARTITION_STYLE_RAW ? 0 : table.entries.size();
      const std::size_t needed = kDriveLayoutHeaderSize + count * sizeof(PARTITION_INFORMATION_EX);
      if (outSize < std::max<std::size_t>(needed, sizeof(DRIVE_LAYOUT_INFORMATION_EX))) return TooSmall();
      std::memset(out, 0, outSize);
      auto* layout = static_cast<DRIVE_LAYOUT_INFORMATION_EX*>(out);
      layout->PartitionStyle = table.style;
      layout->PartitionCount = static_cast<DWORD>(count);
      if (table.style == PARTITION_STYLE_MBR) layout->Mbr.Signature = table.mbrSignature;
      if (table.style == PARTITION_STYLE_GPT) {
        layout->Gpt.DiskId = table.gptDiskId;
        layout->Gpt.StartingUsableOffset = table.usableStart;
        layout->Gpt.UsableLength = table.usableLength;
        layout->Gpt.MaxPartitionCount = table.maxPartitionCount;
      }
      auto* entries = reinterpret_cast<std::uint8_t*>(out) + kDriveLayoutHeaderSize;
      for (std::size_t i = 0; i < count; ++i)
        std::memcpy(entries + i * sizeof(PARTITION_INFORMATION_EX), &table.entries[i],
                    sizeof(PARTITION_INFORMATION_EX));
      if (returned) *returned = static_cast<DWORD>(std::max<std::size_t>(needed, sizeof(DRIVE_LAYOUT_INFORMATION_EX)));
      return true;
    }
    case IOCTL_STORAGE_QUERY_PROPERTY: {
      if (!in || inSize < 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
      }
      if (outSize < sizeof(STORAGE_DEVICE_DESCRIPTOR)) return TooSmall();
      STORAGE_DEVICE_DESCRIPTOR desc{};
      desc.Version = sizeof desc;
      desc.Size = sizeof desc;
      desc.RemovableMedia = decl_.removable ? 1 : 0;
      desc.BusType = decl_.busType;
      std::memcpy(out, &desc, sizeof desc);
      if (returned) *returned = sizeof desc;
      return true;
    }
    default:
      SetLastError(ERROR_INVALID_FUNCTION);
      return false;
  }
}

UINT GetDriveType(std::wstring_view path) {
  int number = PhysicalDriveNumber(path);
  if (number < 0) return platform::GetDriveType(path);
  auto decl = CurrentMachine().Disk(number);
  if (!decl) return DRIVE_NO_ROOT_DIR;
  return IsRemovable(*decl) ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

}  // namespace platform::disks
