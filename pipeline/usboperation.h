#pragma once
// The first step of the USB mode: the USB disk manager reformats the disk
// behind the chosen volume and makes it bootable, then the volume gets the
// source's label, fitted to 11 characters. Posts WM_OPSTATE (0, 10),
// (0, 70), (1, 100). Runs on the worker thread and cannot be stopped.

#include <string>

#include "pipeline/basicoperation.h"

class USBOperation final : public BasicOperation {
 public:
  // usbPath: the chosen drive root (F:\); volumeLabel: the source's label;
  // sourceRoot: the source, checked for files a FAT32 stick cannot take before the
  // disk is touched ("" skips the check).
  USBOperation(platform::HWND hWnd, const std::wstring& usbPath, const std::wstring& volumeLabel,
               const std::wstring& sourceRoot = {});
  ~USBOperation() override;
  [[nodiscard]] int Excute() override;

 private:
  std::wstring m_USBPath;
  std::wstring m_VolumeLabel;
  std::wstring m_SourceRoot;
};

// The first file below root (at any depth) too large for a FAT32 stick of
// this platform (platform::disks::Fat32FileLimit()); "" when there is none.
std::wstring FindFileTooLargeForFat32(const std::wstring& root);
