#include "disk/appfolders.h"

#include <cstdio>

#include "disk/foldertree.h"
#include "disk/textutils.h"
#include "disk/volumeutils.h"
#include "platform/fs/files.h"
#include "platform/fs/sysfolders.h"
#include "platform/text.h"
#include "platform/machine/volumes.h"

namespace {

constexpr wchar_t kWorkFolderName[] = L"OvantaToolTmp";

bool SameRoot(const std::wstring& a, const std::wstring& b) {
  return platform::UpperCase(a) == platform::UpperCase(b);
}

}  // namespace

std::string GetAppDataFolder() {
  std::wstring common = platform::GetCommonAppDataFolder();
  if (common.empty()) return {};
  std::string folder = IncludeBackslash(ToAnsi(common)) + "Ovanta\\Kestrunex\\";
  platform::CreateDirectoryRecursive(FromAnsi(folder));
  return folder;
}

std::wstring GetWorkFolder(int requiredMB, const std::wstring& referencePath) {
  const std::wstring referenceRoot = referencePath.substr(0, 3);
  std::wstring result;

  // The system drive first.
  std::wstring systemDir = platform::GetSystemDirectory();
  if (!systemDir.empty()) {
    std::wstring systemRoot = systemDir.substr(0, 3);
    double need = requiredMB;
    if (SameRoot(systemRoot, referenceRoot)) need *= 2;
    double free = GetFreeSpaceMB(systemRoot);
    if (free > need) {
      std::wstring folder = FromAnsi(GetAppDataFolder()) + kWorkFolderName + L"\\";
      if (platform::PathExists(folder)) DeleteFolderTree(folder);
      if (!platform::PathExists(folder)) platform::CreateDirectory(folder);
      return folder;
    }
    result = systemRoot;
  }
  if (result.size() > 3) return result;

  // Then every fixed or removable drive, A to Z.
  std::wstring chosen;
  platform::DWORD mask = platform::GetLogicalDrives();
  for (int i = 0; i < 26 && chosen.empty(); ++i) {
    if (!(mask & (1u << i))) continue;
    wchar_t root[4];
    std::swprintf(root, 4, L"%c:\\", L'A' + i);
    platform::UINT type = platform::GetDriveType(root);
    if (type != platform::DRIVE_REMOVABLE && type != platform::DRIVE_FIXED) continue;
    double need = requiredMB;
    if (SameRoot(root, referenceRoot)) need *= 2;
    if (GetFreeSpaceMB(root) > need) chosen = root;
  }
  if (chosen.empty()) return {};

  for (unsigned counter = 0;; ++counter) {
    std::wstring folder = chosen + kWorkFolderName + std::to_wstring(counter);
    if (platform::PathExists(folder)) continue;
    // A folder that cannot be made is no work folder: say so with an empty
    // result rather than hand out a path that does not exist.
    if (!platform::CreateDirectory(folder)) return {};
    return folder + L"\\";
  }
}
