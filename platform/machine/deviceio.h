#pragma once
// Device queries on volumes ("\\?\E:", "\\.\E:") and physical drives
// ("\\.\PHYSICALDRIVE1"), answered from the machine's drive and disk
// declarations. The structures have the system's layout and sizes.

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/types.h"

namespace platform {

inline constexpr DWORD IOCTL_STORAGE_QUERY_PROPERTY = 0x002D1400;
inline constexpr DWORD IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS = 0x00560000;
inline constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000;

inline constexpr int StorageDeviceProperty = 0;
inline constexpr int PropertyStandardQuery = 0;

struct STORAGE_PROPERTY_QUERY {
  int PropertyId = StorageDeviceProperty;
  int QueryType = PropertyStandardQuery;
  std::uint8_t AdditionalParameters[1] = {0};
};

struct STORAGE_DEVICE_DESCRIPTOR {
  DWORD Version;
  DWORD Size;
  std::uint8_t DeviceType;
  std::uint8_t DeviceTypeModifier;
  std::uint8_t RemovableMedia;
  std::uint8_t CommandQueueing;
  DWORD VendorIdOffset;
  DWORD ProductIdOffset;
  DWORD ProductRevisionOffset;
  DWORD SerialNumberOffset;
  int BusType;
  DWORD RawPropertiesLength;
  std::uint8_t RawDeviceProperties[1];
};
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);

struct DISK_EXTENT {
  DWORD DiskNumber;
  std::int64_t StartingOffset;
  std::int64_t ExtentLength;
};

struct VOLUME_DISK_EXTENTS {
  DWORD NumberOfDiskExtents;
  DISK_EXTENT Extents[1];
};
static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32);

struct DISK_GEOMETRY {
  std::int64_t Cylinders;
  int MediaType;
  DWORD TracksPerCylinder;
  DWORD SectorsPerTrack;
  DWORD BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);

// An open device. Opening fails (null) with last error 2 for a device that
// does not exist; a volume without medium opens, as a card reader does.
class Device {
 public:
  static std::unique_ptr<Device> Open(std::wstring_view name);

  // Fills out (of outSize bytes) for the control code; false with last error
  // 122 when out is too small, 1 (invalid function) for codes the device does
  // not answer.
  bool IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) const;

 private:
  Device() = default;
  wchar_t letter_ = 0;    // a volume
  int diskNumber_ = -1;   // a physical drive
};

}  // namespace platform
