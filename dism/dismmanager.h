#pragma once
// The facade the driver-injection step calls: one WIM image at a time, in
// the order SetImagePath, GetImageCount, Mount, AddDriver..., Commit,
// Unmount. Results are non-zero for success. Failures of the servicing
// interface have been shown to the user (a "DismCpp" box) when a call
// returns 0. Worker thread only; no locks.

#include <memory>
#include <string>

#include "dism/dismimgmanager.h"

class DismManager {
 public:
  // The process's instance, made on the first call and never destroyed.
  // Throws DismCpp::DismInitError when the servicing interface cannot start
  // (a later call tries again).
  static DismManager* Instance();

  // The program uses Instance(); tests make their own, one at a time. Starts
  // the interface with its log "log.txt" in the data folder.
  DismManager();

  int SetImagePath(const std::wstring& path);
  // Images in the WIM; 0 on failure.
  int GetImageCount();
  // Mounts image index (1-based) read-write into a new folder of the data
  // folder, named after the clock ("953" at 09:05:03).
  [[nodiscard]] int Mount(platform::UINT index, platform::DISM_PROGRESS_CALLBACK progress, void* userData);
  [[nodiscard]] int AddDriver(const std::wstring& infPath);
  // Commits the image and closes its session.
  [[nodiscard]] int Commit(platform::DISM_PROGRESS_CALLBACK progress, void* userData);
  // Unmounts with the changes saved and deletes the mount folder; the result
  // is that delete's.
  [[nodiscard]] int Unmount(platform::DISM_PROGRESS_CALLBACK progress, void* userData);

  const std::wstring& MountFolder() const { return mountFolder; }
  DismCpp::DismImgManager& Images() { return *imgManager; }

  // How often a new mount folder name is tried, one second apart, before
  // Mount gives up.
  static constexpr int kMountFolderAttempts = 30;

 private:
  [[nodiscard]] int MakeMountFolder();

  std::unique_ptr<DismCpp::DismImgManager> imgManager;
  std::wstring mountFolder;
};
