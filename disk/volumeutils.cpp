#include "disk/volumeutils.h"

#include <cwchar>

#include "platform/machine/deviceio.h"
#include "platform/lasterror.h"
#include "platform/machine/volumes.h"

namespace {

constexpr double kBytesPerMB = 1048576.0;
constexpr size_t kMaxLabel = 11;

std::wstring RootOfFirstChar(const std::wstring& path) {
  return path.empty() ? std::wstring() : std::wstring(1, path[0]) + L":\\";
}

}  // namespace

double GetFreeSpaceMB(const std::wstring& root) {
  std::uint64_t free = 0;
  if (!platform::GetDiskFreeSpaceEx(root, &free, nullptr, nullptr)) return 0;
  return static_cast<double>(free / 1048576ull);
}

double GetTotalSpaceMB(const std::wstring& root) {
  std::uint64_t total = 0;
  if (!platform::GetDiskFreeSpaceEx(root, nullptr, &total, nullptr)) return 0;
  return static_cast<double>(total / 1048576ull);
}

bool IsFixedOrRemovable(const std::wstring& path) {
  platform::UINT type = platform::GetDriveType(RootOfFirstChar(path));
  return type == platform::DRIVE_REMOVABLE || type == platform::DRIVE_FIXED;
}

bool IsCdRom(const std::wstring& path) { return platform::GetDriveType(path) == platform::DRIVE_CDROM; }

bool IsUsbBusVolume(const std::wstring& path) {
  if (!IsFixedOrRemovable(path)) return false;
  wchar_t name[16];
  std::swprintf(name, 16, L"\\\\?\\%lc:", path[0]);
  auto device = platform::Device::Open(name);
  if (!device) return false;
  platform::STORAGE_PROPERTY_QUERY query;
  platform::STORAGE_DEVICE_DESCRIPTOR descriptor{};
  platform::DWORD returned = 0;
  if (!device->IoControl(platform::IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor,
                         sizeof descriptor, &returned))
    return false;
  return descriptor.BusType == platform::BusTypeUsb;
}

bool IsNtfs(const std::wstring& root) {
  std::wstring fs;
  if (!platform::GetVolumeInformation(root, nullptr, &fs)) return false;
  return fs == L"NTFS";
}

std::wstring GetVolumeLabel(const std::wstring& root) {
  std::wstring label;
  if (!platform::GetVolumeInformation(root, &label, nullptr)) return {};
  if (label.size() >= platform::MAX_PATH) label.resize(platform::MAX_PATH - 1);
  return label;
}

bool IsVolumeReady(const std::wstring& root) {
  if (platform::GetVolumeInformation(root, nullptr, nullptr)) return true;
  platform::DWORD e = platform::GetLastError();
  return e != platform::ERROR_INVALID_PARAMETER && e != platform::ERROR_NOT_READY;
}

int GetVolumeDiskNumber(const std::wstring& letter) {
  wchar_t name[16];
  std::swprintf(name, 16, L"\\\\.\\%ls:", letter.c_str());
  auto device = platform::Device::Open(name);
  if (!device) return -1;
  platform::VOLUME_DISK_EXTENTS extents{};
  platform::DWORD returned = 0;
  if (!device->IoControl(platform::IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents, sizeof extents,
                         &returned))
    return -1;
  return static_cast<int>(extents.Extents[0].DiskNumber);
}

int GetPhysicalDiskSizeMB(int diskNumber) {
  wchar_t name[32];
  std::swprintf(name, 32, L"\\\\.\\PHYSICALDRIVE%d", diskNumber);
  auto device = platform::Device::Open(name);
  if (!device) return 0;
  platform::DISK_GEOMETRY g{};
  platform::DWORD returned = 0;
  if (!device->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned)) return 0;
  std::int64_t bytes = g.Cylinders * g.TracksPerCylinder * g.SectorsPerTrack * g.BytesPerSector;
  return static_cast<int>(bytes / static_cast<std::int64_t>(kBytesPerMB));
}

std::wstring MakeVolumeLabel(const std::wstring& name) {
  if (name.empty()) return L"NONAME";
  if (name.size() > kMaxLabel) return name.substr(0, 9) + L"~1";
  return name;
}

void SetDriveLabel(const std::wstring& drive, const std::wstring& label) {
  // A stick without its label still boots and installs: nobody is told.
  static_cast<void>(platform::SetVolumeLabel(RootOfFirstChar(drive), label));
}
