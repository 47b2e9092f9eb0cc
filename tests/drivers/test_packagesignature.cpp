// Catalogs and signatures of driver packages: catalogs made by the tests
// with a test CA (good SHA-1 and SHA-256 ones, members by identifier or by
// indirect data; a file changed after signing, no signature, a broken one,
// an untrusted root, no catalog at all, truncated, huge), checked as
// `drivers add` checks them; osslsigncode, where installed, as a peer that
// must agree on what verifies.

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <fstream>
#include <functional>
#include <tuple>

#include "catalogkit.h"
#include "drivers/catalogfile.h"
#include "drivers/packagesignature.h"
#include "packagekit.h"
#include "testmachine.h"

namespace {

using namespace kxdrv;
using drivers::FindingCode;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string Members(const fs::path& dir) {
  return TrustList({ReadAll(dir / "tstxhc.inf"), ReadAll(dir / "tstxhc.sys")}, MemberDigest::Sha1, MemberForm::Both);
}

struct CatalogCase {
  const char* name;
  std::function<void(const fs::path& dir)> change;  // done to a package with a good catalog
  std::vector<std::pair<FindingCode, std::string>> findings;  // per architecture, file concerned
  bool signerKnown;
};

const fs::path Cat(const fs::path& dir) { return dir / "tstxhc.cat"; }

const CatalogCase kCases[] = {
    {"GoodSha1", [](const fs::path&) {}, {}, true},
    {"GoodSha256ByIndirectDataOnly",
     [](const fs::path& d) {
       WriteCatalog(Cat(d), {d / "tstxhc.inf", d / "tstxhc.sys"}, SharedCa(), MemberDigest::Sha256,
                    MemberForm::IndirectData);
     },
     {}, true},
    {"GoodSha256ByIdentifierOnly",
     [](const fs::path& d) {
       WriteCatalog(Cat(d), {d / "tstxhc.inf", d / "tstxhc.sys"}, SharedCa(), MemberDigest::Sha256,
                    MemberForm::Identifier);
     },
     {}, true},
    {"SysChangedAfterSigning", [](const fs::path& d) { std::ofstream(d / "tstxhc.sys", std::ios::app) << "patched"; },
     {{FindingCode::FileMismatch, "tstxhc.sys"}}, true},
    {"InfChangedAfterSigning", [](const fs::path& d) { std::ofstream(d / "tstxhc.inf", std::ios::app) << "; x\n"; },
     {{FindingCode::FileMismatch, "tstxhc.inf"}}, true},
    {"NotSigned", [](const fs::path& d) { WriteAll(Cat(d), SignedCatalog(Members(d), SharedCa(), false)); },
     {{FindingCode::NotSigned, "tstxhc.cat"}}, false},
    {"SignatureBroken",
     [](const fs::path& d) {
       std::string der = SignedCatalog(Members(d), SharedCa());
       const size_t id = der.find(std::string(16, '\x11'));  // the list's identifier
       ASSERT_NE(id, std::string::npos);
       der[id] = '\x12';
       WriteAll(Cat(d), der);
     },
     {{FindingCode::NotSigned, "tstxhc.cat"}}, true},
    {"UntrustedRoot",
     [](const fs::path& d) {
       static const TestCa other("Someone Else's Root");
       WriteCatalog(Cat(d), {d / "tstxhc.inf", d / "tstxhc.sys"}, other);
     },
     {{FindingCode::Untrusted, "tstxhc.cat"}}, true},
    {"NotACatalog", [](const fs::path& d) { WriteAll(Cat(d), "test catalog of tstxhc\r\n"); },
     {{FindingCode::NotCatalog, "tstxhc.cat"}}, false},
    {"Truncated",
     [](const fs::path& d) {
       const std::string der = ReadAll(Cat(d));
       WriteAll(Cat(d), der.substr(0, der.size() - 40));
     },
     {{FindingCode::NotCatalog, "tstxhc.cat"}}, false},
    {"Huge", [](const fs::path& d) { fs::resize_file(Cat(d), drivers::kCatalogLimit + 1); },
     {{FindingCode::CatalogUnreadable, "tstxhc.cat"}}, false},
};

class CatalogCases : public testing::TestWithParam<CatalogCase> {
 protected:
  kxtest::TestMachine machine;
  kxtest::TempDir work;
};

TEST_P(CatalogCases, GiveTheFindingsWindowsWouldActOn) {
  const fs::path dir = work.path() / "pkg";
  const fs::path inf = WritePackage(dir, {});
  GetParam().change(dir);
  const auto sig = drivers::CheckPackageSignature(inf.string(), {"x86", "amd64"},
                                                  SharedRoots());
  // Details (OpenSSL's reasons, the root's name) are not compared.
  std::vector<std::tuple<std::string, FindingCode, std::string>> seen, expected;
  for (const auto& f : sig.findings) seen.emplace_back(f.arch, f.code, f.file);
  for (const char* arch : {"x86", "amd64"})
    for (const auto& [code, file] : GetParam().findings) expected.emplace_back(arch, code, file);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(sig.SignedForWindows(), GetParam().findings.empty());
  EXPECT_EQ(!sig.signer.empty(), GetParam().signerKnown) << sig.signer;
}

INSTANTIATE_TEST_SUITE_P(Catalogs, CatalogCases, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Who signed: each case signs the package's catalog with its own CA and
// carries its own certificates; the roots are given as certificates (and a
// test list of cross-certificate thumbprints). `openssl verify` on the same
// chain, times not checked, is the peer that must agree on whether the
// chain reaches an accepted key; the usage and digest are ours to judge.
struct SigningCase {
  const char* name;
  CaOptions ca;
  bool forgedName;     // the trusted root is another key with the same name
  bool crossListed;    // carried: a cross-certificate of the CA's root (listed or not)
  bool crossCarried;
  const EVP_MD* (*md)();
  drivers::SignatureProof proof;
  std::vector<FindingCode> findings;
  bool peerVerifies;
};

const SigningCase kSigningCases[] = {
    {"WhqlLike", {}, false, false, false, EVP_sha1, drivers::SignatureProof::Whql, {}, true},
    {"RootCopyingATrustedName", {}, true, false, false, EVP_sha1, drivers::SignatureProof::UnacceptedRoot,
     {FindingCode::Untrusted}, false},
    {"ThroughAListedCrossCertificate", {.rootCommonName = "Vendor Root"}, false, true, true, EVP_sha1,
     drivers::SignatureProof::CrossSigned, {}, true},
    {"ThroughAnUnlistedCrossCertificate", {.rootCommonName = "Vendor Root"}, false, false, true, EVP_sha1,
     drivers::SignatureProof::UnacceptedRoot, {FindingCode::Untrusted}, false},
    {"ExpiredSignerSignedWhileValid", {.signerExpired = true}, false, false, false, EVP_sha1,
     drivers::SignatureProof::Whql, {}, true},
    {"SignerNotForCodeSigning", {.signerUsage = "serverAuth"}, false, false, false, EVP_sha1,
     drivers::SignatureProof::NotSigned, {FindingCode::WrongUsage}, true},
    {"Sha256Only", {}, false, false, false, EVP_sha256, drivers::SignatureProof::Sha256Only,
     {FindingCode::Sha256Only}, true},
};

std::string Pem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

class SigningCases : public testing::TestWithParam<SigningCase> {
 protected:
  kxtest::TestMachine machine;
  kxtest::TempDir work;
};

TEST_P(SigningCases, AreProvenByKeysAsTheirPeerSees) {
  const SigningCase& c = GetParam();
  const TestCa ca(c.ca);
  const TestCa kernelRoot("Code Verification Test Root");
  std::unique_ptr<X509, CertFree> cross(ca.CrossCertifiedBy(kernelRoot));
  const TestCa forged(c.ca.rootCommonName);  // the same name, another key
  const std::string rootPem = Pem(c.forgedName ? forged.Root() : ca.Root());

  drivers::TrustedRoots roots;
  const bool throughCross = c.crossCarried;
  ASSERT_TRUE(roots.AddPem(throughCross ? SharedCa().RootPem() : rootPem));
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  ASSERT_EQ(X509_digest(cross.get(), EVP_sha1(), md, &size), 1);
  std::string hex;
  for (unsigned i = 0; i < size; ++i) hex += "0123456789abcdef"[md[i] >> 4], hex += "0123456789abcdef"[md[i] & 15];
  roots.AddThumbprints("# test list\n" + (c.crossListed ? hex : std::string(40, '0')) + " | Vendor Root | 2031-01-01\n");

  const fs::path dir = work.path() / "pkg";
  const fs::path inf = WritePackage(dir, {.archs = {"NTamd64"}});
  const std::vector<X509*> carried = throughCross ? std::vector<X509*>{cross.get()} : std::vector<X509*>{ca.Root()};
  WriteAll(Cat(dir), SignedCatalog(TrustList({ReadAll(dir / "tstxhc.inf"), ReadAll(dir / "tstxhc.sys")},
                                             MemberDigest::Sha1, MemberForm::Both),
                                   ca, c.md(), carried));
  const auto sig = drivers::CheckPackageSignature(inf.string(), {"amd64"}, roots);
  std::vector<FindingCode> codes;
  for (const auto& f : sig.findings) codes.push_back(f.code);
  EXPECT_EQ(codes, c.findings);
  EXPECT_EQ(sig.proof, c.proof);

  WriteAll(work.path() / "anchor.pem", throughCross ? Pem(cross.get()) : rootPem);
  WriteAll(work.path() / "carried.pem", Pem(carried.front()));
  WriteAll(work.path() / "signer.pem", Pem(ca.Signer()));
  int status = -1;
  const std::string peer = Sh("/usr/bin/openssl verify -no_check_time -purpose any" +
                                  std::string(throughCross && c.crossListed ? " -partial_chain -trusted " : " -CAfile ") +
                                  (work.path() / "anchor.pem").string() + " -untrusted " +
                                  (work.path() / "carried.pem").string() + " " + (work.path() / "signer.pem").string(),
                              &status);
  EXPECT_EQ(status == 0, c.peerVerifies) << peer;
}

INSTANTIATE_TEST_SUITE_P(Signers, SigningCases, testing::ValuesIn(kSigningCases),
                         [](const auto& info) { return std::string(info.param.name); });

// osslsigncode verifies catalogs (2.9 and later): what it accepts, with the
// test root as its only trusted root, we accept, and what it refuses we
// refuse.
TEST(CatalogPeer, OsslsigncodeAgreesOnWhichCatalogsVerify) {
  if (!fs::exists("/usr/bin/osslsigncode")) GTEST_SKIP() << "osslsigncode is not installed";
  kxtest::TempDir work;
  const fs::path root = work.path() / "root.pem";
  WriteAll(root, SharedCa().RootPem());
  const std::string list = TrustList({"a file", "another file"}, MemberDigest::Sha1, MemberForm::Both);
  std::string broken = SignedCatalog(list, SharedCa());
  broken[broken.find(std::string(16, '\x11'))] = '\x12';
  const struct {
    const char* name;
    std::string der;
    bool verifies;
  } rows[] = {{"good", SignedCatalog(list, SharedCa()), true},
              {"sha256", SignedCatalog(TrustList({"x"}, MemberDigest::Sha256, MemberForm::IndirectData), SharedCa()), true},
              {"broken", broken, false},
              {"untrusted", SignedCatalog(list, TestCa("Someone Else's Root")), false}};
  for (const auto& row : rows) {
    const fs::path cat = work.path() / (std::string(row.name) + ".cat");
    WriteAll(cat, row.der);
    int status = -1;
    const std::string out = Sh("/usr/bin/osslsigncode verify -in '" + cat.string() + "' -CAfile '" + root.string() +
                               "'", &status);
    const drivers::Catalog ours = drivers::ReadCatalog(row.der, SharedRoots());
    EXPECT_EQ(status == 0, row.verifies) << row.name << "\n" << out;
    EXPECT_EQ(ours.ok() && ours.signature.Accepted(), row.verifies) << row.name;
  }
}

// A service that starts at boot needs an embedded signature in its binary:
// one made by osslsigncode (the peer) with SHA-1 is accepted; none, one
// with SHA-256 only (amd64), or one the file no longer matches, is a
// finding. The package's catalog, made by our kit with
// our Authenticode digest of the signed image, must satisfy osslsigncode's
// own catalog check of that image: the two digests agree.
TEST(BootStartDrivers, NeedAnEmbeddedSignatureThatMatchesTheImage) {
  if (!fs::exists("/usr/bin/osslsigncode")) GTEST_SKIP() << "osslsigncode is not installed";
  kxtest::TestMachine machine;
  kxtest::TempDir work;
  const fs::path chain = work.path() / "chain.pem", key = work.path() / "key.pem", root = work.path() / "root.pem";
  WriteAll(chain, SharedCa().SignerChainPem());
  WriteAll(key, SharedCa().SignerKeyPem());
  WriteAll(root, SharedCa().RootPem());
  WriteAll(work.path() / "plain.sys", MinimalPe());
  int status = -1;
  for (const char* digest : {"sha1", "sha256"}) {
    const std::string signOut = Sh("/usr/bin/osslsigncode sign -h " + std::string(digest) + " -certs '" + chain.string() +
                                       "' -key '" + key.string() + "' -in '" + (work.path() / "plain.sys").string() +
                                       "' -out '" + (work.path() / (std::string(digest) + ".sys")).string() + "'",
                                   &status);
    ASSERT_EQ(status, 0) << signOut;
  }
  const std::string signedPe = ReadAll(work.path() / "sha1.sys");
  std::string patched = signedPe;
  patched[0x200] = '\x90';  // the code changed after signing

  const struct {
    const char* name;
    std::string sys;
    bool bootFinding;
  } rows[] = {{"signed", signedPe, false},
              {"sha256only", ReadAll(work.path() / "sha256.sys"), true},
              {"unsigned", MinimalPe(), true},
              {"patched", patched, true}};
  for (const auto& row : rows) {
    const fs::path dir = work.path() / row.name;
    const fs::path inf = WritePackage(dir, {.archs = {"NTamd64"}, .startType = 0, .sys = row.sys});
    const auto sig = drivers::CheckPackageSignature(inf.string(), {"amd64"}, SharedRoots());
    std::vector<FindingCode> codes;
    for (const auto& f : sig.findings) codes.push_back(f.code);
    EXPECT_EQ(codes, row.bootFinding ? std::vector<FindingCode>{FindingCode::BootNotSigned} : std::vector<FindingCode>{})
        << row.name;
    const std::string peer = Sh("/usr/bin/osslsigncode verify -catalog '" + (dir / "tstxhc.cat").string() + "' -in '" +
                                    (dir / "tstxhc.sys").string() + "' -CAfile '" + root.string() + "'",
                                &status);
    if (std::string(row.name) != "unsigned") {
      EXPECT_NE(peer.find("Calculated message digest"), std::string::npos) << peer;
    }
    if (std::string(row.name) == "signed") {
      EXPECT_EQ(status, 0) << peer;
    }
  }
}

}  // namespace
