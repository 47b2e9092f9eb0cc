#include "disk/sourcemedium.h"

#include <array>
#include <string_view>

#include "platform/dism/wimversions.h"
#include "platform/fs/files.h"
#include "platform/fs/readfile.h"

namespace {

// Every WIM starts with this magic ("MSWIM" and three NULs).
constexpr std::string_view kWimMagic{"MSWIM\0\0\0", 8};

constexpr const wchar_t* kInstallWim = L"sources\\install.wim";
constexpr const wchar_t* kInstallEsd = L"sources\\install.esd";
// Windows 7 and Windows Server 2008 R2 share this version.
constexpr unsigned kWindows7Major = 6;
constexpr unsigned kWindows7Minor = 1;

struct Required {
  const wchar_t* file;
  bool wim;
};
constexpr std::array<Required, 3> kRequired{{
    {L"bootmgr", false},
    {L"sources\\boot.wim", true},
    {kInstallWim, true},
}};

// Each image of another Windows, named with its version. A WIM whose XML
// data cannot be read says nothing either way.
void AddOtherWindows(const std::wstring& installWim, std::vector<MediumProblem>& problems) {
  std::vector<platform::dism::WimWindowsVersion> versions;
  if (!platform::dism::ReadWimWindowsVersions(installWim, versions)) return;
  for (const auto& v : versions) {
    if (v.major == kWindows7Major && v.minor == kWindows7Minor) continue;
    problems.push_back({kInstallWim, MediumFault::kNotWindows7,
                        v.name + L" (" + std::to_wstring(v.major) + L"." + std::to_wstring(v.minor) + L"." +
                            std::to_wstring(v.build) + L")"});
  }
}

}  // namespace

std::vector<MediumProblem> CheckWindows7Medium(const std::wstring& root) {
  std::wstring base = root;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  std::vector<MediumProblem> problems;
  for (const Required& r : kRequired) {
    std::string head;
    const platform::DWORD e = platform::ReadSystemFileHead(base + r.file, head, kWimMagic.size());
    if ((e == platform::ERROR_FILE_NOT_FOUND || e == platform::ERROR_PATH_NOT_FOUND) && r.file == kInstallWim &&
        platform::PathExists(base + kInstallEsd))
      problems.push_back({kInstallEsd, MediumFault::kInstallEsd});
    else if (e == platform::ERROR_FILE_NOT_FOUND || e == platform::ERROR_PATH_NOT_FOUND)
      problems.push_back({r.file, MediumFault::kMissing});
    else if (e != platform::ERROR_SUCCESS)
      problems.push_back({r.file, MediumFault::kNotAFile});
    else if (r.wim && head != kWimMagic)
      problems.push_back({r.file, MediumFault::kNotAWim});
    else if (r.file == kInstallWim)
      AddOtherWindows(base + r.file, problems);
  }
  return problems;
}
