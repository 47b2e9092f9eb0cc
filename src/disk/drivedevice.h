#pragma once
#include <memory>

#include "src/disk/drivedata.h"
#include "src/disk/file.h"

namespace gs {

// One physical drive, "\\.\PhysicalDrive<N>", with its partition model.
class DriveDevice final : public File {
 public:
  explicit DriveDevice(int number);
  ~DriveDevice() override;
  // Opens the drive, asks for its geometry (a drive that cannot answer is
  // not listed) and builds the model its partition style calls for.
  bool Open() override;
  int GetNumber() const { return m_Number; }
  DriveData* GetData() const { return m_Data.get(); }

 private:
  int m_Number;
  std::unique_ptr<DriveData> m_Data;
};

}  // namespace gs
