// Driver catalogs and embedded signatures: whatever bytes a package holds
// as its catalog, or as a PE image with a certificate table, are read and
// verified without a crash, a leak or a read out of bounds, and a catalog
// read as good always has a verified signature. Seeds: catalogs made by the
// tests' CA (SHA-1 and SHA-256, members by identifier and by indirect data)
// and a bare trust list.
#include "catalogkit.h"
#include "drivers/catalogfile.h"
#include "drivers/pefile.h"
#include "kxfuzz.h"

KX_FUZZ_TARGET {
  const std::string bytes = kxfuzz::Bytes(data, size);
  static const drivers::TrustedRoots roots = kxdrv::SharedRoots();
  const drivers::Catalog catalog = drivers::ReadCatalog(bytes, roots);
  KX_FUZZ_CHECK(!catalog.ok() || catalog.signature.ok());
  catalog.Holds(bytes);
  std::set<std::string> digests;
  drivers::ReadTrustList(bytes, digests);
  if (const auto layout = drivers::ReadPeLayout(bytes)) {
    KX_FUZZ_CHECK(layout->certAt + layout->certSize <= bytes.size());
    drivers::VerifySignedData(drivers::EmbeddedSignature(bytes, *layout), drivers::kOidIndirectData, roots);
  }
  return 0;
}

KX_FUZZ_SEEDS {
  using namespace kxdrv;
  const std::vector<std::string> files{"tstxhc.inf text", "MZ not quite a driver"};
  seeds.push_back(SignedCatalog(TrustList(files, MemberDigest::Sha1, MemberForm::Both), SharedCa()));
  seeds.push_back(SignedCatalog(TrustList(files, MemberDigest::Sha256, MemberForm::IndirectData), SharedCa()));
  seeds.push_back(SignedCatalog(TrustList(files, MemberDigest::Sha1, MemberForm::Identifier), SharedCa(), false));
  seeds.push_back(TrustList(files, MemberDigest::Sha1, MemberForm::Both));
}
