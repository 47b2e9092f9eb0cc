#include "dism/dismimgmanager.h"

#include <algorithm>
#include <vector>

#include "disk/appfolders.h"
#include "disk/foldertree.h"
#include "disk/textutils.h"
#include "platform/fs/files.h"

namespace DismCpp {

using namespace platform;

namespace {

// The names MakeMountFolder gives: hour, minute and second as decimal digits
// (1 to 6 of them). Only those folders are ours to unmount and delete; the
// work folder and anything else in the data folder may hold a "Windows"
// folder of its own.
bool IsMountFolderName(const std::wstring& name) {
  constexpr size_t kMaxDigits = 6;
  return !name.empty() && name.size() <= kMaxDigits &&
         std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

}  // namespace

DismImgManager::DismImgManager(const std::wstring& logPath) {
  if (Failed(DismInitialize(DismLogErrorsWarningsInfo, logPath.c_str(), nullptr))) throw DismInitError();
}

DismImgManager::~DismImgManager() {
  HRESULT hr = DismShutdown();
  if (Failed(hr)) ReportError(L"DismShutdown", hr);
}

UINT DismImgManager::GetImageCount() {
  HRESULT hr = DismGetImageInfo(imagePath.c_str(), &imageInfo, &imageCount);
  if (Failed(hr)) {
    ReportError(L"DismGetImageInfo", hr);
    return 0;
  }
  static_cast<void>(Release(imageInfo));  // only the count is used; a failed release loses memory, no more
  imageInfo = nullptr;
  return imageCount;
}

bool DismImgManager::Mount(const std::wstring& path, bool readOnlyMount, UINT index, DISM_PROGRESS_CALLBACK progress,
                           void* userData) {
  DismMountedImageInfo* mounted = nullptr;
  UINT count = 0;
  // A failed listing leaves the count at 0: nothing to clean up then.
  static_cast<void>(DismGetMountedImageInfo(&mounted, &count));
  for (UINT i = 0; i < count; ++i)
    if (mounted[i].MountStatus == DismMountStatusInvalid) {
      // The cleanup is a courtesy to the next mount, which reports its own failure.
      static_cast<void>(DismCleanupMountpoints());
    }
  static_cast<void>(Release(mounted));  // the listing was only looked at; a failed release loses memory, no more

  SweepStaleMounts();

  HRESULT hr = DismMountImage(imagePath.c_str(), path.c_str(), index, nullptr, DismImageIndex,
                              readOnlyMount ? DISM_MOUNT_READONLY : DISM_MOUNT_READWRITE, nullptr, progress, userData);
  if (Failed(hr)) {
    ReportError(L"DismMountImage", hr);
    return false;
  }
  hr = DismOpenSession(path.c_str(), nullptr, nullptr, &session);
  if (Failed(hr)) {
    ReportError(L"DismOpenSession ", hr);
    return false;
  }
  readOnly = readOnlyMount ? 1 : 0;
  mountPath = path;
  return true;
}

bool DismImgManager::AddDriver(const std::wstring& infPath) {
  HRESULT hr = DismAddDriver(session, infPath.c_str(), 1);
  if (Failed(hr)) {
    ReportError(L"DismAddDriver  ", hr);
    return false;
  }
  return true;
}

bool DismImgManager::Commit(DISM_PROGRESS_CALLBACK progress, void* userData) {
  HRESULT hr = DismCommitImage(session, 0, nullptr, progress, userData);
  if (Failed(hr)) {
    ReportError(L"DismCommitImage ", hr);
    return false;
  }
  hr = DismCloseSession(session);
  if (Failed(hr)) {
    ReportError(L"DismCloseSession", hr);
    return false;
  }
  return true;
}

bool DismImgManager::Unmount(DISM_PROGRESS_CALLBACK progress, void* userData) {
  HRESULT hr = DismUnmountImage(mountPath.c_str(), readOnly ? DISM_DISCARD_IMAGE : DISM_COMMIT_IMAGE, nullptr,
                                progress, userData);
  if (Failed(hr)) {
    ReportError(L"DismUnmountImage  ", hr);
    return false;
  }
  return true;
}

HRESULT DismImgManager::DiscardMount(const std::wstring& folder) {
  return DismUnmountImage(folder.c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr);
}

void DismImgManager::SweepStaleMounts() {
  const std::wstring data = FromAnsi(GetAppDataFolder());
  std::vector<FindData> entries;
  if (!FindFiles(data + L"*", entries)) return;
  for (const auto& entry : entries) {
    if (!entry.IsFolder() || entry.IsDots() || !IsMountFolderName(entry.name)) continue;
    const std::wstring folder = data + entry.name;
    if (!PathExists(folder + L"\\Windows")) continue;
    // A stale mount that cannot be discarded is left to the next sweep.
    static_cast<void>(DiscardMount(folder));
    DeleteFolderTree(folder);
  }
}

}  // namespace DismCpp
