#include "platform/machine/deviceio.h"

#include <cstring>
#include <string>

#include "platform/lasterror.h"
#include "platform/machine/machine.h"
#include "platform/machine/diskbacking.h"
#include "platform/text.h"
#include "platform/number.h"

namespace platform {

namespace {
inline constexpr DWORD ERROR_INVALID_FUNCTION = 1;
inline constexpr int FixedMedia = 12;
inline constexpr int RemovableMediaType = 11;
}  // namespace

std::unique_ptr<Device> Device::Open(std::wstring_view name) {
  std::wstring n = UpperCase(name);
  if (n.rfind(L"\\\\?\\", 0) != 0 && n.rfind(L"\\\\.\\", 0) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  n = n.substr(4);
  std::unique_ptr<Device> dev(new Device());
  const std::wstring kPhys = L"PHYSICALDRIVE";
  if (n.rfind(kPhys, 0) == 0) {
    std::wstring num = n.substr(kPhys.size());
    if (num.empty() || num.size() > 4 || num.find_first_not_of(L"0123456789") != std::wstring::npos) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    const int number = ParseNumber<int>(std::wstring_view(num)).value_or(-1);
    if (!CurrentMachine().Disk(number)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    dev->diskNumber_ = number;
    return dev;
  }
  if (n.size() == 2 && n[1] == L':' && n[0] >= L'A' && n[0] <= L'Z') {
    auto d = CurrentMachine().Drive(n[0]);
    if (!d) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    dev->letter_ = n[0];
    return dev;
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

bool Device::IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) const {
  if (returned) *returned = 0;
  auto tooSmall = [] {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  };
  if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
    if (!in || inSize < 8) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    if (outSize < sizeof(STORAGE_DEVICE_DESCRIPTOR)) return tooSmall();
    int bus = BusTypeUnknown;
    bool removable = false;
    if (letter_) {
      auto d = CurrentMachine().Drive(letter_);
      if (!d) return false;
      bus = d->busType;
      removable = d->driveType == DRIVE_REMOVABLE;
    } else if (auto disk = CurrentMachine().Disk(diskNumber_)) {
      bus = disk->busType;
    }
    STORAGE_DEVICE_DESCRIPTOR desc{};
    desc.Version = sizeof(desc);
    desc.Size = sizeof(desc);
    desc.RemovableMedia = removable ? 1 : 0;
    desc.BusType = bus;
    std::memcpy(out, &desc, sizeof(desc));
    if (returned) *returned = sizeof(desc);
    return true;
  }
  if (code == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS) {
    if (!letter_) {
      SetLastError(ERROR_INVALID_FUNCTION);
      return false;
    }
    if (outSize < sizeof(VOLUME_DISK_EXTENTS)) return tooSmall();
    auto d = CurrentMachine().Drive(letter_);
    if (!d || d->diskNumber < 0) {
      SetLastError(ERROR_INVALID_FUNCTION);
      return false;
    }
    VOLUME_DISK_EXTENTS ext{};
    ext.NumberOfDiskExtents = 1;
    ext.Extents[0].DiskNumber = static_cast<DWORD>(d->diskNumber);
    ext.Extents[0].StartingOffset = 1048576;
    ext.Extents[0].ExtentLength = static_cast<std::int64_t>(d->totalBytes.value_or(0));
    std::memcpy(out, &ext, sizeof(ext));
    if (returned) *returned = sizeof(ext);
    return true;
  }
  if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY) {
    if (diskNumber_ < 0) {
      SetLastError(ERROR_INVALID_FUNCTION);
      return false;
    }
    if (outSize < sizeof(DISK_GEOMETRY)) return tooSmall();
    auto disk = CurrentMachine().Disk(diskNumber_);
    if (!disk) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
    }
    DISK_GEOMETRY g{};
    const std::uint32_t sectorSize = LogicalSectorSize(*disk);
    g.Cylinders = static_cast<std::int64_t>(disk->Cylinders(sectorSize));
    g.MediaType = disk->busType == BusTypeUsb ? RemovableMediaType : FixedMedia;
    g.TracksPerCylinder = 255;
    g.SectorsPerTrack = 63;
    g.BytesPerSector = sectorSize;
    std::memcpy(out, &g, sizeof(g));
    if (returned) *returned = sizeof(g);
    return true;
  }
  SetLastError(ERROR_INVALID_FUNCTION);
  return false;
}

}  // namespace platform
