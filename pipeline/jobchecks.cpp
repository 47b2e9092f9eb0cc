#include "pipeline/jobchecks.h"

#include "disk/foldertree.h"
#include "disk/mediumutils.h"
#include "disk/usb/usbtarget.h"
#include "disk/volumeutils.h"
#include "disk/workfolderclash.h"
#include "drivers/coveragewarnings.h"
#include "drivers/nodriverstext.h"
#include "drivers/runosfolder.h"
#include "platform/machine/volumes.h"
#include "pipeline/steplists.h"

namespace {

constexpr int kLetters = 26;
constexpr std::int64_t kBytesPerMB = 1048576;
constexpr size_t kRootChars = 3;

template <typename Keep>
std::vector<std::wstring> RootsWhere(Keep keep) {
  std::vector<std::wstring> roots;
  for (std::wstring& root : DriveRoots())
    if (keep(root)) roots.push_back(std::move(root));
  return roots;
}

}  // namespace

int RequiredMB(int sourceMB) { return sourceMB + kHeadroomMB; }

int SpaceNeededMB(int sourceMB, int mode) { return RequiredMB(sourceMB) * (mode == kModeIso ? 2 : 1); }

std::vector<std::wstring> DriveRoots() {
  std::vector<std::wstring> roots;
  const platform::DWORD mask = platform::GetLogicalDrives();
  for (int i = 0; i < kLetters; ++i)
    if (mask & (1u << i)) roots.push_back(std::wstring{static_cast<wchar_t>(L'A' + i), L':', L'\\'});
  return roots;
}

std::vector<std::wstring> OpticalDriveRoots() {
  return RootsWhere([](const std::wstring& root) { return IsCdRom(root); });
}

std::vector<std::wstring> UsbDriveRoots() {
  return RootsWhere([](const std::wstring& root) { return IsUsbBusVolume(root); });
}

int SourceSizeMB(const std::wstring& root) {
  if (!IsVolumeReady(root)) return 0;
  return static_cast<int>(GetFolderSize(root, true) / kBytesPerMB);
}

bool SourceIs64Bit(const std::wstring& source) {
  return IsAmd64Build(source.substr(0, 1) + L":\\sources\\idwbinfo.txt");
}

std::int64_t StickCapacityMB(const std::wstring& root) {
  return IsVolumeReady(root.substr(0, kRootChars)) ? static_cast<std::int64_t>(GetTotalSpaceMB(root)) : 0;
}

bool StickBigEnough(std::int64_t capacityMB, int sourceMB) { return capacityMB >= RequiredMB(sourceMB); }

bool IsUsbStickPartition(const std::wstring& root) { return IsUsbBusVolume(root) && IsUsbDiskPartition(root); }

namespace {
constexpr std::uint32_t kStartableSectorBytes = 512;
}  // namespace

std::uint32_t StickSectorBytes(const std::wstring& root) { return UsbDiskSectorBytes(root); }

std::wstring StickRefusal(const std::wstring& root) { return UsbDiskRefusal(root); }

bool StickSectorsStartWindows(const std::wstring& root) {
  const std::uint32_t bytes = StickSectorBytes(root);
  return bytes == 0 || bytes == kStartableSectorBytes;
}

std::vector<std::wstring> DriverGapLines(bool is64) {
  std::vector<std::wstring> lines;
  if (!drivers::LibraryServes(is64)) lines.push_back(NoDriversText(is64));
  return lines;
}

std::vector<std::wstring> DriverWarningLines(bool is64) {
  std::vector<std::wstring> lines = drivers::UnloadablePackageWarnings(is64);
  for (std::wstring& line : drivers::UndrivenStorageWarnings(is64)) lines.push_back(std::move(line));
  return lines;
}

IsoFolderVerdict CheckIsoFolder(const std::wstring& folder, int sourceMB) {
  const std::wstring root = folder.substr(0, kRootChars);
  if (!IsNtfs(root)) return IsoFolderVerdict::NotNtfs;
  const int required = RequiredMB(sourceMB);
  if (!(required < static_cast<int>(GetFreeSpaceMB(root)))) return IsoFolderVerdict::TooSmall;
  if (IsoFolderClashesWithWorkFolder(folder)) return IsoFolderVerdict::InsideWorkFolder;
  return IsoFolderVerdict::Accepted;
}

const wchar_t* IsoFolderKey(IsoFolderVerdict verdict) {
  switch (verdict) {
    case IsoFolderVerdict::NotNtfs: return L"Not NTFS";
    case IsoFolderVerdict::TooSmall: return L"Disk too small";
    case IsoFolderVerdict::InsideWorkFolder: return L"ISO folder in work folder";
    case IsoFolderVerdict::Accepted: break;
  }
  return nullptr;
}
