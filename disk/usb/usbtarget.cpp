#include "disk/usb/usbtarget.h"

#include "disk/textutils.h"
#include "disk/volumeutils.h"
#include "platform/disks/diskclaim.h"
#include "platform/text.h"
#include "platform/disks/physicaldrive.h"
#include "src/disk/drivemanager.h"

bool FindUsbPartition(const std::wstring& path, int& diskIndex, int& partIndex) {
  gs::DriveManager* manager = gs::DriveManager::Instance();
  for (std::size_t i = 0; i < manager->GetCount(); ++i) {
    gs::DriveData* drive = manager->GetDrive(i);
    int kind = drive->GetDriveKind();
    if (kind != gs::kDriveKindUsbFixed && kind != gs::kDriveKindRemovable) continue;
    for (std::size_t j = 0; j < drive->GetPartitionCount(); ++j) {
      const _Partition& p = drive->GetPartition(j);
      if (p.letter.empty() || path.find(ToLower(p.letter)) == std::wstring::npos) continue;
      diskIndex = drive->GetNumber();
      partIndex = p.number;
      return true;
    }
  }
  return false;
}

bool IsUsbDiskPartition(const std::wstring& root) {
  gs::DriveManager::FreeInstance();
  int disk = -1, partition = -1;
  const bool found = !root.empty() && FindUsbPartition(ToLower(root.substr(0, 1)) + L":\\", disk, partition);
  gs::DriveManager::FreeInstance();
  return found;
}

std::uint32_t UsbDiskSectorBytes(const std::wstring& root) {
  gs::DriveManager::FreeInstance();
  int disk = -1, partition = -1;
  const bool found = !root.empty() && FindUsbPartition(ToLower(root.substr(0, 1)) + L":\\", disk, partition);
  gs::DriveManager::FreeInstance();
  if (!found) return 0;
  const auto drive = platform::disks::PhysicalDrive::Open(disk);
  return drive ? drive->SectorSize() : 0;
}

std::wstring UsbDiskRefusal(const std::wstring& root) {
  const int disk = root.empty() ? -1 : GetVolumeDiskNumber(root.substr(0, 1));
  if (disk < 0) return {};
  return platform::PrintableText(platform::WideFromAnsi(platform::disks::DiskRefusalOfDisk(disk)));
}
