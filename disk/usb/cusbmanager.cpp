#include "disk/usb/cusbmanager.h"

#include <cwctype>
#include <memory>

#include "config/checkboxes.h"
#include "config/messageboxes.h"
#include "disk/textutils.h"
#include "disk/tracelog.h"
#include "disk/usb/cdiskop.h"
#include "disk/usb/usbtarget.h"
#include "disk/volumeutils.h"
#include "platform/clock.h"
#include "platform/disks/diskclaim.h"
#include "platform/disks/volumemount.h"
#include "platform/text.h"
#include "src/disk/drivemanager.h"

namespace {

constexpr platform::DWORD kLetterWaitMs = 2000;

std::unique_ptr<CUSBManager>& Single() {
  static std::unique_ptr<CUSBManager> instance;
  return instance;
}

}  // namespace

CUSBManager* CUSBManager::Instance() {
  if (!Single()) Single().reset(new CUSBManager());
  return Single().get();
}

void CUSBManager::FreeInstance() {
  gs::DriveManager::FreeInstance();
  Single().reset();
}

bool CUSBManager::FormatActiveUSB(const std::wstring& path) {
  m_USBLetter = ToLower(path);
  return FormatUSB();
}

bool CUSBManager::CheckCond(int& diskIndex, int& partIndex) {
  if (FindUsbPartition(m_USBLetter, diskIndex, partIndex)) return true;
  ShowNotUsbDiskBox();
  return false;
}

bool CUSBManager::DiskHeld(int diskIndex) {
  // Asked again right before the disk tool runs: the answer to the format
  // question may be minutes old.
  const std::wstring why = platform::PrintableText(
      platform::WideFromAnsi(platform::disks::DiskRefusalOfDisk(diskIndex)));
  if (why.empty()) return false;
  TraceLog(L"[CUSBManager::FormatUSB - DiskInUse] " + why);
  ShowStickInUseBox(m_hOwner, why);
  return true;
}

bool CUSBManager::Recover(int diskIndex, int& partIndex) {
  // The clean-and-format script always makes FAT32: a source it cannot hold
  // ends the step before the user is asked to erase the whole disk.
  if (!m_Fat32Blocker.empty()) {
    TraceLog(L"[CUSBManager::FormatUSB - Cleanandformat USB] refused, file too large for FAT32: " + m_Fat32Blocker);
    ShowFat32RecoveryRefusedBox(m_hOwner, m_Fat32Blocker, platform::disks::Fat32FileLimit());
    return false;
  }
  if (!AskFormatFailure(m_hOwner)) return false;
  if (!AskFormatConfirm(m_hOwner)) return false;
  if (DiskHeld(diskIndex)) return false;
  std::string letter = platform::AnsiFromWide(m_USBLetter.substr(0, 1));
  if (!gs::CDiskOP::Instance()->CleanAndFormat(static_cast<unsigned>(diskIndex), letter)) {
    TraceLog(L"[CUSBManager::FormatUSB - Cleanandformat USB] is fail");
    ShowStillFailedBox(m_hOwner);
    return false;
  }
  partIndex = 1;
  return true;
}

bool CUSBManager::FormatUSB() {
  int diskIndex = -1, partIndex = -1;
  if (!CheckCond(diskIndex, partIndex)) {
    TraceLog(L"[CUSBManager::FormatUSB - CheckCond] is fail");
    return false;
  }
  TraceLog(L"[CUSBManager::FormatUSB - DiskIndex, PartIndex] " + std::to_wstring(diskIndex) + L" , " +
           std::to_wstring(partIndex));
  const wchar_t chosen = static_cast<wchar_t>(std::towupper(m_USBLetter.empty() ? 0 : m_USBLetter[0]));
  gs::CDiskOP* op = gs::CDiskOP::Instance();
  // A script file that cannot be made fails the first script, which is
  // where the format reports it.
  static_cast<void>(op->CreateScriptFile());

  int diskNumber = GetVolumeDiskNumber(m_USBLetter.substr(0, 1));
  int sizeMB = diskNumber >= 0 ? GetPhysicalDiskSizeMB(diskNumber) : 0;
  // Known to be a USB disk now: a source FAT32 cannot hold is refused before
  // a FAT32 format.
  if (sizeMB <= kNtfsThresholdMB && !m_Fat32Blocker.empty()) {
    TraceLog(L"[USBOperation::Excute - FAT32] file too large: " + m_Fat32Blocker);
    ShowFileTooLargeForFat32Box(m_hOwner, m_Fat32Blocker, platform::disks::Fat32FileLimit());
    return false;
  }
  if (DiskHeld(diskIndex)) return false;
  bool failed = false;
  if (!op->FormatPartition(static_cast<unsigned>(diskIndex), static_cast<unsigned>(partIndex),
                           sizeMB <= kNtfsThresholdMB)) {
    TraceLog(L"[CUSBManager::FormatUSB - DiskpartFormat] is fail");
    failed = true;
  }
  if (!failed && !op->SetActive(static_cast<unsigned>(diskIndex), static_cast<unsigned>(partIndex))) {
    TraceLog(L"[CUSBManager::FormatUSB - DiskpartActive] is fail");
    failed = true;
  }
  if (failed && !Recover(diskIndex, partIndex)) return false;

  // A script file left behind is reused by the next format.
  static_cast<void>(op->DeleteScriptFile());
  platform::Sleep(kLetterWaitMs);
  if (!ReGetUSBLtr(diskIndex, partIndex)) {
    ShowUsbLetterErrorBox();
    TraceLog(L"[CUSBManager::FormatUSB - ReGetUSBLtr] is fail");
    return false;
  }
  // The later steps write to the root the user chose: a partition that now
  // shows another letter would send them (and the copy engine's clean-up
  // after a failure) to whatever volume holds the old one.
  if (m_USBLetter.empty() || static_cast<wchar_t>(std::towupper(m_USBLetter[0])) != chosen) {
    TraceLog(L"[CUSBManager::FormatUSB - ReGetUSBLtr] letter changed from " + std::wstring(1, chosen) + L" to " +
             m_USBLetter);
    ShowUsbLetterErrorBox();
    return false;
  }
  return true;
}

bool CUSBManager::ReGetUSBLtr(int diskIndex, int partIndex) {
  // A model of the disk only for the letter lookup; its list is not needed.
  class LetterLookup final : public gs::DriveData {
   public:
    explicit LetterLookup(int number) : DriveData(number, nullptr) {}
    bool ReadLayout() override { return true; }
    std::string GetDiskId() override { return {}; }
    int GetPartitionStyle() override { return 2; }
  } lookup(diskIndex);
  wchar_t letter = 0;
  if (!lookup.GetPartitionLetter(partIndex, letter)) return false;
  m_USBLetter = std::wstring(1, letter);
  TraceLog(L"[CUSBManager::ReGetUSBLtr] - m_USBLetter: " + m_USBLetter);
  return true;
}
