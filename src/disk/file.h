#pragma once
// A device opened by path: the base of the physical drive.

#include <memory>
#include <string>

#include "platform/disks/physicaldrive.h"

namespace gs {

class File {
 public:
  explicit File(std::string path, bool readOnly = true, bool create = false)
      : m_Path(std::move(path)), m_bReadOnly(readOnly), m_bCreate(create) {}
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens the path (read, or read and write unless read-only); sets the
  // opened flag. Only whole disks are devices this layer opens.
  virtual bool Open();
  bool IsOpened() const { return m_bOpened; }
  const std::string& Path() const { return m_Path; }
  const platform::disks::PhysicalDrive* Handle() const { return m_Handle.get(); }

 protected:
  bool m_bOpened = false;
  std::unique_ptr<platform::disks::PhysicalDrive> m_Handle;
  std::string m_Path;
  bool m_bReadOnly;
  bool m_bCreate;
};

}  // namespace gs
