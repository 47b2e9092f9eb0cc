#include "src/disk/drivedevice.h"

#include <cstdio>

#include "src/disk/gptdata.h"
#include "src/disk/mbrdata.h"
#include "src/disk/rawdata.h"

namespace gs {

namespace {
std::string DrivePath(int number) {
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", number);
  return path;
}
}  // namespace

DriveDevice::DriveDevice(int number) : File(DrivePath(number)), m_Number(number) {}

// The model borrows the handle, so it goes first.
DriveDevice::~DriveDevice() { m_Data.reset(); }

bool DriveDevice::Open() {
  if (!File::Open()) return false;
  platform::DISK_GEOMETRY_EX geometry{};
  platform::DWORD returned = 0;
  if (!m_Handle->IoControl(platform::IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof geometry,
                           &returned))
    return false;
  switch (geometry.Partition.PartitionStyle) {
    case platform::PARTITION_STYLE_GPT:
      m_Data = std::make_unique<GPTData>(m_Number, m_Handle.get());
      break;
    case platform::PARTITION_STYLE_MBR:
      m_Data = std::make_unique<MBRData>(m_Number, m_Handle.get());
      break;
    default:
      m_Data = std::make_unique<RAWData>();
      break;
  }
  return true;
}

}  // namespace gs
