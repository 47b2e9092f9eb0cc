#pragma once
// Whether Windows 7 of an architecture would load a package of the library,
// judged from what its record proves, and if not, why. The one place that
// decides it: coverage, the run's warnings and the wizard ask here.
//
// 32-bit Windows 7 loads unsigned drivers (it asks first after Setup), so
// every package loads there. 64-bit Windows 7 loads kernel code only when
// its catalog is signed with SHA-1 under a root it accepts (WHQL, or a
// listed cross-certificate to its kernel root) and every file matches it
// (and a boot-start binary carries its own signature): a package added with
// --unsigned, one signed with SHA-256 only, or one with findings for amd64
// does not load. A record written before signatures were checked says
// nothing either way and is taken as loading.

#include <string>

#include "drivers/packagerecord.h"

namespace drivers {

enum class LoadBlock {
  None,           // Windows 7 of that architecture loads it
  AddedUnsigned,  // added with --unsigned despite its findings
  Sha256Only,     // signed with SHA-256 only: Windows 7 SP1 as shipped checks SHA-1
  Findings,       // not proven signed for Windows, or files that do not match its catalog
};

// arch: "x86" or "amd64".
LoadBlock Windows7LoadBlock(const PackageRecord& record, const std::string& arch);
inline bool Windows7WouldLoad(const PackageRecord& record, const std::string& arch) {
  return Windows7LoadBlock(record, arch) == LoadBlock::None;
}

// The language key of the reason (for None, the findings' key), and the
// reason in the trace log's English.
const wchar_t* LoadBlockKey(LoadBlock block);
const char* LoadBlockText(LoadBlock block);

}  // namespace drivers
