#pragma once
// The keys a driver's signature must lead to for Windows 7 to load it, kept
// as data in the program folder:
//  - drivers/windows-driver-roots.pem: the root certificates WHQL catalogs
//    chain to. A chain is proven by OpenSSL's verifier up to one of these
//    certificates (the key, not the name: a root that copies a name proves
//    nothing).
//  - drivers/kernel-cross-certificates.txt: the SHA-1 thumbprints of the
//    cross-certificates through which vendor-signed kernel drivers chain to
//    the kernel's own root ("hex | CA | expiry" lines, '#' comments). A
//    carried certificate whose DER has a listed thumbprint is an anchor.
// A machine whose profile names a library of its own may add root
// certificates with `[drivers] roots = FILE` (PEM, relative to the
// profile): test machines and the sample machine give their test root so.

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

typedef struct x509_st X509;

namespace drivers {

class TrustedRoots {
 public:
  // Adds the certificates of PEM text; false when it holds none or one
  // that cannot be read (nothing is added then).
  bool AddPem(std::string_view pem);
  // Adds the thumbprints of a list in the format above (lines that do not
  // start with 40 hex digits are skipped).
  void AddThumbprints(std::string_view text);

  // The root certificates, in the order added.
  const std::vector<std::shared_ptr<X509>>& Roots() const { return roots_; }
  // Whether DER bytes are a listed cross-certificate (by SHA-1 thumbprint).
  bool ListedCrossCertificate(std::string_view der) const;
  bool Empty() const { return roots_.empty() && thumbprints_.empty(); }

 private:
  std::vector<std::shared_ptr<X509>> roots_;
  std::set<std::string> thumbprints_;  // 20 raw bytes each
};

// The program's lists plus the current machine's roots file. False when a
// file cannot be read (or holds no certificate): unreadable names it, and
// no signature may then be called proven.
bool CurrentTrustedRoots(TrustedRoots& out, std::string& unreadable);

}  // namespace drivers
