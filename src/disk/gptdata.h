#pragma once
#include "src/disk/drivedata.h"

namespace gs {

// A GPT disk: its GUID and the partitions typed by their type GUIDs; gaps of
// more than 2 MiB between partitions or after the last one are listed.
class GPTData final : public DriveData {
 public:
  GPTData(int number, const platform::disks::PhysicalDrive* handle);
  [[nodiscard]] bool ReadLayout() override;
  // The disk GUID in registry form with braces.
  std::string GetDiskId() override;
  int GetPartitionStyle() override { return 1; }

 private:
  void AddEntry(const platform::PARTITION_INFORMATION_EX& entry);
  platform::GUID m_DiskId{};
  int m_Count = 0;
};

}  // namespace gs
