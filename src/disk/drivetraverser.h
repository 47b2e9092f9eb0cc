#pragma once
#include <memory>

#include "src/disk/drivedevice.h"

namespace gs {

// A cursor over the drive numbers 0 to 31.
class DriverTraverser {
 public:
  static constexpr int kMaxDrives = 32;
  bool IsOpen() const { return m_Current != nullptr; }
  bool AtEnd() const { return m_Number >= kMaxDrives; }
  // Makes and opens the device of the current number; false (no current
  // device) when it cannot be opened.
  bool OpenCurrent();
  // Hands the current device over to the caller.
  std::unique_ptr<DriveDevice> Take() { return std::move(m_Current); }
  void Next() { ++m_Number; }

 private:
  std::unique_ptr<DriveDevice> m_Current;
  int m_Number = 0;
};

}  // namespace gs
