#pragma once
// Whether Windows will load a package's drivers: its catalog (the INF's
// CatalogFile for each architecture) is signed, the signature verifies and
// its chain is proven up to an accepted key (signeddata.h), and the INF and
// every file it installs are members of the catalog with matching digests.
// A service that starts at boot (StartType 0) also needs a verifying
// signature embedded in its binary, proven the same way. For amd64 the
// signature must also be SHA-1: Windows 7 SP1 as shipped checks no other.

#include <string>
#include <vector>

#include "drivers/packagerecord.h"
#include "drivers/trustedroots.h"

namespace drivers {

enum class FindingCode {
  CatalogUnreadable,  // the catalog file cannot be read, or is larger than a catalog can be
  NotCatalog,         // not a signed trust list
  NotSigned,          // no signer, or its signature does not verify
  Untrusted,          // signed, but not under an accepted root
  FileMismatch,       // a file that is not a member with its current digest
  BootNotSigned,      // a boot-start service binary without a good embedded signature
  WrongUsage,         // a chain to an accepted key, but the signer is not for code signing
  Sha256Only,         // amd64: signed with SHA-256 only
  TooComplex,         // more digest algorithms, signers or certificates than a signature needs
};

struct Finding {
  FindingCode code;
  std::string arch;  // "x86", "amd64"
  std::string file;  // the file concerned, as the package names it
  std::string detail;
};

struct PackageSignature {
  std::string signer;              // the first catalog's signer subject (empty when none)
  std::vector<std::string> chain;  // its chain, signer first
  std::string root;                // where the chain ends
  SignatureProof proof = SignatureProof::NotSigned;  // the weakest of the architectures' catalogs
  std::vector<Finding> findings;   // nothing found: signed for Windows, every file matching
  bool SignedForWindows() const { return !signer.empty() && findings.empty(); }
  // Findings for one architecture.
  bool HasFindings(const std::string& arch) const;
};

// infHost: the INF's host path (a path the platform can reach as a system
// path); archs: the architectures the package serves.
PackageSignature CheckPackageSignature(const std::string& infHost, const std::vector<std::string>& archs,
                                       const TrustedRoots& roots);

// A finding as one line of a package record ("amd64|mismatch|X.SYS|detail"),
// and read back (false for a line that is not one).
std::string FindingLine(const Finding& finding);
bool ParseFindingLine(const std::string& line, Finding& out);

}  // namespace drivers
