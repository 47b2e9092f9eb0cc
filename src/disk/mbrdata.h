#pragma once
#include "src/disk/drivedata.h"

namespace gs {

// An MBR disk: primaries in order of their start, an extended partition
// followed by its logical drives, and gaps of two cylinders or more.
class MBRData final : public DriveData {
 public:
  MBRData(int number, const platform::disks::PhysicalDrive* handle);
  [[nodiscard]] bool ReadLayout() override;
  // The disk signature as a signed decimal number.
  std::string GetDiskId() override { return std::to_string(static_cast<std::int32_t>(m_Signature)); }
  int GetPartitionStyle() override { return 0; }

 private:
  using Entry = platform::PARTITION_INFORMATION_EX;
  bool ReadGeometry();
  // A gap entry when start lies two or more cylinders after prevEnd.
  void GapIfAny(std::int64_t prevEnd, std::int64_t start, int kind = kKindUnused);
  void AddPartition(const Entry& entry, int kind);
  void AddExtended(const Entry& container, const std::vector<Entry>& entries, std::int64_t& prevEnd);

  platform::DWORD m_Signature = 0;
  int m_Count = 0;
  bool m_LogicalsListed = false;  // the chain's logical drives went under a container
  platform::DWORD m_TracksPerCylinder = 0;
  platform::DWORD m_SectorsPerTrack = 0;
  platform::DWORD m_BytesPerSector = 0;
};

}  // namespace gs
