#pragma once
// Whether a source is a Windows 7 installation medium, checked before
// anything is formatted or copied: it must hold bootmgr, sources\boot.wim and
// sources\install.wim, both WIM files starting with a WIM header. Files are
// read through the platform's drive namespace, so any source it maps (an
// optical drive, a folder, an image file) is checked the same way. Both
// front ends ask this one check.

#include <string>
#include <vector>

enum class MediumFault {
  kMissing,     // no such file
  kNotAFile,    // a folder, a device, unreadable
  kNotAWim,     // no WIM header
};

struct MediumProblem {
  std::wstring file;  // relative to the medium's root ("sources\boot.wim")
  MediumFault fault;
};

// Everything missing or wrong on the medium at root ("E:\"), in the order
// bootmgr, sources\boot.wim, sources\install.wim; empty for a good medium.
std::vector<MediumProblem> CheckWindows7Medium(const std::wstring& root);
