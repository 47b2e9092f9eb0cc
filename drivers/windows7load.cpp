#include "drivers/windows7load.h"

#include "drivers/packagesignature.h"

namespace drivers {

bool Windows7WouldLoad(const PackageRecord& record, const std::string& arch) {
  if (!record.Serves(arch)) return false;
  if (arch != "amd64") return true;
  if (record.signature.empty() || record.unsignedAllowed) return false;
  if (record.proof != SignatureProof::Whql && record.proof != SignatureProof::CrossSigned) return false;
  for (const auto& line : record.findings) {
    Finding finding;
    // A line that cannot be read back still says something is wrong.
    if (!ParseFindingLine(line, finding) || finding.arch == arch) return false;
  }
  return true;
}

}  // namespace drivers
