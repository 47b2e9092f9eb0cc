// Catalogs and signatures of driver packages: catalogs made by the tests
// with a test CA (good SHA-1 and SHA-256 ones, members by identifier or by
// indirect data; a file changed after signing, no signature, a broken one,
// an untrusted root, no catalog at all, truncated, huge), checked as
// `drivers add` checks them; osslsigncode, where installed, as a peer that
// must agree on what verifies.

#include <gtest/gtest.h>

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
                                                  drivers::TrustedRoots::Parse(kTestRootName));
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
    const drivers::Catalog ours = drivers::ReadCatalog(row.der, drivers::TrustedRoots::Parse(kTestRootName));
    EXPECT_EQ(status == 0, row.verifies) << row.name << "\n" << out;
    EXPECT_EQ(ours.ok() && ours.signature.rootAccepted, row.verifies) << row.name;
  }
}

// A service that starts at boot needs an embedded signature in its binary:
// one made by osslsigncode (the peer) is accepted; none, or one the file no
// longer matches, is a finding. The package's catalog, made by our kit with
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
  const std::string signCommand = "/usr/bin/osslsigncode sign -h sha256 -certs '" + chain.string() + "' -key '" +
                                  key.string() + "' -in '" + (work.path() / "plain.sys").string() + "' -out '" +
                                  (work.path() / "signed.sys").string() + "'";
  int status = -1;
  const std::string signOut = Sh(signCommand, &status);
  ASSERT_EQ(status, 0) << signOut;
  const std::string signedPe = ReadAll(work.path() / "signed.sys");
  std::string patched = signedPe;
  patched[0x200] = '\x90';  // the code changed after signing

  const struct {
    const char* name;
    std::string sys;
    bool bootFinding;
  } rows[] = {{"signed", signedPe, false}, {"unsigned", MinimalPe(), true}, {"patched", patched, true}};
  for (const auto& row : rows) {
    const fs::path dir = work.path() / row.name;
    const fs::path inf = WritePackage(dir, {.archs = {"NTamd64"}, .startType = 0, .sys = row.sys});
    const auto sig = drivers::CheckPackageSignature(inf.string(), {"amd64"}, drivers::TrustedRoots::Parse(kTestRootName));
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
