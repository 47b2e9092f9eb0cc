#pragma once
// Prepares the USB disk behind the drive the user chose: finds its disk and
// partition, checks that the disk is a USB or removable one, quick-formats
// that partition (NTFS over 40000 MiB, else FAT32) and makes it active;
// after a failure and two confirmations it cleans the whole disk into one
// active FAT32 partition. Then it finds the partition's letter again.
// Process-wide single instance, used from the worker thread; its message
// boxes block that thread.

#include <string>

#include "platform/windows/window.h"

class CUSBManager {
 public:
  static CUSBManager* Instance();
  // Releases the drive list too, so the next job sees the drives afresh.
  static void FreeInstance();

  // Stores the lower-cased path and runs FormatUSB: true when the disk is
  // prepared and the chosen letter shows the prepared partition again.
  [[nodiscard]] bool FormatActiveUSB(const std::wstring& path);
  [[nodiscard]] bool FormatUSB();
  // The disk number and partition number behind m_USBLetter, on a USB
  // (kind 7) or removable (kind 2) disk; shows "This is not a USB
  // disk/flash." when there is none.
  [[nodiscard]] bool CheckCond(int& diskIndex, int& partIndex);
  // The letter the partition shows now, stored in m_USBLetter.
  [[nodiscard]] bool ReGetUSBLtr(int diskIndex, int partIndex);

  // The window that owns the questions (the main window).
  void SetOwnerWindow(platform::HWND owner) { m_hOwner = owner; }
  // A file of the source that FAT32 cannot hold on this machine: a disk
  // that would be formatted FAT32 is refused after CheckCond, before
  // anything is formatted, and the clean-and-format recovery, which always
  // makes FAT32, is refused before its questions.
  void SetFat32Blocker(const std::wstring& file) { m_Fat32Blocker = file; }

  std::wstring m_USBLetter;

 private:
  CUSBManager() = default;
  [[nodiscard]] bool Recover(int diskIndex, int& partIndex);
  // True (traced, the box shown) when the system or the kernel holds the
  // disk now; nothing may be written to it then.
  [[nodiscard]] bool DiskHeld(int diskIndex);

  platform::HWND m_hOwner = nullptr;
  std::wstring m_Fat32Blocker;
};

// Disks above this size in MiB are formatted NTFS.
inline constexpr int kNtfsThresholdMB = 40000;
