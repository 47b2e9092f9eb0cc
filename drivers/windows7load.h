#pragma once
// Whether Windows 7 of an architecture would load a package of the library,
// judged from its record alone, and if not, why. The one place that
// decides it: coverage, the run's warnings and the wizard ask here.
//
// 32-bit Windows 7 loads unsigned drivers (Setup warns), so every package
// loads there. 64-bit Windows 7 loads a kernel driver only when its catalog
// is signed for Windows and every file matches it (and a boot-start binary
// carries its own signature): a package added with --unsigned, or with
// findings for amd64, does not load. A record written before signatures
// were checked says nothing either way and is taken as loading.

#include <string>

#include "drivers/packagerecord.h"

namespace drivers {

enum class LoadBlock {
  None,           // Windows 7 of that architecture loads it
  AddedUnsigned,  // added with --unsigned despite its findings
  Findings,       // not signed for Windows, or files that do not match its catalog
};

// arch: "x86" or "amd64".
LoadBlock Windows7LoadBlock(const PackageRecord& record, const std::string& arch);
inline bool Windows7WouldLoad(const PackageRecord& record, const std::string& arch) {
  return Windows7LoadBlock(record, arch) == LoadBlock::None;
}

}  // namespace drivers
