#pragma once
// The record kept beside each package of the library (record.ini): where it
// came from, when it was added, and what its INF says.

#include <string>
#include <vector>

namespace drivers {

// What a package drives: USB host controllers and hubs (class USB), or disk
// controllers (classes SCSIAdapter and HDC), which go into every image of
// the medium so that Setup sees the disk and the installed system starts
// from it.
enum class PackageKind { Usb, Storage };
// What a package's signature was proven to be, weakest architecture first:
// a chain to a trusted root certificate (WHQL, or a test machine's root),
// through a listed cross-certificate, a SHA-256-only signature (Windows 7
// SP1 as shipped checks SHA-1 only), a chain to no accepted key, or none.
enum class SignatureProof { Whql, CrossSigned, Sha256Only, UnacceptedRoot, NotSigned };

// The record's word for a proof ("whql", "cross", "sha256", "untrusted",
// "unsigned"), and back (NotSigned for anything else).
const char* ProofName(SignatureProof proof);
SignatureProof ParseProof(const std::string& name);

struct PackageRecord {
  std::string name;       // the library folder's name: "<inf>_<16 hex>" (older libraries: 8 hex)
  std::string inf;        // the INF's path inside the package, '/' separated
  std::string origin;     // the path given to `drivers add`
  std::string added;      // "YYYY-MM-DD HH:MM:SS" (UTC)
  std::string provider;
  std::string cls;        // the INF's Class
  PackageKind kind = PackageKind::Usb;  // records written before storage packages were taken are USB
  std::string version;    // DriverVer's version
  std::string date;       // DriverVer's date
  std::vector<std::string> archs;        // "x86", "amd64"
  std::vector<std::string> hardwareIds;  // as the INF writes them
  bool sample = false;    // one of the program's sample packages
  std::string signer;     // the catalog's signer (empty: none, or not checked)
  std::string signature;  // "windows" (signed for Windows, files match), "findings", or empty (not checked)
  SignatureProof proof = SignatureProof::NotSigned;  // meaningful when signature is not empty
  std::string digest;     // SHA-256 of the package's files (64 hex; empty in older records)
  bool unsignedAllowed = false;  // added with --unsigned despite its findings
  std::vector<std::string> findings;  // one line each: "amd64: IUSB3XHC.SYS does not match its catalog"

  bool Serves(const std::string& arch) const;
  // The architectures as one text: "x86 amd64".
  std::string ArchText() const;
};

// The record's text, and the record read back from it (false when the
// text has no name or INF).
std::string RecordText(const PackageRecord& record);
bool ParseRecord(const std::string& bytes, PackageRecord& out);

}  // namespace drivers
