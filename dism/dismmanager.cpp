#include "dism/dismmanager.h"

#include "config/messageboxes.h"
#include "disk/appfolders.h"
#include "disk/foldertree.h"
#include "disk/textutils.h"
#include "platform/clock.h"
#include "platform/fs/files.h"
#include "platform/windows/window.h"

namespace {

constexpr platform::DWORD kRetryMs = 1000;

std::wstring DataFolder() { return FromAnsi(GetAppDataFolder()); }

}  // namespace

DismManager* DismManager::Instance() {
  // Lives until the process ends, as the servicing interface stays started.
  static DismManager* const instance = new DismManager();
  return instance;
}

DismManager::DismManager() : imgManager(std::make_unique<DismCpp::DismImgManager>(DataFolder() + L"log.txt")) {}

int DismManager::SetImagePath(const std::wstring& path) {
  imgManager->SetImagePath(path);
  return 1;
}

int DismManager::GetImageCount() { return static_cast<int>(imgManager->GetImageCount()); }

int DismManager::MakeMountFolder() {
  const std::wstring data = DataFolder();
  for (int attempt = 0; attempt < kMountFolderAttempts; ++attempt) {
    if (attempt > 0) platform::Sleep(kRetryMs);
    platform::SYSTEMTIME now = platform::GetLocalTime();
    std::wstring folder = data + std::to_wstring(now.wHour) + std::to_wstring(now.wMinute) +
                          std::to_wstring(now.wSecond);
    folder = IncludeBackslash(folder);
    if (!platform::PathExists(folder) && platform::CreateDirectoryRecursive(folder) == platform::ERROR_SUCCESS) {
      mountFolder = folder;
      return 1;
    }
  }
  // The data folder cannot take a new folder: say so rather than wait forever.
  ShowMountFolderFailureBox(data);
  return 0;
}

int DismManager::Mount(platform::UINT index, platform::DISM_PROGRESS_CALLBACK progress, void* userData) {
  if (!MakeMountFolder()) return 0;
  return imgManager->Mount(mountFolder, false, index, progress, userData) ? 1 : 0;
}

int DismManager::AddDriver(const std::wstring& infPath) { return imgManager->AddDriver(infPath) ? 1 : 0; }

int DismManager::Commit(platform::DISM_PROGRESS_CALLBACK progress, void* userData) {
  return imgManager->Commit(progress, userData) ? 1 : 0;
}

int DismManager::Unmount(platform::DISM_PROGRESS_CALLBACK progress, void* userData) {
  if (!imgManager->Unmount(progress, userData)) return 0;
  return DeleteFolderTree(mountFolder) ? 1 : 0;
}
