#include "platform/disks/ntnames.h"

#include <blkid/blkid.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/number.h"
#include "platform/disks/physicaldrive.h"
#include "platform/disks/volumerecord.h"
#include "platform/lasterror.h"
#include "platform/machine/machine.h"
#include "platform/text.h"
#include "platform/machine/volumes.h"

namespace platform::disks {

namespace {

// Volume numbers leave room for every partition a table can hold on a disk.
constexpr int kVolumesPerDisk = 1024;
const std::wstring kVolumePrefix = L"\\DEVICE\\HARDDISKVOLUME";

std::mutex g_definedMutex;
std::map<std::wstring, std::wstring>& Defined() {
  static std::map<std::wstring, std::wstring> names;
  return names;
}

bool ParseNumber(std::wstring_view s, int* out) {
  if (s.empty() || s.size() > 6 || s.find_first_not_of(L"0123456789") != std::wstring_view::npos) return false;
  const auto number = platform::ParseNumber<int>(s);
  if (number) *out = *number;
  return number.has_value();
}

// "\Device\Harddisk<N>\Partition<M>" (any case).
bool ParseHarddiskPartition(std::wstring_view name, int* disk, int* partition) {
  std::wstring n = UpperCase(name);
  const std::wstring kDisk = L"\\DEVICE\\HARDDISK", kPart = L"\\PARTITION";
  if (n.rfind(kDisk, 0) != 0) return false;
  std::wstring rest = n.substr(kDisk.size());
  auto cut = rest.find(kPart);
  if (cut == std::wstring::npos) return false;
  return ParseNumber(std::wstring_view(rest).substr(0, cut), disk) &&
         ParseNumber(std::wstring_view(rest).substr(cut + kPart.size()), partition);
}

// The partition number of a host partition device (/dev/sdb2 -> 2).
int HostPartitionNumber(const std::string& device) {
  if (device.rfind("/dev/", 0) != 0) return -1;
  std::error_code ec;
  std::string name = std::filesystem::canonical(device, ec).filename().string();
  if (ec) return -1;
  std::ifstream in("/sys/class/block/" + name + "/partition");
  int n = -1;
  return in >> n ? n : -1;
}

std::wstring FileSystemName(const std::string& type, const std::string& version) {
  if (type == "vfat") return version == "FAT32" ? L"FAT32" : L"FAT";
  if (type == "ntfs") return L"NTFS";
  if (type == "exfat") return L"exFAT";
  if (type == "iso9660") return L"CDFS";
  if (type == "udf") return L"UDF";
  return {};
}

}  // namespace

std::wstring VolumeNameOf(int disk, int partition) {
  return L"\\Device\\HarddiskVolume" + std::to_wstring(disk * kVolumesPerDisk + partition);
}

bool PartitionRange(int disk, int partition, std::int64_t* offset, std::int64_t* length) {
  if (partition < 1) return false;
  auto drive = PhysicalDrive::Open(disk);
  if (!drive) return false;
  for (const auto& e : drive->Table().entries) {
    if (static_cast<int>(e.PartitionNumber) == partition) {
      if (offset) *offset = e.StartingOffset;
      if (length) *length = e.PartitionLength;
      return true;
    }
  }
  return false;
}

std::int32_t QuerySymbolicLink(std::wstring_view name, std::wstring* target, std::size_t maxBytes) {
  int disk = -1, partition = -1;
  std::wstring result;
  if (ParseHarddiskPartition(name, &disk, &partition)) {
    if (partition == 0) {
      if (!CurrentMachine().Disk(disk)) return kStatusObjectNameNotFound;
      result = L"\\Device\\Harddisk" + std::to_wstring(disk) + L"\\DR" + std::to_wstring(disk);
    } else if (PartitionRange(disk, partition, nullptr, nullptr)) {
      result = VolumeNameOf(disk, partition);
    } else {
      return kStatusObjectNameNotFound;
    }
  } else {
    std::wstring n = UpperCase(name);
    for (std::wstring prefix : {L"\\GLOBAL??\\", L"\\??\\"}) {
      if (n.rfind(prefix, 0) == 0) {
        if (QueryDosDevice(std::wstring_view(name).substr(prefix.size()), &result) == 0)
          return kStatusObjectNameNotFound;
        break;
      }
    }
    if (result.empty()) return kStatusObjectNameNotFound;
  }
  if ((result.size() + 1) * sizeof(char16_t) > maxBytes) return kStatusBufferTooSmall;
  if (target) *target = result;
  return kStatusSuccess;
}

DWORD QueryDosDevice(std::wstring_view dosName, std::wstring* target) {
  std::wstring key = UpperCase(dosName);
  {
    std::lock_guard lock(g_definedMutex);
    auto it = Defined().find(key);
    if (it != Defined().end()) {
      if (target) *target = it->second;
      return static_cast<DWORD>(it->second.size() + 2);
    }
  }
  if (key.size() == 2 && key[1] == L':') {
    if (auto d = CurrentMachine().Drive(key[0])) {
      int partition = d->partitionNumber >= 0 ? d->partitionNumber : HostPartitionNumber(d->hostDevice);
      std::wstring t = d->diskNumber >= 0 && partition > 0 ? VolumeNameOf(d->diskNumber, partition)
                                                           : L"\\Device\\Folder" + std::wstring(1, key[0]);
      if (target) *target = t;
      return static_cast<DWORD>(t.size() + 2);
    }
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return 0;
}

bool DefineDosDevice(std::wstring_view dosName, std::wstring_view ntTarget) {
  std::wstring key = UpperCase(dosName);
  if (key.empty() || (key.size() == 2 && key[1] == L':' && key[0] >= L'A' && key[0] <= L'Z')) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::lock_guard lock(g_definedMutex);
  Defined()[key] = std::wstring(ntTarget);
  return true;
}

DWORD GetLogicalDriveStrings(DWORD bufferChars, wchar_t* buffer) {
  // Letters our disk tool assigned or mounted since the machine was read.
  ApplyVolumeRecord();
  std::wstring all;
  DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i)
    if (mask & (1u << i)) all += std::wstring{wchar_t(L'A' + i), L':', L'\\', L'\0'};
  if (all.size() + 1 > bufferChars) return static_cast<DWORD>(all.size() + 1);
  std::copy(all.begin(), all.end(), buffer);
  buffer[all.size()] = L'\0';
  return static_cast<DWORD>(all.size());
}

std::unique_ptr<VolumeHandle> VolumeHandle::Open(std::wstring_view path) {
  std::wstring n = UpperCase(path);
  if (n.rfind(L"\\\\.\\", 0) == 0) {
    std::wstring target;
    if (QueryDosDevice(std::wstring_view(path).substr(4), &target) == 0) return nullptr;
    n = UpperCase(target);
  }
  int k = -1;
  if (n.rfind(kVolumePrefix, 0) != 0 || !ParseNumber(std::wstring_view(n).substr(kVolumePrefix.size()), &k)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  int disk = k / kVolumesPerDisk, partition = k % kVolumesPerDisk;
  if (!PartitionRange(disk, partition, nullptr, nullptr)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return std::unique_ptr<VolumeHandle>(new VolumeHandle(disk, partition));
}

bool VolumeHandle::GetVolumeInformation(std::wstring* label, std::wstring* fileSystem) const {
  std::int64_t offset = 0, length = 0;
  auto drive = PhysicalDrive::Open(disk_);
  if (!drive || !PartitionRange(disk_, partition_, &offset, &length)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  blkid_probe probe = blkid_new_probe();
  if (!probe) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  std::string type, version, name;
  if (blkid_probe_set_device(probe, drive->Fd(), offset, length) == 0) {
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
    if (blkid_do_safeprobe(probe) == 0) {
      const char* v = nullptr;
      if (blkid_probe_lookup_value(probe, "TYPE", &v, nullptr) == 0) type = v;
      if (blkid_probe_lookup_value(probe, "VERSION", &v, nullptr) == 0) version = v;
      if (blkid_probe_lookup_value(probe, "LABEL", &v, nullptr) == 0) name = v;
    }
  }
  blkid_free_probe(probe);
  std::wstring fs = FileSystemName(type, version);
  if (fs.empty()) {
    SetLastError(ERROR_UNRECOGNIZED_VOLUME);
    return false;
  }
  if (fileSystem) *fileSystem = fs;
  if (label) *label = WideFromAnsi(name);
  return true;
}

}  // namespace platform::disks
