#include "src/disk/drivemanager.h"

#include <stdexcept>

namespace gs {

namespace {
std::unique_ptr<DriveManager>& Single() {
  static std::unique_ptr<DriveManager> instance;
  return instance;
}
}  // namespace

DriveManager* DriveManager::Instance() {
  if (!Single()) {
    Single().reset(new DriveManager());
    Single()->Refresh();
  }
  return Single().get();
}

void DriveManager::FreeInstance() { Single().reset(); }

void DriveManager::Clear() {
  Drives.clear();
  m_Traverser.reset();
}

void DriveManager::Refresh() {
  Clear();
  m_Traverser = std::make_unique<DriverTraverser>();
  for (; !m_Traverser->AtEnd(); m_Traverser->Next())
    if (m_Traverser->OpenCurrent()) Drives.push_back(m_Traverser->Take());
}

DriveData* DriveManager::GetDrive(std::size_t index) const {
  if (index >= Drives.size()) throw std::out_of_range("internal error: Index < Drives.size()");
  return Drives[index]->GetData();
}

}  // namespace gs
