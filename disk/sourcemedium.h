#pragma once
// Whether a source is a Windows 7 installation medium, checked before
// anything is formatted or copied: it must hold bootmgr, sources\boot.wim and
// sources\install.wim, both WIM files starting with a WIM header, and every
// image of install.wim whose XML data names a Windows version must be
// Windows 7 or its server sibling, 2008 R2 (both 6.1). Files are
// read through the platform's drive namespace, so any source it maps (an
// optical drive, a folder, an image file) is checked the same way. Both
// front ends ask this one check.

#include <string>
#include <vector>

enum class MediumFault {
  kMissing,     // no such file
  kNotAFile,    // a folder, a device, unreadable
  kNotAWim,     // no WIM header
  kInstallEsd,  // sources\install.esd in place of sources\install.wim
  kNotWindows7, // an image of another Windows: detail names it and its version
};

struct MediumProblem {
  std::wstring file;  // relative to the medium's root ("sources\boot.wim")
  MediumFault fault;
  std::wstring detail;  // kNotWindows7: "Windows 10 Pro (10.0.19041)"
};

// Everything missing or wrong on the medium at root ("E:\"), in the order
// bootmgr, sources\boot.wim, sources\install.wim; empty for a good medium.
std::vector<MediumProblem> CheckWindows7Medium(const std::wstring& root);
