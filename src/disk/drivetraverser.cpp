#include "src/disk/drivetraverser.h"

#include <cassert>

namespace gs {

bool DriverTraverser::OpenCurrent() {
  assert(!IsOpen() && "!IsOpen()");
  m_Current = std::make_unique<DriveDevice>(m_Number);
  if (!m_Current->Open()) m_Current.reset();
  return IsOpen();
}

}  // namespace gs
