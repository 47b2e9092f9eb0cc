#include "src/disk/drivetraverser.h"

#include <stdexcept>

namespace gs {

bool DriverTraverser::OpenCurrent() {
  if (IsOpen()) throw std::logic_error("internal error: !IsOpen()");
  m_Current = std::make_unique<DriveDevice>(m_Number);
  if (!m_Current->Open()) m_Current.reset();
  return IsOpen();
}

}  // namespace gs
