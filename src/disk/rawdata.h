#pragma once
#include "src/disk/drivedata.h"

namespace gs {

// A disk without a partition table: nothing to list.
class RAWData final : public DriveData {
 public:
  RAWData() : DriveData(0, nullptr) {}
  [[nodiscard]] bool ReadLayout() override { return true; }
  std::string GetDiskId() override { return {}; }
  int GetPartitionStyle() override { return 2; }
};

}  // namespace gs
