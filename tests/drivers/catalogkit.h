#pragma once
// Catalogs made by the tests: a test root and a code-signing signer under it
// (fresh keys each run), trust lists holding the digests of files, signed as
// PKCS#7 SignedData the way driver catalogs are, and damaged on purpose.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "drivers/trustedroots.h"

namespace kxdrv {

namespace fs = std::filesystem;

struct KeyFree { void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); } };
struct CertFree { void operator()(X509* c) const { X509_free(c); } };

struct CaOptions {
  std::string rootCommonName = "Kestrunex Test Root";
  std::string signerUsage = "codeSigning";  // the signer's extended key usage
  bool signerExpired = false;               // the signer's validity ended last year
};

class TestCa {
 public:
  // A self-signed root with that common name and a signer it issued.
  explicit TestCa(const std::string& rootCommonName = "Kestrunex Test Root") : TestCa(CaOptions{rootCommonName}) {}
  explicit TestCa(const CaOptions& options);
  X509* Root() const { return root_.get(); }
  // A certificate of this CA's root name and key issued by another CA's
  // root: a cross-certificate (the caller frees it).
  X509* CrossCertifiedBy(const TestCa& issuer) const;
  X509* Signer() const { return signer_.get(); }
  EVP_PKEY* SignerKey() const { return signerKey_.get(); }
  // PEM of the root, for peers (osslsigncode -CAfile).
  std::string RootPem() const;
  // PEM of the signer's certificate followed by the root's, and of its key.
  std::string SignerChainPem() const;
  std::string SignerKeyPem() const;

 private:
  std::unique_ptr<EVP_PKEY, KeyFree> rootKey_, signerKey_;
  std::unique_ptr<X509, CertFree> root_, signer_;
};

// The CA of the process, whose root test machines accept.
const TestCa& SharedCa();
// Accepted roots holding only the shared CA's root certificate.
drivers::TrustedRoots SharedRoots();

enum class MemberDigest { Sha1, Sha256 };
enum class MemberForm { Identifier, IndirectData, Both };

// The DER of a trust list whose members are these files' catalog digests.
std::string TrustList(const std::vector<std::string>& fileBytes, MemberDigest digest, MemberForm form);

// The trust list signed by the CA's signer with the digest md, carrying
// the signer and the certificates given (by default the CA's root);
// sign = false leaves out the signer (SignedData without a signature).
std::string SignedCatalog(const std::string& trustList, const TestCa& ca, bool sign = true);
std::string SignedCatalog(const std::string& trustList, const TestCa& ca, const EVP_MD* md,
                          const std::vector<X509*>& carried);

// The catalog of these files, written to cat.
void WriteCatalog(const fs::path& cat, const std::vector<fs::path>& members, const TestCa& ca = SharedCa(),
                  MemberDigest digest = MemberDigest::Sha1, MemberForm form = MemberForm::Both);

// A small PE32+ image (headers and one code section), unsigned.
std::string MinimalPe();

}  // namespace kxdrv
