#include "disk/workfolderclash.h"

#include <cwctype>
#include <filesystem>
#include <string_view>

#include "disk/appfolders.h"
#include "disk/textutils.h"
#include "disk/volumeutils.h"
#include "platform/fs/paths.h"
#include "platform/fs/sysfolders.h"
#include "platform/machine/volumes.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

constexpr std::wstring_view kWorkFolderName = L"OvantaToolTmp";

fs::path HostPath(const std::wstring& systemPath) {
  std::string host;
  if (!platform::ResolvePath(systemPath, host)) return {};
  std::error_code ec;
  fs::path p = fs::weakly_canonical(host, ec);
  if (ec) p = fs::path(host).lexically_normal();
  if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
  return p;
}

// inner equals outer or lies below it, component by component, without
// case as the system's names are (a part that does not exist yet keeps the
// spelling it was given).
bool Within(const fs::path& inner, const fs::path& outer) {
  if (inner.empty() || outer.empty()) return false;
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
    if (i == inner.end() ||
        platform::UpperCase(platform::WideFromAnsi(i->string())) != platform::UpperCase(platform::WideFromAnsi(o->string())))
      return false;
  return true;
}

// "OvantaToolTmp<N>" at a drive's root: a work folder of the fallback drives.
bool IsDriveWorkFolderName(const std::wstring& name) {
  if (name.size() <= kWorkFolderName.size()) return false;
  if (platform::UpperCase(name.substr(0, kWorkFolderName.size())) != platform::UpperCase(std::wstring(kWorkFolderName)))
    return false;
  for (std::size_t i = kWorkFolderName.size(); i < name.size(); ++i)
    if (!std::iswdigit(name[i])) return false;
  return true;
}

// The folder the work folder of such a job goes into: the data folder's own
// when the system drive has room, else the first drive with room (its
// numbered folder lies inside that drive's root).
std::wstring PlannedWorkFolder(int requiredMB, const std::wstring& isoFolder) {
  const std::wstring systemDir = platform::GetSystemDirectory();
  const std::wstring isoRoot = platform::UpperCase(isoFolder.substr(0, 3));
  if (!systemDir.empty()) {
    const std::wstring systemRoot = systemDir.substr(0, 3);
    const double need = requiredMB * (platform::UpperCase(systemRoot) == isoRoot ? 2.0 : 1.0);
    if (GetFreeSpaceMB(systemRoot) > need) return FromAnsi(GetAppDataFolder()) + std::wstring(kWorkFolderName);
  }
  const platform::DWORD mask = platform::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const std::wstring root{static_cast<wchar_t>(L'A' + i), L':', L'\\'};
    const platform::UINT type = platform::GetDriveType(root);
    if (type != platform::DRIVE_REMOVABLE && type != platform::DRIVE_FIXED) continue;
    const double need = requiredMB * (root == isoRoot ? 2.0 : 1.0);
    if (GetFreeSpaceMB(root) > need) return root + std::wstring(kWorkFolderName) + L"0";
  }
  return {};
}

}  // namespace

bool IsoFolderClashesWithWorkFolder(const std::wstring& isoFolder, int requiredMB) {
  const fs::path iso = HostPath(isoFolder);
  if (iso.empty()) return false;
  // Inside the data folder's work folder.
  const std::string data = GetAppDataFolder();
  if (!data.empty() && Within(iso, HostPath(FromAnsi(data) + std::wstring(kWorkFolderName)))) return true;
  // Inside a drive's numbered work folder, reached by any spelling.
  const platform::DWORD mask = platform::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const std::wstring root{static_cast<wchar_t>(L'A' + i), L':', L'\\'};
    const fs::path hostRoot = HostPath(root);
    if (hostRoot.empty() || !Within(iso, hostRoot)) continue;
    const fs::path rest = iso.lexically_relative(hostRoot);
    if (!rest.empty() && rest.begin() != rest.end() && IsDriveWorkFolderName(platform::WideFromAnsi(rest.begin()->string())))
      return true;
  }
  // The work folder the job would take, inside the ISO folder's tree.
  const std::wstring planned = PlannedWorkFolder(requiredMB, isoFolder);
  return !planned.empty() && Within(HostPath(planned), iso);
}
