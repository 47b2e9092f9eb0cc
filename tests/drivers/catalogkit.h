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

namespace kxdrv {

namespace fs = std::filesystem;

// The root name test machines accept (their profile's roots file), the
// same as scripts/sign-test-drivers gives its root.
inline constexpr const char* kTestRootName = "CN=Kestrunex Test Root,O=Kestrunex tests";

struct KeyFree { void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); } };
struct CertFree { void operator()(X509* c) const { X509_free(c); } };

class TestCa {
 public:
  // A self-signed root with that common name and a signer it issued.
  explicit TestCa(const std::string& rootCommonName = "Kestrunex Test Root");
  X509* Root() const { return root_.get(); }
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

// The CA of the process whose root is kTestRootName.
const TestCa& SharedCa();

enum class MemberDigest { Sha1, Sha256 };
enum class MemberForm { Identifier, IndirectData, Both };

// The DER of a trust list whose members are these files' catalog digests.
std::string TrustList(const std::vector<std::string>& fileBytes, MemberDigest digest, MemberForm form);

// The trust list signed by the CA's signer (both certificates carried);
// sign = false leaves out the signer (SignedData without a signature).
std::string SignedCatalog(const std::string& trustList, const TestCa& ca, bool sign = true);

// The catalog of these files, written to cat.
void WriteCatalog(const fs::path& cat, const std::vector<fs::path>& members, const TestCa& ca = SharedCa(),
                  MemberDigest digest = MemberDigest::Sha1, MemberForm form = MemberForm::Both);

// A small PE32+ image (headers and one code section), unsigned.
std::string MinimalPe();

}  // namespace kxdrv
