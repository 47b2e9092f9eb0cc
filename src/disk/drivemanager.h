#pragma once
// The machine's physical drives as a snapshot, taken when the manager is made
// (or refreshed) and kept until it is freed. Process-wide single instance,
// used from one thread (the worker's USB preparation).

#include <memory>
#include <vector>

#include "src/disk/drivedevice.h"
#include "src/disk/drivetraverser.h"

namespace gs {

class DriveManager {
 public:
  // Made, and the drives enumerated, on first use.
  static DriveManager* Instance();
  // Destroys the manager, its devices and their models.
  static void FreeInstance();

  // Clear, then list drives 0 to 31 that open and report their geometry.
  void Refresh();
  void Clear();
  std::size_t GetCount() const { return Drives.size(); }
  // Index < GetCount(); anything else is an internal error
  // (std::out_of_range, in every build).
  DriveData* GetDrive(std::size_t index) const;

 private:
  DriveManager() = default;
  std::vector<std::unique_ptr<DriveDevice>> Drives;
  std::unique_ptr<DriverTraverser> m_Traverser;
};

}  // namespace gs
