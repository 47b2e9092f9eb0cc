#pragma once
// The shell's file operations on whole trees: copy and delete, silent, with
// no confirmation and no error window, the result plus an aborted flag.

#include <string>

#include "platform/types.h"
#include "platform/windows/window.h"

namespace platform {

inline constexpr UINT FO_MOVE = 0x1;
inline constexpr UINT FO_COPY = 0x2;
inline constexpr UINT FO_DELETE = 0x3;

inline constexpr unsigned FOF_SILENT = 0x4;
inline constexpr unsigned FOF_NOCONFIRMATION = 0x10;
inline constexpr unsigned FOF_ALLOWUNDO = 0x40;
inline constexpr unsigned FOF_NOCONFIRMMKDIR = 0x200;
inline constexpr unsigned FOF_NOERRORUI = 0x400;

struct SHFILEOPSTRUCT {
  HWND hwnd = nullptr;
  UINT wFunc = 0;
  // Lists of paths, each entry terminated by a NUL and the list by a second
  // NUL. The last component of a source may hold '*' and '?' wildcards.
  std::wstring pFrom;
  std::wstring pTo;
  unsigned fFlags = 0;
  bool fAnyOperationsAborted = false;
};

// 0 on success, otherwise the system error number of the first failure.
// Copy: a source folder is copied with everything in it; sources go into pTo
// when it is an existing folder (or several sources are given), else become
// pTo; existing files are overwritten. Delete: files (read-only ones too) and
// folders with everything in them.
[[nodiscard]] int SHFileOperation(SHFILEOPSTRUCT& op);

}  // namespace platform
