#include "disk/sourcemedium.h"

#include <array>
#include <string_view>

#include "platform/fs/readfile.h"

namespace {

// Every WIM starts with this magic ("MSWIM" and three NULs).
constexpr std::string_view kWimMagic{"MSWIM\0\0\0", 8};

struct Required {
  const wchar_t* file;
  bool wim;
};
constexpr std::array<Required, 3> kRequired{{
    {L"bootmgr", false},
    {L"sources\\boot.wim", true},
    {L"sources\\install.wim", true},
}};

}  // namespace

std::vector<MediumProblem> CheckWindows7Medium(const std::wstring& root) {
  std::wstring base = root;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  std::vector<MediumProblem> problems;
  for (const Required& r : kRequired) {
    std::string head;
    const platform::DWORD e = platform::ReadSystemFileHead(base + r.file, head, kWimMagic.size());
    if (e == platform::ERROR_FILE_NOT_FOUND || e == platform::ERROR_PATH_NOT_FOUND)
      problems.push_back({r.file, MediumFault::kMissing});
    else if (e != platform::ERROR_SUCCESS)
      problems.push_back({r.file, MediumFault::kNotAFile});
    else if (r.wim && head != kWimMagic)
      problems.push_back({r.file, MediumFault::kNotAWim});
  }
  return problems;
}
