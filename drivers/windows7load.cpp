#include "drivers/windows7load.h"

#include "drivers/packagesignature.h"

namespace drivers {

LoadBlock Windows7LoadBlock(const PackageRecord& record, const std::string& arch) {
  if (arch != "amd64" || record.signature.empty()) return LoadBlock::None;
  if (record.unsignedAllowed) return LoadBlock::AddedUnsigned;
  for (const auto& line : record.findings) {
    Finding finding;
    // A line that is not a finding cannot be placed: it counts against it.
    if (!ParseFindingLine(line, finding) || finding.arch == arch) return LoadBlock::Findings;
  }
  // Findings for the other architecture only leave this one's catalog good.
  if (record.signature != "windows" && record.findings.empty()) return LoadBlock::Findings;
  return LoadBlock::None;
}

}  // namespace drivers
