#pragma once
// One image of one WIM file at a time, through the servicing interface:
// image count, mount with a session, add driver, commit, unmount, and the
// clean-up of mounts an earlier run left behind. Every failing call is shown
// in a "DismCpp" box (DismBasic::ReportError) and comes back as false or 0.
// Worker thread only; no locks.

#include <stdexcept>
#include <string>

#include "dism/dismbasic.h"

namespace DismCpp {

// Thrown by the constructor when the servicing interface cannot start.
class DismInitError : public std::runtime_error {
 public:
  DismInitError() : std::runtime_error("Unable to DismInitialize") {}
};

class DismImgManager : public DismBasic {
 public:
  // Starts the interface with its log at logPath (errors, warnings and
  // information). Throws DismInitError, without a box, when it cannot start.
  explicit DismImgManager(const std::wstring& logPath);
  // Shuts the interface down; a failure is reported as "DismShutdown".
  ~DismImgManager() override;

  void SetImagePath(const std::wstring& path) { imagePath = path; }
  // Images in the WIM; 0 after a reported failure.
  platform::UINT GetImageCount();
  // Cleans up stale mounts, mounts image index into mountPath (an existing,
  // empty folder) and opens a session. False after a reported failure; a
  // failed session leaves the image mounted.
  [[nodiscard]] bool Mount(const std::wstring& mountPath, bool readOnlyMount, platform::UINT index,
             platform::DISM_PROGRESS_CALLBACK progress, void* userData);
  [[nodiscard]] bool AddDriver(const std::wstring& infPath);
  // Commits and closes the session; a failed commit leaves it open.
  [[nodiscard]] bool Commit(platform::DISM_PROGRESS_CALLBACK progress, void* userData);
  // Unmounts, saving the changes of a read-write mount, discarding otherwise.
  [[nodiscard]] bool Unmount(platform::DISM_PROGRESS_CALLBACK progress, void* userData);

  // Unmounts folder with discard; the result is neither shown nor checked.
  [[nodiscard]] platform::HRESULT DiscardMount(const std::wstring& folder);
  // Every folder in the data folder that holds a "Windows" folder is a mount
  // an earlier run left: unmounted with discard and deleted.
  void SweepStaleMounts();

  const std::wstring& ImagePath() const { return imagePath; }
  const std::wstring& MountPath() const { return mountPath; }
  bool ReadOnly() const { return readOnly != 0; }

 private:
  std::wstring imagePath;
  std::wstring mountPath;
  platform::DismImageInfo* imageInfo = nullptr;
  platform::UINT imageCount = 0;
  platform::DismSession session = 0;
  int readOnly = 0;
};

}  // namespace DismCpp
