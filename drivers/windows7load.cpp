#include "drivers/windows7load.h"

#include "drivers/packagesignature.h"

namespace drivers {

LoadBlock Windows7LoadBlock(const PackageRecord& record, const std::string& arch) {
  if (arch != "amd64" || record.signature.empty()) return LoadBlock::None;
  if (record.unsignedAllowed) return LoadBlock::AddedUnsigned;
  if (record.proof == SignatureProof::Sha256Only) return LoadBlock::Sha256Only;
  for (const auto& line : record.findings) {
    Finding finding;
    // A line that is not a finding cannot be placed: it counts against it.
    if (!ParseFindingLine(line, finding) || finding.arch == arch) return LoadBlock::Findings;
  }
  // Findings for the other architecture only leave this one's catalog good,
  // but only a proven chain makes it load.
  if (record.proof != SignatureProof::Whql && record.proof != SignatureProof::CrossSigned) return LoadBlock::Findings;
  return LoadBlock::None;
}

const wchar_t* LoadBlockKey(LoadBlock block) {
  switch (block) {
    case LoadBlock::AddedUnsigned: return L"Drivers Added Unsigned";
    case LoadBlock::Sha256Only: return L"Drivers Proof Sha256";
    default: return L"Drivers Load Findings";
  }
}

const char* LoadBlockText(LoadBlock block) {
  switch (block) {
    case LoadBlock::AddedUnsigned: return "added with --unsigned";
    case LoadBlock::Sha256Only: return "signed with SHA-256 only";
    default: return "not signed for Windows or not matching its catalog";
  }
}

}  // namespace drivers
