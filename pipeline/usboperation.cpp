#include "pipeline/usboperation.h"

#include <vector>

#include "config/messageboxes.h"
#include "disk/textutils.h"
#include "disk/tracelog.h"
#include "disk/usb/cusbmanager.h"
#include "disk/volumeutils.h"
#include "pipeline/opmessages.h"
#include "platform/disks/volumemount.h"
#include "platform/fs/files.h"
#include "platform/fs/paths.h"

namespace {

constexpr platform::LPARAM kFormatStarted = 10;
constexpr platform::LPARAM kFormatDone = 70;
constexpr platform::LPARAM kFormatSuccess = 100;

}  // namespace

std::wstring FindFileTooLargeForFat32(const std::wstring& root) {
  std::vector<std::wstring> folders{IncludeBackslash(root)};
  while (!folders.empty()) {
    std::wstring folder = folders.back();
    folders.pop_back();
    std::vector<platform::FindData> entries;
    if (!platform::FindFiles(folder + L"*", entries)) continue;
    for (const auto& e : entries) {
      if (e.IsDots()) continue;
      if (e.IsFolder()) {
        if (!(e.attributes & platform::FILE_ATTRIBUTE_REPARSE_POINT)) folders.push_back(folder + e.name + L"\\");
      } else if (e.size >= platform::disks::Fat32FileLimit()) {
        return folder + e.name;
      }
    }
  }
  return {};
}

USBOperation::USBOperation(platform::HWND hWnd, const std::wstring& usbPath, const std::wstring& volumeLabel,
                           const std::wstring& sourceRoot)
    : BasicOperation(hWnd, kStateFormat), m_USBPath(usbPath), m_VolumeLabel(volumeLabel), m_SourceRoot(sourceRoot) {
  TraceLog(L"USBOperation::create");
}

USBOperation::~USBOperation() {
  CUSBManager::FreeInstance();
  TraceLog(L"USBOperation::Release");
}

int USBOperation::Excute() {
  TraceLog(L"USBOperation::Excute - FORMATUSB");
  m_State = kStateFormat;
  PostState(kFormatStarted);
  TraceLog(L"[CUSBManager::Excute : m_USBPath:] " + m_USBPath);

  CUSBManager* manager = CUSBManager::Instance();
  manager->SetOwnerWindow(m_hWnd);
  // A file FAT32 cannot hold would fail the copy minutes after the disk was
  // erased: the manager refuses a FAT32 format of such a source once it
  // knows the target is a USB disk, before anything is formatted.
  manager->SetFat32Blocker(m_SourceRoot.empty() ? std::wstring() : FindFileTooLargeForFat32(m_SourceRoot));
  if (!manager->FormatActiveUSB(m_USBPath)) {
    TraceLog(L"[CUSBManager::Instance()->FormatActiveUSB] is fail");
    return 0;
  }
  TraceLog(L"USBOperation::Excute - SetVolumeLabelName");
  PostState(kFormatDone);
  SetDriveLabel(manager->m_USBLetter.substr(0, 1), MakeVolumeLabel(m_VolumeLabel));
  TraceLog(L"USBOperation::Excute - FORMATUSBOK");
  m_State = kStateFormatSuccess;
  PostState(kFormatSuccess);
  return 1;
}
