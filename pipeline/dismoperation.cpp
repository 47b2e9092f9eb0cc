#include "pipeline/dismoperation.h"

#include "disk/appfolders.h"
#include "disk/foldertree.h"
#include "disk/textutils.h"
#include "disk/tracelog.h"
#include "dism/dismmanager.h"
#include "pipeline/opmessages.h"
#include "platform/clock.h"
#include "platform/fs/files.h"
#include "platform/fs/sysfolders.h"

namespace {

constexpr platform::DWORD kSettleMs = 1000;
constexpr int kBootImageCount = 2;
constexpr int kBootImageIndex = 2;
constexpr platform::UINT kPercent = 100;

// The driver folders below the staged driver folder, in the order they are
// added; packages of vendors without a folder of their own come last.
constexpr const wchar_t* kDriverFolders64[] = {L"\\Intel\\USB31\\x64", L"\\Intel\\Win7\\x64", L"\\AMD\\x64",
                                               L"\\Asmedia", L"\\Others"};
constexpr const wchar_t* kDriverFolders32[] = {L"\\Intel\\USB31\\x86", L"\\Intel\\Win7\\x86", L"\\AMD\\x86",
                                               L"\\Asmedia", L"\\Others"};
// Storage packages, of any vendor, after all of them. Searched (and traced)
// only when there are some, so a run without one is traced as before.
constexpr const wchar_t* kStorageFolder = L"\\Storage";

}  // namespace

DismOperation::DismOperation(platform::HWND hWnd, const std::wstring& mediaRoot, const std::wstring& driverPath,
                             bool is64, bool installWim, const std::wstring& imageDriverPath)
    : BasicOperation(hWnd, kStateMount),
      m_MediaRoot(IncludeBackslash(mediaRoot)),
      m_DriverPath(driverPath),
      m_ImgDriverPath(imageDriverPath.empty() ? platform::GetProgramFolder() + L"OS" : imageDriverPath),
      is64dvd(is64),
      m_bInstallWim(installWim) {
  mWimPath = m_MediaRoot + (installWim ? L"sources\\install.wim" : L"sources\\boot.wim");
  TraceLog(L"DismOperation::DismOperation is64dvd:" + std::wstring(is64dvd ? L"1" : L"0"));
  TraceLog(L"[DismOperation ] create, mWimPath: " + mWimPath);
}

void DismOperation::OnDismProgress(platform::UINT current, platform::UINT total, void* data) {
  if (total == 0 || !data) return;
  auto* self = static_cast<DismOperation*>(data);
  self->PostState(static_cast<platform::LPARAM>(static_cast<platform::UINT>(current * kPercent) / total));
}

std::vector<std::wstring> DismOperation::GatherDrivers() const {
  std::vector<std::wstring> list;
  for (const wchar_t* sub : is64dvd ? kDriverFolders64 : kDriverFolders32) {
    const std::wstring folder = m_DriverPath + sub;
    TraceLog(L"DismOperation::Excute - DISMADDDRIVER: m_DriverFolder" + folder);
    FindFilesByExt(list, folder, L".INF");
  }
  const std::wstring storage = m_DriverPath + kStorageFolder;
  if (platform::PathExists(storage)) {
    TraceLog(L"DismOperation::Excute - DISMADDDRIVER: m_DriverFolder" + storage);
    FindFilesByExt(list, storage, L".INF");
  }
  return list;
}

bool DismOperation::ServiceImage(int index) {
  DismManager& dism = *DismManager::Instance();
  TraceLog(L"DismOperation::Excute - DISMMOUNT");
  m_State = kStateMount;
  if (!dism.Mount(static_cast<platform::UINT>(index), &DismOperation::OnDismProgress, this)) return false;
  m_State = kStateMountSuccess;
  TraceLog(L"DismOperation::Excute - DISMMOUNTOK");
  PostState(0);

  TraceLog(L"DismOperation::Excute - DISMADDDRIVER");
  m_State = kStateAddingDriver;
  PostState(0);
  for (const auto& path : GatherDrivers()) {
    TraceLog(L"DismOperation::AddDriver, Path : " + path);
    if (!dism.AddDriver(path)) return false;
  }

  TraceLog(L"DismOperation::Excute - DISMCOMMIT");
  m_State = kStateCommit;
  if (!dism.Commit(&DismOperation::OnDismProgress, this)) return false;
  m_State = kStateCommitSuccess;
  TraceLog(L"DismOperation::Excute - DISMCOMMITOK");
  PostState(0);

  TraceLog(L"DismOperation::Excute - DISMUNMOUNT");
  m_State = kStateUnmount;
  if (!dism.Unmount(&DismOperation::OnDismProgress, this)) return false;
  m_State = kStateUnmountSuccess;
  TraceLog(L"DismOperation::Excute - DISMUNMOUNTOK");
  PostState(0);
  return true;
}

int DismOperation::Excute() {
  const std::wstring data = FromAnsi(GetAppDataFolder());
  const std::wstring bootFolder = data + L"boot";
  bool copied = false;

  if (!m_bInstallWim) {
    const std::wstring staged = data + L"U3";
    if (platform::PathExists(staged)) DeleteFolderTree(staged);
    // The staged drivers are what the folder held; a short copy shows as
    // fewer drivers added, image by image, in the trace.
    static_cast<void>(CopyFolderTree(IncludeBackslash(m_ImgDriverPath) + L"AutoUnattend", staged));
    copied = CopyFolderTree(mWimPath, bootFolder);
    if (copied) {
      // A file copied from a DVD is read-only; it must go all the same, or
      // the serviced copy could not take its place at the end.
      ClearReadOnly(mWimPath);
      platform::DeleteFile(mWimPath);
      mWimPath = bootFolder + L"\\boot.wim";
    }
  }

  TraceLog(L"DismOperation::Excute");
  if (!platform::PathExists(mWimPath)) return 0;
  ClearReadOnly(mWimPath);
  platform::Sleep(kSettleMs);

  DismManager* dism = nullptr;
  try {
    dism = DismManager::Instance();
  } catch (const DismCpp::DismInitError&) {
    // Without the servicing interface no driver can be added; the run fails
    // here instead of ending the worker thread.
    TraceLog(L"DismOperation::Excute - Unable to DismInitialize");
    return 0;
  }
  dism->SetImagePath(mWimPath);
  const int count = dism->GetImageCount();
  int first = 1;
  int images = count;
  if (!m_bInstallWim) {
    if (count != kBootImageCount) return 0;
    first = kBootImageIndex;
    images = 1;
  }

  platform::SendMessage(m_hWnd, WM_OPIMAGES, 0, images);
  for (int index = first; index < first + images; ++index)
    if (!ServiceImage(index)) return 0;

  if (copied) {
    m_MediaRoot += L"sources\\";
    // The medium has no boot.wim until the serviced one is back: a failed
    // copy fails the step and keeps the working copy.
    if (!CopyFolderTree(bootFolder + L"\\boot.wim", m_MediaRoot)) {
      TraceLog(L"DismOperation::Excute - copy back failed: " + m_MediaRoot);
      return 0;
    }
    DeleteFolderTree(bootFolder);
  }
  if (m_bInstallWim) DeleteFolderTree(data + L"U3");
  return 1;
}
