#include "src/disk/drivedata.h"

#include <stdexcept>
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "platform/disks/ntnames.h"
#include "platform/lasterror.h"
#include "platform/machine/volumes.h"
#include "src/disk/ntlink.h"

namespace gs {

namespace {

constexpr std::size_t kNtNameChars = 64;
constexpr std::size_t kLinkBufferBytes = 1024;
constexpr std::size_t kLetterListChars = 105;  // 26 entries of four and a terminator
constexpr platform::DWORD kFirstLayoutBuffer = 624;
constexpr platform::DWORD kLayoutGrowth = 576;
constexpr platform::DWORD kGeometrySizeBytes = 40;
constexpr platform::DWORD kStorageDescriptorBytes = 40;
const wchar_t kScratchDosName[] = L"1:";

std::wstring PartitionNtName(int disk, int partition) {
  wchar_t name[kNtNameChars];
  std::swprintf(name, kNtNameChars, L"\\Device\\Harddisk%d\\Partition%d", disk, partition);
  return name;
}

}  // namespace

const _Partition& DriveData::GetPartition(std::size_t index) const {
  if (index >= m_Partition.size()) throw std::out_of_range("internal error: Index < m_Partition.size()");
  return *m_Partition[index];
}

_Partition& DriveData::Append() {
  m_Partition.push_back(std::make_unique<_Partition>());
  m_Partition.back()->index = static_cast<int>(m_Partition.size() - 1);
  return *m_Partition.back();
}

void DriveData::AppendGap(std::int64_t bytes, int kind) {
  _Partition& gap = Append();
  gap.kind = kind;
  gap.fileSystem = kEntryUnused;
  gap.sizeMB = bytes / kBytesPerMB;
}

bool DriveData::GetPartitionLetter(int partitionNumber, wchar_t& letter) {
  letter = 0;
  std::wstring volume;
  if (!ResolveNtLink(PartitionNtName(m_Number, partitionNumber), &volume, kLinkBufferBytes)) return false;
  wchar_t drives[kLetterListChars] = {};
  platform::DWORD n = platform::disks::GetLogicalDriveStrings(kLetterListChars, drives);
  if (n == 0 || n >= kLetterListChars) return false;
  for (const wchar_t* p = drives; *p; p += std::wcslen(p) + 1) {
    std::wstring dos(p, 2);  // "C:\" -> "C:"
    std::wstring target;
    if (platform::disks::QueryDosDevice(dos, &target) != 0 && target == volume) {
      letter = p[0];
      return true;
    }
  }
  return false;
}

bool DriveData::GetVolumeInfo(_Partition& partition, std::wstring& fileSystem, std::wstring& label) {
  fileSystem.clear();
  label.clear();
  std::wstring name, fs;
  bool read = false;
  if (!partition.letter.empty()) {
    partition.letter += L":\\";
    read = platform::GetVolumeInformation(partition.letter, &name, &fs);
  } else {
    std::wstring volume;
    if (!ResolveNtLink(PartitionNtName(m_Number, partition.number), &volume, kLinkBufferBytes)) return false;
    auto handle = platform::disks::VolumeHandle::Open(volume);
    if (!handle) {
      platform::disks::DefineDosDevice(kScratchDosName, volume);
      handle = platform::disks::VolumeHandle::Open(std::wstring(L"\\\\.\\") + kScratchDosName);
      if (!handle) return false;
    }
    read = handle->GetVolumeInformation(&name, &fs);
  }
  if (!read) return false;
  fileSystem = fs;
  label = name.empty() ? kNoName : name;
  return true;
}

int DriveData::GetDriveKind() const {
  wchar_t path[kNtNameChars];
  std::swprintf(path, kNtNameChars, L"\\\\.\\PHYSICALDRIVE%d\\", m_Number);
  platform::UINT type = platform::disks::GetDriveType(path);
  if (type > platform::DRIVE_RAMDISK) return kDriveKindUnknown;
  if (type != platform::DRIVE_FIXED) return static_cast<int>(type);
  platform::STORAGE_PROPERTY_QUERY query;
  std::uint8_t out[kStorageDescriptorBytes] = {};
  platform::DWORD returned = 0;
  // A failed query leaves the descriptor zero: a fixed disk.
  if (m_hDrive)
    m_hDrive->IoControl(platform::IOCTL_STORAGE_QUERY_PROPERTY, &query, 12, out, sizeof out, &returned);
  platform::STORAGE_DEVICE_DESCRIPTOR descriptor;
  std::memcpy(&descriptor, out, sizeof descriptor);
  return descriptor.BusType == platform::BusTypeUsb ? kDriveKindUsbFixed : kDriveKindFixed;
}

std::int64_t DriveData::GetDiskSize() const {
  if (!m_hDrive) return 0;
  std::uint8_t out[kGeometrySizeBytes] = {};
  platform::DWORD returned = 0;
  if (!m_hDrive->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, out, sizeof out, &returned))
    return 0;
  std::int64_t size;
  std::memcpy(&size, out + offsetof(platform::DISK_GEOMETRY_EX, DiskSize), sizeof size);
  return size;
}

std::vector<std::uint8_t> DriveData::QueryLayout(bool* failed, platform::DWORD* returned) const {
  *failed = false;
  *returned = 0;
  if (!m_hDrive) {
    *failed = true;
    return {};
  }
  platform::DWORD size = kFirstLayoutBuffer;
  for (;;) {
    std::vector<std::uint8_t> buffer(size);
    if (m_hDrive->IoControl(platform::IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, buffer.data(), size, returned))
      return buffer;
    if (platform::GetLastError() != platform::ERROR_INSUFFICIENT_BUFFER) {
      *failed = true;
      return buffer;
    }
    size += kLayoutGrowth;
  }
}

}  // namespace gs
