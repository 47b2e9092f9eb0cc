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

}  // namespace

bool IsoFolderClashesWithWorkFolder(const std::wstring& isoFolder) {
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
  // A work folder inside the ISO folder's tree is no clash: the image is
  // written beside it, never into it, and the work folder goes alone.
  return false;
}
