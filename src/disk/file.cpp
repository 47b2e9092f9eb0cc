#include "src/disk/file.h"

#include "platform/text.h"

namespace gs {

bool File::Open() {
  m_Handle = platform::disks::PhysicalDrive::Open(platform::WideFromAnsi(m_Path), !m_bReadOnly);
  m_bOpened = m_Handle != nullptr;
  return m_bOpened;
}

}  // namespace gs
